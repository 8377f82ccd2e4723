#pragma once

#include <gdkmm/rectangle.h>
#include <glibmm/ustring.h>
#include <gtkmm/snapshot.h>
#include <string>

namespace Gtk {
class Widget;
}

// One row of a column browser: its text, whether it is a leaf (nothing opens to its right),
// whether it can be chosen, and whether it is highlighted (selected). The browser fills a
// column's cells once when it loads the column and keeps them; the rows on screen show them.
// Subclasses may draw more than the text, an icon for example.
class BrowserCell {
public:
    struct Size {
        int width = 0;
        int height = 0;
    };

    virtual ~BrowserCell() = default;

    // A name as the user reads it: names on disk need not be UTF-8.
    static Glib::ustring displayName(const std::string& name);

    void setStringValue(std::string value) { text = std::move(value); }
    const std::string& stringValue() const { return text; }
    void setLeaf(bool leaf) { isLeafCell = leaf; }
    bool isLeaf() const { return isLeafCell; }
    void setEnabled(bool enabled) { isEnabledCell = enabled; }
    bool isEnabled() const { return isEnabledCell; }
    void setHighlighted(bool highlighted) { isHighlightedCell = highlighted; }
    bool isHighlighted() const { return isHighlightedCell; }

    // The size the cell wants within the bounds; a height of 0 leaves the height to the text.
    virtual Size cellSizeForBounds(const Gdk::Rectangle& bounds) const;
    // Where the browser shows the text within the cell.
    virtual Gdk::Rectangle textFrame(const Gdk::Rectangle& cellFrame) const { return cellFrame; }
    // Draws what the cell shows besides its text, beneath the text.
    virtual void drawInteriorWithFrame(const Glib::RefPtr<Gtk::Snapshot>& snapshot,
                                       const Gdk::Rectangle& cellFrame, Gtk::Widget& controlView);

private:
    std::string text;
    bool isLeafCell = false;
    bool isEnabledCell = true;
    bool isHighlightedCell = false;
};
