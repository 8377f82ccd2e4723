#pragma once

#include "platform/ui/TableViewCell.h"

#include <gtkmm/box.h>

// The hosting column's cell. It draws nothing of its own: it is handed the row's live view
// before the row shows and makes that view its child, filling the cell's rectangle.
class SubviewTableViewCell : public Gtk::Box, public TableViewCell {
public:
    SubviewTableViewCell();
    ~SubviewTableViewCell() override;

    // Remembers the view for the next draw, replacing the previous one.
    void addSubview(Gtk::Widget* view);
    Gtk::Widget* view() const { return subview; }
    // Attaches the remembered view unless it is attached here already.
    void drawInView(TableView* controlView) override;
    // Takes the attached view out of the cell.
    void removeSubview();

private:
    // Told when the remembered view is destroyed.
    struct ViewWatch : sigc::notifiable {
        SubviewTableViewCell* cell;
    };

    void remember(Gtk::Widget* view);
    static void forgetDestroyedView(sigc::notifiable* watch);

    Gtk::Widget* subview = nullptr;
    ViewWatch viewWatch{{}, this};
};
