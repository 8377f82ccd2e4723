#include "drawing/FrameView.h"

namespace {

// The dark grey of the desktop's classic palette.
constexpr double darkGray = 1.0 / 3.0;

} // namespace

FrameView::FrameView() {
    setUp();
}

FrameView::FrameView(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>&)
    : Gtk::DrawingArea(cobject) {
    setUp();
}

void FrameView::setUp() {
    set_can_target(false);
    set_draw_func(sigc::mem_fun(*this, &FrameView::draw));
}

void FrameView::setFrame(const Gdk::Rectangle& newFrame) {
    frame = newFrame;
    queue_draw();
}

void FrameView::draw(const Cairo::RefPtr<Cairo::Context>& context, int width, int height) const {
    drawRect(context, frame.value_or(Gdk::Rectangle(0, 0, width, height)));
}

void FrameView::drawRect(const Cairo::RefPtr<Cairo::Context>& context, const Gdk::Rectangle& rect) {
    if (rect.get_width() <= 0 || rect.get_height() <= 0) {
        return;
    }
    context->save();
    context->set_source_rgb(darkGray, darkGray, darkGray);
    context->rectangle(rect.get_x(), rect.get_y(), rect.get_width(), rect.get_height());
    // The inner rectangle cut out of the outline; a frame two units or less across is all outline.
    if (rect.get_width() > 2 && rect.get_height() > 2) {
        context->rectangle(rect.get_x() + 1, rect.get_y() + 1, rect.get_width() - 2,
                           rect.get_height() - 2);
        context->set_fill_rule(Cairo::Context::FillRule::EVEN_ODD);
    }
    context->fill();
    context->restore();
}
