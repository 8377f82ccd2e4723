#pragma once

#include <gdkmm/rectangle.h>
#include <gtkmm/builder.h>
#include <gtkmm/drawingarea.h>

// The background of the store's status bar: a sunken bevel and a soft vertical gradient, behind
// the bar's own controls. It takes no input.
class StatusView : public Gtk::DrawingArea {
public:
    StatusView();
    StatusView(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>& builder);

    // Paints the bevel along the rectangle's edges and the gradient inside it, leaving a
    // one-unit ring between them unpainted.
    static void drawRect(const Cairo::RefPtr<Cairo::Context>& context, const Gdk::Rectangle& rect);

private:
    void setUp();
    void draw(const Cairo::RefPtr<Cairo::Context>& context, int width, int height) const;
};
