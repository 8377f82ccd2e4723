#include "library/FSBrowserCell.h"

#include "library/FSNodeInfo.h"

#include <cmath>
#include <gtkmm/stylecontext.h>
#include <gtkmm/widget.h>

namespace {

Gdk::RGBA themeColor(Gtk::Widget& widget, const char* name, const char* fallback) {
    Gdk::RGBA color;
    if (!widget.get_style_context()->lookup_color(name, color))
        color.set(fallback);
    return color;
}

} // namespace

void FSBrowserCell::setAttributedStringValueFromFSNodeInfo(FSNodeInfo& node) {
    setStringValue(node.lastPathComponent());
    setIconImage({});
    setEnabled(node.isReadable());
    setLeaf(node.isDirectory() && (node.containsFiles() || !node.containsDirs()));
}

void FSBrowserCell::setIconImage(const Glib::RefPtr<Gdk::Paintable>& image) {
    iconImage_ = image ? std::const_pointer_cast<Gdk::Paintable>(image->get_current_image())
                       : Glib::RefPtr<Gdk::Paintable>();
}

BrowserCell::Size FSBrowserCell::cellSizeForBounds(const Gdk::Rectangle& bounds) const {
    return {BrowserCell::cellSizeForBounds(bounds).width, rowHeight};
}

Gdk::Rectangle FSBrowserCell::iconSlot(const Gdk::Rectangle& cellFrame) const {
    int width = iconImage_ ? iconSize + 6 : 0;
    return {cellFrame.get_x(), cellFrame.get_y(), width, cellFrame.get_height()};
}

// The view is flipped (y grows downwards): the icon's lower edge sits at the cell's top plus
// half of the cell height and icon height together, rounded up.
Gdk::Rectangle FSBrowserCell::iconFrame(const Gdk::Rectangle& cellFrame) const {
    Gdk::Rectangle slot = iconSlot(cellFrame);
    int bottom =
        cellFrame.get_y() + static_cast<int>(std::ceil((cellFrame.get_height() + iconSize) / 2.0));
    return {slot.get_x() + 4, bottom - iconSize, iconSize, iconSize};
}

Gdk::Rectangle FSBrowserCell::textFrame(const Gdk::Rectangle& cellFrame) const {
    Gdk::Rectangle slot = iconSlot(cellFrame);
    return {cellFrame.get_x() + slot.get_width(), cellFrame.get_y(),
            cellFrame.get_width() - slot.get_width(), cellFrame.get_height()};
}

void FSBrowserCell::drawInteriorWithFrame(const Glib::RefPtr<Gtk::Snapshot>& snapshot,
                                          const Gdk::Rectangle& cellFrame,
                                          Gtk::Widget& controlView) {
    if (!iconImage_)
        return;
    Gdk::RGBA fill = isHighlighted() ? themeColor(controlView, "theme_selected_bg_color", "#3584e4")
                                     : themeColor(controlView, "theme_base_color", "#ffffff");
    snapshot->append_color(fill, iconSlot(cellFrame));
    Gdk::Rectangle icon = iconFrame(cellFrame);
    snapshot->save();
    graphene_point_t origin =
        GRAPHENE_POINT_INIT(static_cast<float>(icon.get_x()), static_cast<float>(icon.get_y()));
    gtk_snapshot_translate(snapshot->gobj(), &origin);
    iconImage_->snapshot(snapshot, iconSize, iconSize);
    snapshot->restore();
}
