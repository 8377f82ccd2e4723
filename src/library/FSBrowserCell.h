#pragma once

#include "platform/ui/BrowserCell.h"

#include <gdkmm/paintable.h>

class FSNodeInfo;

// The library browser's cell: a node's name, enabled when readable, a leaf when it is a folder
// that holds files or holds no folders. It can carry a 16 by 16 icon drawn in a slot at its left.
class FSBrowserCell : public BrowserCell {
public:
    static constexpr int iconSize = 16;
    static constexpr int rowHeight = 18;

    void setAttributedStringValueFromFSNodeInfo(FSNodeInfo& node);

    // Keeps a still copy of the image, drawn at 16 by 16; null clears the icon.
    void setIconImage(const Glib::RefPtr<Gdk::Paintable>& image);
    Glib::RefPtr<Gdk::Paintable> iconImage() const { return iconImage_; }

    Size cellSizeForBounds(const Gdk::Rectangle& bounds) const override;
    Gdk::Rectangle textFrame(const Gdk::Rectangle& cellFrame) const override;
    void drawInteriorWithFrame(const Glib::RefPtr<Gtk::Snapshot>& snapshot,
                               const Gdk::Rectangle& cellFrame, Gtk::Widget& controlView) override;

    // The slot at the left of the frame (empty without an icon) and where the icon sits in it.
    Gdk::Rectangle iconSlot(const Gdk::Rectangle& cellFrame) const;
    Gdk::Rectangle iconFrame(const Gdk::Rectangle& cellFrame) const;

private:
    Glib::RefPtr<Gdk::Paintable> iconImage_;
};
