#pragma once

#include <optional>
#include <string>

class TableView;
namespace Gtk {
class ColumnViewColumn;
class Widget;
} // namespace Gtk

// Any object that can serve a table as its data source and delegate. An object takes part in
// an operation by deriving from the operation's interface in TableViewProtocol, so whether a
// delegate implements an operation is a question of its type.
class TableViewDelegate {
public:
    virtual ~TableViewDelegate() = default;
};

namespace TableViewProtocol {

struct NumberOfRowsInTableView : virtual TableViewDelegate {
    virtual int numberOfRowsInTableView(TableView* tableView) = 0;
};

// The text a cell shows; nullopt is no value at all.
struct ObjectValueForTableColumn : virtual TableViewDelegate {
    virtual std::optional<std::string> objectValueForTableColumn(TableView* tableView,
                                                                 Gtk::ColumnViewColumn* tableColumn,
                                                                 int row) = 0;
};

// A cell is about to show a row: text cells are Gtk::Labels.
struct WillDisplayCell : virtual TableViewDelegate {
    virtual void willDisplayCell(TableView* tableView, Gtk::Widget* cell,
                                 Gtk::ColumnViewColumn* tableColumn, int row) = 0;
};

struct SelectionShouldChangeInTableView : virtual TableViewDelegate {
    virtual bool selectionShouldChangeInTableView(TableView* tableView) = 0;
};

struct ShouldSelectRow : virtual TableViewDelegate {
    virtual bool shouldSelectRow(TableView* tableView, int row) = 0;
};

// Notifications carry the table that posted them.
struct TableViewColumnDidMove : virtual TableViewDelegate {
    virtual void tableViewColumnDidMove(TableView* notification) = 0;
};

struct TableViewSelectionDidChange : virtual TableViewDelegate {
    virtual void tableViewSelectionDidChange(TableView* notification) = 0;
};

struct TableViewSelectionIsChanging : virtual TableViewDelegate {
    virtual void tableViewSelectionIsChanging(TableView* notification) = 0;
};

} // namespace TableViewProtocol
