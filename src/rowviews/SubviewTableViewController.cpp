#include "rowviews/SubviewTableViewController.h"

#include "rowviews/SubviewTableViewCell.h"

#include <stdexcept>
#include <string>

// A failed parameter condition is a programming error; the message names the condition.
#define FRL_PARAMETER_ASSERT(condition)                                                            \
    do {                                                                                           \
        if (!(condition))                                                                          \
            throw std::invalid_argument(std::string("Invalid parameter not satisfying: ") +        \
                                        #condition);                                               \
    } while (false)

namespace {

bool conformsToProtocol(TableViewDelegate* object) {
    return dynamic_cast<SubviewTableViewControllerDataSourceProtocol*>(object) != nullptr;
}

void collectCells(Gtk::Widget& widget, std::vector<SubviewTableViewCell*>& cells) {
    for (Gtk::Widget* child = widget.get_first_child(); child; child = child->get_next_sibling()) {
        if (auto* cell = dynamic_cast<SubviewTableViewCell*>(child))
            cells.push_back(cell);
        else
            collectCells(*child, cells);
    }
}

} // namespace

std::unique_ptr<SubviewTableViewController>
SubviewTableViewController::controllerWithViewColumn(Gtk::ColumnViewColumn* column) {
    return std::make_unique<SubviewTableViewController>(column);
}

// Columns are never editable here, so there is nothing to switch off for the hosting column.
SubviewTableViewController::SubviewTableViewController(Gtk::ColumnViewColumn* column)
    : subviewTableView(column ? dynamic_cast<TableView*>(column->get_column_view()) : nullptr),
      subviewTableColumn(column) {
    if (!subviewTableView)
        throw std::invalid_argument("The hosting column must belong to a TableView");
    subviewTableView->add_destroy_notify_callback(
        &tableWatch, &SubviewTableViewController::forgetDestroyedTable);
    subviewTableView->setDataSource(this);
    subviewTableView->setDataCell(subviewTableColumn,
                                  [] { return Gtk::make_managed<SubviewTableViewCell>(); });
}

SubviewTableViewController::~SubviewTableViewController() {
    if (!subviewTableView)
        return;
    subviewTableView->remove_destroy_notify_callback(&tableWatch);
    if (subviewTableView->dataSource() == this)
        subviewTableView->setDataSource(nullptr);
}

void SubviewTableViewController::forgetDestroyedTable(sigc::notifiable* watch) {
    static_cast<TableWatch*>(watch)->controller->subviewTableView = nullptr;
}

void SubviewTableViewController::setDelegate(TableViewDelegate* object) {
    FRL_PARAMETER_ASSERT(conformsToProtocol(object));
    delegate_ = object;
}

// Views are taken out from the last cell to the first; then the table lists its rows again.
void SubviewTableViewController::reloadTableView() {
    if (!subviewTableView)
        return;
    std::vector<SubviewTableViewCell*> cells;
    collectCells(*subviewTableView, cells);
    for (auto cell = cells.rbegin(); cell != cells.rend(); ++cell)
        (*cell)->removeSubview();
    subviewTableView->reloadData();
}

int SubviewTableViewController::numberOfRowsInTableView(TableView* tableView) {
    auto* delegate = delegateFor<TableViewProtocol::NumberOfRowsInTableView>();
    return delegate ? delegate->numberOfRowsInTableView(tableView) : 0;
}

std::optional<std::string>
SubviewTableViewController::objectValueForTableColumn(TableView* tableView,
                                                      Gtk::ColumnViewColumn* tableColumn, int row) {
    if (isHostingColumn(tableColumn))
        return std::nullopt;
    auto* delegate = delegateFor<TableViewProtocol::ObjectValueForTableColumn>();
    return delegate ? delegate->objectValueForTableColumn(tableView, tableColumn, row)
                    : std::nullopt;
}

void SubviewTableViewController::willDisplayCell(TableView* tableView, Gtk::Widget* cell,
                                                 Gtk::ColumnViewColumn* tableColumn, int row) {
    if (!isHostingColumn(tableColumn)) {
        if (auto* delegate = delegateFor<TableViewProtocol::WillDisplayCell>())
            delegate->willDisplayCell(tableView, cell, tableColumn, row);
        return;
    }
    auto* source = delegateFor<SubviewTableViewControllerDataSourceProtocol>();
    auto* hostingCell = dynamic_cast<SubviewTableViewCell*>(cell);
    if (source && hostingCell)
        hostingCell->addSubview(source->viewForRow(tableView, row));
}

bool SubviewTableViewController::selectionShouldChangeInTableView(TableView* tableView) {
    auto* delegate = delegateFor<TableViewProtocol::SelectionShouldChangeInTableView>();
    return delegate ? delegate->selectionShouldChangeInTableView(tableView) : true;
}

bool SubviewTableViewController::shouldSelectRow(TableView* tableView, int row) {
    auto* delegate = delegateFor<TableViewProtocol::ShouldSelectRow>();
    return delegate ? delegate->shouldSelectRow(tableView, row) : true;
}

void SubviewTableViewController::tableViewColumnDidMove(TableView* notification) {
    if (auto* delegate = delegateFor<TableViewProtocol::TableViewColumnDidMove>())
        delegate->tableViewColumnDidMove(notification);
}

void SubviewTableViewController::tableViewSelectionDidChange(TableView* notification) {
    if (auto* delegate = delegateFor<TableViewProtocol::TableViewSelectionDidChange>())
        delegate->tableViewSelectionDidChange(notification);
}

void SubviewTableViewController::tableViewSelectionIsChanging(TableView* notification) {
    if (auto* delegate = delegateFor<TableViewProtocol::TableViewSelectionIsChanging>())
        delegate->tableViewSelectionIsChanging(notification);
}
