#pragma once

#include "platform/ui/TableViewDelegate.h"

#include <cstdint>

// What the delegate of a SubviewTableViewController must do besides serving the table: give
// the view that the hosting column shows for a row. The delegate keeps the views; the table
// only holds them while they are shown.
class SubviewTableViewControllerDataSourceProtocol : public virtual TableViewDelegate {
public:
    virtual Gtk::Widget* viewForRow(TableView* tableView, std::int32_t row) = 0;
};
