#include "platform/ui/BrowserCell.h"

#include "platform/Paths.h"

Glib::ustring BrowserCell::displayName(const std::string& name) {
    return Paths::displayName(name);
}

BrowserCell::Size BrowserCell::cellSizeForBounds(const Gdk::Rectangle& bounds) const {
    return {bounds.get_width(), 0};
}

void BrowserCell::drawInteriorWithFrame(const Glib::RefPtr<Gtk::Snapshot>&, const Gdk::Rectangle&,
                                        Gtk::Widget&) {}
