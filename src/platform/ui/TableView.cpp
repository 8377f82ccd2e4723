#include "platform/ui/TableView.h"

#include "platform/ui/AccessibleName.h"
#include "platform/ui/TableViewCell.h"

#include <algorithm>
#include <gtkmm/label.h>
#include <gtkmm/signallistitemfactory.h>

namespace {

constexpr const char* identifierKey = "fretlark-table-column-identifier";

} // namespace

TableView::TableView() {
    build();
}

TableView::TableView(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>&)
    : Gtk::ColumnView(cobject) {
    build();
}

TableView::~TableView() = default;

void TableView::build() {
    rows = Gtk::StringList::create({});
    selection = Gtk::SingleSelection::create();
    selection->set_autoselect(false);
    selection->set_can_unselect(true);
    selection->set_model(rows);
    selection->signal_selection_changed().connect([this](guint, guint) { onSelectionChanged(); });
    set_model(selection);
    // An untitled column's header is an empty label.
    AccessibleName::silenceEmptyLabelsWithin(*this);
    signal_activate().connect([this](guint) {
        if (doubleAction)
            doubleAction(this);
    });
}

void TableView::setDataSource(TableViewDelegate* newSource) {
    source = newSource;
    installFactories();
}

void TableView::setDataCell(Gtk::ColumnViewColumn* column, CellMaker makeCell) {
    if (makeCell)
        cellMakers[column] = std::move(makeCell);
    else
        cellMakers.erase(column);
    installFactory(column);
}

std::vector<Gtk::ColumnViewColumn*> TableView::tableColumns() {
    std::vector<Gtk::ColumnViewColumn*> result;
    auto model = get_columns();
    for (guint index = 0; index < model->get_n_items(); ++index)
        result.push_back(
            std::dynamic_pointer_cast<Gtk::ColumnViewColumn>(model->get_object(index)).get());
    return result;
}

void TableView::installFactories() {
    for (Gtk::ColumnViewColumn* column : tableColumns()) {
        auto installed = factories.find(column);
        if (installed == factories.end() || column->get_factory() != installed->second)
            installFactory(column);
    }
}

void TableView::installFactory(Gtk::ColumnViewColumn* column) {
    auto factory = Gtk::SignalListItemFactory::create();
    factory->signal_setup().connect([this, column](const Glib::RefPtr<Gtk::ListItem>& item) {
        item->set_child(*makeCell(column));
    });
    factory->signal_bind().connect([this, column](const Glib::RefPtr<Gtk::ListItem>& item) {
        int row = static_cast<int>(item->get_position());
        bindings[item->get_child()] = {column, row};
        displayCell(column, item->get_child(), row);
    });
    factory->signal_unbind().connect(
        [this](const Glib::RefPtr<Gtk::ListItem>& item) { bindings.erase(item->get_child()); });
    factories[column] = factory;
    column->set_factory(factory);
}

Gtk::Widget* TableView::makeCell(Gtk::ColumnViewColumn* column) {
    auto maker = cellMakers.find(column);
    if (maker != cellMakers.end())
        return maker->second();
    auto* label = Gtk::make_managed<Gtk::Label>();
    label->set_xalign(0.0f);
    label->set_ellipsize(Pango::EllipsizeMode::END);
    AccessibleName::silenceWhileEmpty(*label);
    return label;
}

void TableView::displayCell(Gtk::ColumnViewColumn* column, Gtk::Widget* cell, int row) {
    if (auto* label = dynamic_cast<Gtk::Label*>(cell)) {
        auto* values = sourceFor<TableViewProtocol::ObjectValueForTableColumn>();
        std::optional<std::string> value =
            values ? values->objectValueForTableColumn(this, column, row) : std::nullopt;
        label->set_text(value.value_or(std::string()));
    }
    if (auto* delegate = sourceFor<TableViewProtocol::WillDisplayCell>())
        delegate->willDisplayCell(this, cell, column, row);
    if (auto* drawn = dynamic_cast<TableViewCell*>(cell))
        drawn->drawInView(this);
}

void TableView::reloadData() {
    installFactories();
    auto* counter = sourceFor<TableViewProtocol::NumberOfRowsInTableView>();
    int count = counter ? std::max(0, counter->numberOfRowsInTableView(this)) : 0;
    int previous = selectedRow();
    selectingQuietly = true;
    rows->splice(0, rows->get_n_items(), std::vector<Glib::ustring>(count));
    selectingQuietly = false;
    if (previous < 0)
        return;
    if (previous < count) {
        selectQuietly(previous);
        return;
    }
    selectionDidChange();
}

