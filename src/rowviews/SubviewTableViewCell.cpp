#include "rowviews/SubviewTableViewCell.h"

// The attached view fills the cell: its frame is the cell's rectangle.
SubviewTableViewCell::SubviewTableViewCell() : Gtk::Box(Gtk::Orientation::HORIZONTAL) {}

// GTK has taken the attached view out by now (a box lets go of its children when disposed).
SubviewTableViewCell::~SubviewTableViewCell() {
    remember(nullptr);
}

void SubviewTableViewCell::addSubview(Gtk::Widget* view) {
    remember(view);
}

// The row views belong to the table's delegate and may go away at any time; the cell must not
// keep a pointer to one that did.
void SubviewTableViewCell::remember(Gtk::Widget* view) {
    if (subview)
        subview->remove_destroy_notify_callback(&viewWatch);
    subview = view;
    if (subview)
        subview->add_destroy_notify_callback(&viewWatch,
                                             &SubviewTableViewCell::forgetDestroyedView);
}

void SubviewTableViewCell::forgetDestroyedView(sigc::notifiable* watch) {
    static_cast<ViewWatch*>(watch)->cell->subview = nullptr;
}

void SubviewTableViewCell::drawInView(TableView*) {
    if (!subview || subview->get_parent() == this)
        return;
    removeSubview();
    if (auto* otherCell = dynamic_cast<SubviewTableViewCell*>(subview->get_parent()))
        otherCell->removeSubview();
    if (subview->get_parent())
        return;
    subview->set_hexpand(true);
    subview->set_vexpand(true);
    append(*subview);
}

void SubviewTableViewCell::removeSubview() {
    if (Gtk::Widget* attached = get_first_child())
        remove(*attached);
}
