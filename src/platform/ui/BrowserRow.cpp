#include "platform/ui/BrowserRow.h"

#include "platform/ui/BrowserCell.h"

#include <gtkmm/snapshot.h>

namespace {

// Bounds wide enough that a cell's text inset does not depend on them.
const Gdk::Rectangle probeFrame(0, 0, 1000, 100);

} // namespace

BrowserRow::BrowserRow(std::function<void()> reclicked)
    : Glib::ObjectBase("FretlarkBrowserRow"), Gtk::Box(Gtk::Orientation::HORIZONTAL),
      label(Gtk::make_managed<Gtk::Label>()), arrow(Gtk::make_managed<Gtk::Image>()),
      reclicked(std::move(reclicked)) {
    // By name from the icon theme (the string constructor would read a file of that name).
    arrow->set_from_icon_name("go-next-symbolic");
    label->set_xalign(0.0f);
    label->set_hexpand(true);
    label->set_ellipsize(Pango::EllipsizeMode::MIDDLE);
    arrow->set_visible(false);
    append(*label);
    append(*arrow);

    click = Gtk::GestureClick::create();
    click->signal_pressed().connect([this](int presses, double, double) {
        pressedWhileSelected = presses == 1 && shownCell && shownCell->isHighlighted();
    });
    click->signal_released().connect([this](int, double, double) {
        if (pressedWhileSelected && this->reclicked)
            this->reclicked();
        pressedWhileSelected = false;
    });
    add_controller(click);
}

void BrowserRow::display(BrowserCell* cell) {
    shownCell = cell;
    label->set_text(cell ? BrowserCell::displayName(cell->stringValue()) : Glib::ustring());
    label->set_sensitive(!cell || cell->isEnabled());
    label->set_margin_start(cell ? cell->textFrame(probeFrame).get_x() : 0);
    arrow->set_visible(cell && !cell->isLeaf());
    int height = cell ? cell->cellSizeForBounds(probeFrame).height : 0;
    set_size_request(-1, height > 0 ? height : -1);
    queue_draw();
}

void BrowserRow::snapshot_vfunc(const Glib::RefPtr<Gtk::Snapshot>& snapshot) {
    if (shownCell)
        shownCell->drawInteriorWithFrame(snapshot, Gdk::Rectangle(0, 0, get_width(), get_height()),
                                         *this);
    Gtk::Box::snapshot_vfunc(snapshot);
}