int TableView::numberOfRows() const {
    return static_cast<int>(rows->get_n_items());
}

int TableView::selectedRow() const {
    guint selected = selection->get_selected();
    return selected == GTK_INVALID_LIST_POSITION ? -1 : static_cast<int>(selected);
}

void TableView::selectRow(int row, bool) {
    if (row < 0 || row >= numberOfRows() || row == selectedRow())
        return;
    selectQuietly(row);
    selectionDidChange();
}

void TableView::deselectAll() {
    if (selectedRow() < 0)
        return;
    selectQuietly(-1);
    selectionDidChange();
}

void TableView::selectQuietly(int row) {
    selectingQuietly = true;
    selection->set_selected(row < 0 ? GTK_INVALID_LIST_POSITION : static_cast<guint>(row));
    selectingQuietly = false;
    lastSelectedRow = row;
}

// A change made by the user: the delegate may refuse it, which puts the old selection back.
void TableView::onSelectionChanged() {
    if (selectingQuietly)
        return;
    int row = selectedRow();
    auto* shouldChange = sourceFor<TableViewProtocol::SelectionShouldChangeInTableView>();
    auto* shouldSelect = sourceFor<TableViewProtocol::ShouldSelectRow>();
    bool allowed = (!shouldChange || shouldChange->selectionShouldChangeInTableView(this)) &&
                   (row < 0 || !shouldSelect || shouldSelect->shouldSelectRow(this, row));
    if (!allowed) {
        selectQuietly(lastSelectedRow);
        return;
    }
    if (auto* changing = sourceFor<TableViewProtocol::TableViewSelectionIsChanging>())
        changing->tableViewSelectionIsChanging(this);
    selectionDidChange();
}

void TableView::selectionDidChange() {
    lastSelectedRow = selectedRow();
    if (auto* delegate = sourceFor<TableViewProtocol::TableViewSelectionDidChange>())
        delegate->tableViewSelectionDidChange(this);
}

void TableView::scrollRowToVisible(int row) {
    if (row < 0 || row >= numberOfRows())
        return;
    for (Gtk::Widget* child = get_first_child(); child; child = child->get_next_sibling())
        if (GTK_IS_LIST_VIEW(child->gobj()))
            gtk_widget_activate_action(child->gobj(), "list.scroll-to-item", "u",
                                       static_cast<guint>(row));
}

std::string TableView::identifierOf(Gtk::ColumnViewColumn* column) {
    if (auto* own =
            static_cast<const char*>(g_object_get_data(G_OBJECT(column->gobj()), identifierKey)))
        return own;
    if (auto* layoutId =
            static_cast<const char*>(g_object_get_data(G_OBJECT(column->gobj()), "gtk-builder-id")))
        return layoutId;
    return column->get_title();
}

void TableView::setIdentifier(Gtk::ColumnViewColumn* column, const std::string& identifier) {
    g_object_set_data_full(G_OBJECT(column->gobj()), identifierKey, g_strdup(identifier.c_str()),
                           g_free);
}

Gtk::ColumnViewColumn* TableView::tableColumnWithIdentifier(const std::string& identifier) {
    auto columns = tableColumns();
    auto found = std::find_if(columns.begin(), columns.end(), [&](Gtk::ColumnViewColumn* column) {
        return identifierOf(column) == identifier;
    });
    return found == columns.end() ? nullptr : *found;
}

void TableView::moveColumn(Gtk::ColumnViewColumn* column, int toIndex) {
    auto columns = tableColumns();
    auto found = std::find(columns.begin(), columns.end(), column);
    if (found == columns.end() || toIndex < 0 || toIndex >= static_cast<int>(columns.size()))
        return;
    auto keep = std::dynamic_pointer_cast<Gtk::ColumnViewColumn>(
        get_columns()->get_object(static_cast<guint>(found - columns.begin())));
    insert_column(static_cast<guint>(toIndex), keep);
    if (auto* delegate = sourceFor<TableViewProtocol::TableViewColumnDidMove>())
        delegate->tableViewColumnDidMove(this);
}

Gtk::Widget* TableView::cellAt(int row, Gtk::ColumnViewColumn* column) const {
    for (const auto& [cell, binding] : bindings)
        if (binding.row == row && binding.column == column)
            return cell;
    return nullptr;
}
