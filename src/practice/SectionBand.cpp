#include "practice/SectionBand.h"

#include <algorithm>
#include <cmath>
#include <gtk/gtk.h>
#include <gtkmm/adjustment.h>
#include <string_view>

namespace {

// How near an end the pointer must be to take it, and how wide an end is drawn.
constexpr double grabDistance = 7;
constexpr double edgeWidth = 4;

// The scrubber's knob: the "slider" inside its "trough".
Gtk::Widget* childNamed(Gtk::Widget& parent, const char* cssName) {
    for (Gtk::Widget* child = parent.get_first_child(); child; child = child->get_next_sibling()) {
        if (gtk_widget_get_css_name(child->gobj()) == std::string_view(cssName))
            return child;
    }
    return nullptr;
}

} // namespace

SectionBand::SectionBand(Gtk::Scale& scrubber)
    : Glib::ObjectBase("FretlarkSectionBand"), scale(scrubber), drag(Gtk::GestureDrag::create()) {
    set_draw_func(sigc::mem_fun(*this, &SectionBand::draw));
    set_hexpand(true);
    set_vexpand(true);
    set_visible(false);
    set_cursor("ew-resize");
    set_tooltip_text("Drag an end to move it");
    gtk_accessible_update_property(GTK_ACCESSIBLE(gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   "Section Ends", -1);
    drag->signal_drag_begin().connect(sigc::mem_fun(*this, &SectionBand::dragBegun));
    drag->signal_drag_update().connect([this](double dx, double dy) { dragged(dx, dy, false); });
    drag->signal_drag_end().connect([this](double dx, double dy) { dragged(dx, dy, true); });
    add_controller(drag);
    scale.get_adjustment()->signal_changed().connect([this] { queue_draw(); });
}

void SectionBand::setSection(std::optional<std::pair<double, double>> section, bool looping) {
    shown = section;
    loops = looping;
    set_visible(static_cast<bool>(section));
    queue_draw();
}

// The scrubber's knob travels the trough less its own width; a value sits under its centre.
double SectionBand::xForValue(double value) const {
    Gdk::Rectangle trough = scale.get_range_rect();
    Gtk::Widget* troughWidget = childNamed(scale, "trough");
    Gtk::Widget* knobWidget = troughWidget ? childNamed(*troughWidget, "slider") : nullptr;
    double knob = knobWidget ? knobWidget->get_width() : 0;
    auto adjustment = scale.get_adjustment();
    double span = adjustment->get_upper() - adjustment->get_lower();
    double fraction = span > 0 ? (value - adjustment->get_lower()) / span : 0;
    double x =
        trough.get_x() + knob / 2 + std::clamp(fraction, 0.0, 1.0) * (trough.get_width() - knob);
    // The scrubber keeps its theme's margins inside the overlay; the band does not.
    double bandX = x;
    double bandY = 0;
    gtk_widget_translate_coordinates(GTK_WIDGET(scale.gobj()),
                                     GTK_WIDGET(const_cast<GtkDrawingArea*>(gobj())), x, 0, &bandX,
                                     &bandY);
    return bandX;
}

double SectionBand::valueForX(double x) const {
    double left = xForValue(scale.get_adjustment()->get_lower());
    double right = xForValue(scale.get_adjustment()->get_upper());
    auto adjustment = scale.get_adjustment();
    double fraction = right > left ? std::clamp((x - left) / (right - left), 0.0, 1.0) : 0;
    return adjustment->get_lower() + fraction * (adjustment->get_upper() - adjustment->get_lower());
}

std::optional<bool> SectionBand::edgeNear(double x) const {
    if (!shown)
        return std::nullopt;
    double start = std::abs(x - xForValue(shown->first));
    double end = std::abs(x - xForValue(shown->second));
    if (std::min(start, end) > grabDistance)
        return std::nullopt;
    return start <= end;
}

bool SectionBand::contains_vfunc(double x, double) const {
    return dragging || edgeNear(x).has_value();
}

void SectionBand::draw(const Cairo::RefPtr<Cairo::Context>& cr, int, int height) {
    if (!shown)
        return;
    double start = xForValue(shown->first);
    double end = xForValue(shown->second);
    // Selection blue, behind the knob's path, with the two ends as bars over the full height.
    cr->set_source_rgba(0.21, 0.52, 0.89, loops ? 0.35 : 0.18);
    cr->rectangle(start, height * 0.25, end - start, height * 0.5);
    cr->fill();
    cr->set_source_rgba(0.21, 0.52, 0.89, loops ? 1.0 : 0.6);
    for (double edge : {start, end}) {
        cr->rectangle(edge - edgeWidth / 2, 2, edgeWidth, height - 4);
        cr->fill();
    }
}

void SectionBand::dragBegun(double x, double) {
    dragging = edgeNear(x);
    if (!dragging) {
        drag->set_state(Gtk::EventSequenceState::DENIED);
        return;
    }
    drag->set_state(Gtk::EventSequenceState::CLAIMED);
    dragStartX = x;
}

void SectionBand::dragged(double dx, double, bool released) {
    if (!dragging)
        return;
    bool start = *dragging;
    double value = valueForX(dragStartX + dx);
    if (released)
        dragging.reset();
    (released ? edgeReleased : edgeMoved).emit(start, value);
}
