#pragma once

#include <gdkmm/clipboard.h>
#include <gdkmm/drop.h>
#include <optional>
#include <string>
#include <vector>

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

// Where a drop lands relative to a row.
enum class TableViewDropOperation { on, above };

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

struct SetObjectValue : virtual TableViewDelegate {
    virtual void setObjectValue(TableView* tableView, const std::optional<std::string>& object,
                                Gtk::ColumnViewColumn* tableColumn, int row) = 0;
};

// A cell is about to show a row: text cells are Gtk::Labels.
struct WillDisplayCell : virtual TableViewDelegate {
    virtual void willDisplayCell(TableView* tableView, Gtk::Widget* cell,
                                 Gtk::ColumnViewColumn* tableColumn, int row) = 0;
};

struct SelectionShouldChangeInTableView : virtual TableViewDelegate {
    virtual bool selectionShouldChangeInTableView(TableView* tableView) = 0;
};

struct ShouldEditTableColumn : virtual TableViewDelegate {
    virtual bool shouldEditTableColumn(TableView* tableView, Gtk::ColumnViewColumn* tableColumn,
                                       int row) = 0;
};

struct ShouldSelectRow : virtual TableViewDelegate {
    virtual bool shouldSelectRow(TableView* tableView, int row) = 0;
};

struct ShouldSelectTableColumn : virtual TableViewDelegate {
    virtual bool shouldSelectTableColumn(TableView* tableView,
                                         Gtk::ColumnViewColumn* tableColumn) = 0;
};

struct AcceptDrop : virtual TableViewDelegate {
    virtual bool acceptDrop(TableView* tableView, const Glib::RefPtr<Gdk::Drop>& info, int row,
                            TableViewDropOperation dropOperation) = 0;
};

// Answers the drag action the drop would perform; Gdk::DragAction{} for none.
struct ValidateDrop : virtual TableViewDelegate {
    virtual Gdk::DragAction validateDrop(TableView* tableView, const Glib::RefPtr<Gdk::Drop>& info,
                                         int proposedRow,
                                         TableViewDropOperation proposedDropOperation) = 0;
};

struct WriteRows : virtual TableViewDelegate {
    virtual bool writeRows(TableView* tableView, const std::vector<int>& rows,
                           const Glib::RefPtr<Gdk::Clipboard>& pasteboard) = 0;
};

struct DidClickTableColumn : virtual TableViewDelegate {
    virtual void didClickTableColumn(TableView* tableView, Gtk::ColumnViewColumn* tableColumn) = 0;
};

struct DidDragTableColumn : virtual TableViewDelegate {
    virtual void didDragTableColumn(TableView* tableView, Gtk::ColumnViewColumn* tableColumn) = 0;
};

struct MouseDownInHeaderOfTableColumn : virtual TableViewDelegate {
    virtual void mouseDownInHeaderOfTableColumn(TableView* tableView,
                                                Gtk::ColumnViewColumn* tableColumn) = 0;
};

// Notifications carry the table that posted them.
struct TableViewColumnDidMove : virtual TableViewDelegate {
    virtual void tableViewColumnDidMove(TableView* notification) = 0;
};

struct TableViewColumnDidResize : virtual TableViewDelegate {
    virtual void tableViewColumnDidResize(TableView* notification) = 0;
};

struct TableViewSelectionDidChange : virtual TableViewDelegate {
    virtual void tableViewSelectionDidChange(TableView* notification) = 0;
};

struct TableViewSelectionIsChanging : virtual TableViewDelegate {
    virtual void tableViewSelectionIsChanging(TableView* notification) = 0;
};

} // namespace TableViewProtocol
