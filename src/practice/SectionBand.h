#pragma once

#include <gtkmm/drawingarea.h>
#include <gtkmm/gesturedrag.h>
#include <gtkmm/scale.h>
#include <optional>
#include <sigc++/sigc++.h>
#include <utility>

// The loop section as a band over the position scrubber (an overlay of it), lined up with the
// scrubber's values.
// Only its two ends take the pointer: dragging one moves that end of the section; everywhere
// else the scrubber works as ever.
class SectionBand : public Gtk::DrawingArea {
public:
    explicit SectionBand(Gtk::Scale& scrubber);

    // The section in the scrubber's units (seconds); none hides the band. A looping section is
    // drawn stronger.
    void setSection(std::optional<std::pair<double, double>> section, bool looping);
    std::optional<std::pair<double, double>> section() const { return shown; }
    // The dragged end (true: the start) and where it is now, while it moves and when let go.
    sigc::signal<void(bool, double)>& signalEdgeMoved() { return edgeMoved; }
    sigc::signal<void(bool, double)>& signalEdgeReleased() { return edgeReleased; }

    // Where a value of the scrubber lies across the band, and back.
    double xForValue(double value) const;
    double valueForX(double x) const;

protected:
    bool contains_vfunc(double x, double y) const override;

private:
    void draw(const Cairo::RefPtr<Cairo::Context>& cr, int width, int height);
    std::optional<bool> edgeNear(double x) const;
    void dragBegun(double x, double y);
    void dragged(double dx, double dy, bool released);

    Gtk::Scale& scale;
    Glib::RefPtr<Gtk::GestureDrag> drag;
    std::optional<std::pair<double, double>> shown;
    bool loops = false;
    std::optional<bool> dragging;
    double dragStartX = 0;
    sigc::signal<void(bool, double)> edgeMoved;
    sigc::signal<void(bool, double)> edgeReleased;
};
