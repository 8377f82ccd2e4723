#include "rowviews/SubView.h"

#include <algorithm>
#include <gtk/gtk.h>

namespace {

// The child's origin along one axis: centred when the container is larger, else as it was.
double centred(double origin, double containerSize, double childSize) {
    double room = containerSize - childSize;
    return room > 0 ? room / 2 : origin;
}

} // namespace

// Its own type name makes GTK call the layout code below.
SubView::SubView() : Glib::ObjectBase("FretlarkSubView") {
    set_size_request(16, 16);
}

SubView::~SubView() {
    for (const Child& child : children)
        child.widget->unparent();
    if (get_parent())
        unparent();
}

void SubView::addSubview(Gtk::Widget& child, const Frame& frame) {
    child.set_parent(*this);
    children.push_back({&child, frame});
    queue_resize();
}

void SubView::removeSubview(Gtk::Widget& child) {
    auto found = std::find_if(children.begin(), children.end(),
                              [&](const Child& entry) { return entry.widget == &child; });
    if (found == children.end())
        return;
    child.unparent();
    children.erase(found);
}

void SubView::setFrame(const Frame& frame) {
    ownFrame = frame;
    for (Child& child : children) {
        child.frame.x = centred(child.frame.x, frame.width, child.frame.width);
        child.frame.y = centred(child.frame.y, frame.height, child.frame.height);
    }
}

SubView::Frame SubView::frameOfSubview(const Gtk::Widget& child) const {
    auto found = std::find_if(children.begin(), children.end(),
                              [&](const Child& entry) { return entry.widget == &child; });
    return found == children.end() ? Frame{} : found->frame;
}

Gtk::SizeRequestMode SubView::get_request_mode_vfunc() const {
    return Gtk::SizeRequestMode::CONSTANT_SIZE;
}

void SubView::measure_vfunc(Gtk::Orientation orientation, int, int& minimum, int& natural,
                            int& minimumBaseline, int& naturalBaseline) const {
    bool horizontal = orientation == Gtk::Orientation::HORIZONTAL;
    double extent = horizontal ? ownFrame.width : ownFrame.height;
    for (const Child& child : children)
        extent = std::max(extent, horizontal ? child.frame.width : child.frame.height);
    minimum = natural = static_cast<int>(extent);
    minimumBaseline = naturalBaseline = -1;
}

void SubView::size_allocate_vfunc(int width, int height, int) {
    setFrame({ownFrame.x, ownFrame.y, static_cast<double>(width), static_cast<double>(height)});
    for (const Child& child : children) {
        if (!child.widget->get_visible())
            continue;
        graphene_point_t origin = GRAPHENE_POINT_INIT(static_cast<float>(child.frame.x),
                                                      static_cast<float>(child.frame.y));
        gtk_widget_allocate(child.widget->gobj(), static_cast<int>(child.frame.width),
                            static_cast<int>(child.frame.height), -1,
                            gsk_transform_translate(nullptr, &origin));
    }
}
