#pragma once

#include <gdkmm/rectangle.h>
#include <gtkmm/builder.h>
#include <gtkmm/drawingarea.h>
#include <optional>

// A thin dark outline around a content view that is layered above it: only the outline is
// painted, so the content shows through. It takes no input.
class FrameView : public Gtk::DrawingArea {
public:
    FrameView();
    FrameView(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>& builder);

    // The rectangle to outline, in this area's own coordinates; until it is set, the whole area.
    void setFrame(const Gdk::Rectangle& frame);
    const std::optional<Gdk::Rectangle>& frameRect() const { return frame; }

    // Outlines the rectangle one unit wide, inside its edges, in dark grey.
    static void drawRect(const Cairo::RefPtr<Cairo::Context>& context, const Gdk::Rectangle& rect);

private:
    void setUp();
    void draw(const Cairo::RefPtr<Cairo::Context>& context, int width, int height) const;

    std::optional<Gdk::Rectangle> frame;
};
