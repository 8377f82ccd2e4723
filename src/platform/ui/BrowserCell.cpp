#include "platform/ui/BrowserCell.h"

#include <glib.h>

Glib::ustring BrowserCell::displayName(const std::string& name) {
    if (g_utf8_validate(name.c_str(), static_cast<gssize>(name.size()), nullptr))
        return name;
    gchar* shown = g_filename_display_name(name.c_str());
    Glib::ustring result(shown);
    g_free(shown);
    return result;
}

BrowserCell::Size BrowserCell::cellSizeForBounds(const Gdk::Rectangle& bounds) const {
    return {bounds.get_width(), 0};
}

void BrowserCell::drawInteriorWithFrame(const Glib::RefPtr<Gtk::Snapshot>&, const Gdk::Rectangle&,
                                        Gtk::Widget&) {}
