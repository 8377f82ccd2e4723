#pragma once

#include "platform/ui/TableView.h"
#include "platform/ui/TableViewDelegate.h"
#include "rowviews/SubviewTableViewControllerDataSourceProtocol.h"

#include <memory>

// Gives a table one column of live views, one per row (the hosting column). It becomes the
// table's data source and delegate, answers for the hosting column itself and passes every
// other call on to its own delegate when the delegate implements it, else answers the default.
class SubviewTableViewController : public TableViewProtocol::NumberOfRowsInTableView,
                                   public TableViewProtocol::ObjectValueForTableColumn,
                                   public TableViewProtocol::WillDisplayCell,
                                   public TableViewProtocol::SelectionShouldChangeInTableView,
                                   public TableViewProtocol::ShouldSelectRow,
                                   public TableViewProtocol::TableViewColumnDidMove,
                                   public TableViewProtocol::TableViewSelectionDidChange,
                                   public TableViewProtocol::TableViewSelectionIsChanging {
public:
    // The column must belong to a TableView.
    static std::unique_ptr<SubviewTableViewController>
    controllerWithViewColumn(Gtk::ColumnViewColumn* column);
    explicit SubviewTableViewController(Gtk::ColumnViewColumn* column);
    ~SubviewTableViewController() override;
    SubviewTableViewController(const SubviewTableViewController&) = delete;
    SubviewTableViewController& operator=(const SubviewTableViewController&) = delete;

    // The object must adopt SubviewTableViewControllerDataSourceProtocol; anything else is a
    // programming error that throws std::invalid_argument and keeps the previous delegate.
    void setDelegate(TableViewDelegate* object);
    TableViewDelegate* delegate() const { return delegate_; }

    // Takes every row view out of the table, then reloads it: no view of the earlier rows stays.
    void reloadTableView();

    // Whether a delegate is set and implements the operation (an interface of TableViewProtocol
    // or SubviewTableViewControllerDataSourceProtocol).
    template <class Operation> bool isValidDelegateForSelector() const {
        return dynamic_cast<Operation*>(delegate_) != nullptr;
    }

    int numberOfRowsInTableView(TableView* tableView) override;
    std::optional<std::string> objectValueForTableColumn(TableView* tableView,
                                                         Gtk::ColumnViewColumn* tableColumn,
                                                         int row) override;
    void willDisplayCell(TableView* tableView, Gtk::Widget* cell,
                         Gtk::ColumnViewColumn* tableColumn, int row) override;
    bool selectionShouldChangeInTableView(TableView* tableView) override;
    bool shouldSelectRow(TableView* tableView, int row) override;
    void tableViewColumnDidMove(TableView* notification) override;
    void tableViewSelectionDidChange(TableView* notification) override;
    void tableViewSelectionIsChanging(TableView* notification) override;

private:
    // Told when the table this controller serves is destroyed.
    struct TableWatch : sigc::notifiable {
        SubviewTableViewController* controller;
    };

    template <class Operation> Operation* delegateFor() const {
        return dynamic_cast<Operation*>(delegate_);
    }
    bool isHostingColumn(const Gtk::ColumnViewColumn* column) const {
        return column == subviewTableColumn;
    }
    static void forgetDestroyedTable(sigc::notifiable* watch);

    TableView* subviewTableView = nullptr;
    Gtk::ColumnViewColumn* subviewTableColumn = nullptr;
    TableViewDelegate* delegate_ = nullptr;
    TableWatch tableWatch{{}, this};
};
