#include "drawing/StatusView.h"

#include "drawing/CTGradient.h"

#include <initializer_list>

namespace {

// Edges of a rectangle in a user space whose y grows upwards: minY is the bottom.
enum class Edge { minX, maxX, minY, maxY };

struct Tile {
    Edge edge;
    double gray;
};

constexpr double lightGray = 2.0 / 3.0;
constexpr double darkGray = 1.0 / 3.0;
constexpr double white = 1.0;

// Paints, for each tile in turn, a strip one unit wide along its edge of what is left of the
// rectangle, cuts the strip off and answers what is left.
CTGradient::Rect drawTiledRects(const Cairo::RefPtr<Cairo::Context>& context, CTGradient::Rect rect,
                                std::initializer_list<Tile> tiles) {
    for (const Tile& tile : tiles) {
        if (rect.width <= 0 || rect.height <= 0) {
            break;
        }
        CTGradient::Rect strip = rect;
        switch (tile.edge) {
        case Edge::minX:
            strip.width = 1;
            rect.x += 1;
            rect.width -= 1;
            break;
        case Edge::maxX:
            strip.x = rect.x + rect.width - 1;
            strip.width = 1;
            rect.width -= 1;
            break;
        case Edge::minY:
            strip.height = 1;
            rect.y += 1;
            rect.height -= 1;
            break;
        case Edge::maxY:
            strip.y = rect.y + rect.height - 1;
            strip.height = 1;
            rect.height -= 1;
            break;
        }
        context->set_source_rgb(tile.gray, tile.gray, tile.gray);
        context->rectangle(strip.x, strip.y, strip.width, strip.height);
        context->fill();
    }
    return rect;
}

} // namespace

StatusView::StatusView() {
    setUp();
}

StatusView::StatusView(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>&)
    : Gtk::DrawingArea(cobject) {
    setUp();
}

void StatusView::setUp() {
    set_can_target(false);
    set_draw_func(sigc::mem_fun(*this, &StatusView::draw));
}

void StatusView::draw(const Cairo::RefPtr<Cairo::Context>& context, int width, int height) const {
    drawRect(context, Gdk::Rectangle(0, 0, width, height));
}

void StatusView::drawRect(const Cairo::RefPtr<Cairo::Context>& context,
                          const Gdk::Rectangle& rect) {
    const CTGradient::Rect bounds{
        static_cast<float>(rect.get_x()), static_cast<float>(rect.get_y()),
        static_cast<float>(rect.get_width()), static_cast<float>(rect.get_height())};
    context->save();
    // The bevel and the gradient are laid out with y growing upwards (the bottom edge is minY and
    // 270 degrees runs top to bottom): flip y about the rectangle's middle, so the rectangle keeps
    // its numbers and its bottom edge becomes its low-y edge.
    context->translate(0, 2.0 * bounds.y + bounds.height);
    context->scale(1, -1);
    context->rectangle(bounds.x, bounds.y, bounds.width, bounds.height);
    context->clip();
    CTGradient::Rect inside = drawTiledRects(context, bounds,
                                             {{Edge::minY, lightGray},
                                              {Edge::maxX, lightGray},
                                              {Edge::maxY, darkGray},
                                              {Edge::minX, darkGray},
                                              {Edge::minY, white},
                                              {Edge::maxX, white}});
    // A one-unit ring between the bevel and the gradient stays unpainted.
    inside = {inside.x + 1, inside.y + 1, inside.width - 2, inside.height - 2};
    if (inside.width > 0 && inside.height > 0) {
        auto gradient = CTGradient::gradientWithBeginningColor({0.984f, 0.992f, 0.898f, 1},
                                                               {0.847f, 0.866f, 0.756f, 1});
        gradient->fillRect(context->cobj(), inside, 270);
    }
    context->restore();
}
