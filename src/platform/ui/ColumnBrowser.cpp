#include "platform/ui/ColumnBrowser.h"

#include "platform/ui/AccessibleName.h"
#include "platform/ui/BrowserRow.h"

#include <algorithm>
#include <glibmm/main.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/separator.h>
#include <gtkmm/signallistitemfactory.h>
#include <sstream>

namespace {

std::vector<std::string> pathComponents(const std::string& path) {
    std::vector<std::string> components;
    std::istringstream stream(path);
    std::string component;
    while (std::getline(stream, component, '/'))
        if (!component.empty())
            components.push_back(component);
    return components;
}

} // namespace

ColumnBrowser::ColumnBrowser() : Gtk::Box(Gtk::Orientation::HORIZONTAL) {
    build();
}

ColumnBrowser::ColumnBrowser(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>&)
    : Gtk::Box(cobject) {
    set_orientation(Gtk::Orientation::HORIZONTAL);
    build();
}

// The column widgets may be gone already (GTK disposes children first); only the signal
// connections are left to cut.
ColumnBrowser::~ColumnBrowser() {
    for (const auto& column : columns)
        column->selectionChanged.disconnect();
}

void ColumnBrowser::build() {
    cellFactory = [] { return std::make_unique<BrowserCell>(); };
    add_css_class("column-browser");
    scroller = Gtk::make_managed<Gtk::ScrolledWindow>();
    scroller->set_policy(Gtk::PolicyType::AUTOMATIC, Gtk::PolicyType::NEVER);
    scroller->set_hexpand(true);
    scroller->set_vexpand(true);
    strip = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL);
    strip->set_halign(Gtk::Align::START);
    scroller->set_child(*strip);
    scroller->get_hadjustment()->signal_changed().connect(
        sigc::mem_fun(*this, &ColumnBrowser::onViewportChanged));
    append(*scroller);
    // Checked once the start-up that showed the browser has returned: a caller that loads or
    // sets a path meanwhile is not listed twice.
    signal_map().connect([this] {
        Glib::signal_idle().connect_once(
            sigc::mem_fun(*this, &ColumnBrowser::loadColumnZeroIfNeverLoaded));
    });
}

void ColumnBrowser::loadColumnZeroIfNeverLoaded() {
    if (columns.empty() && browserDelegate)
        loadColumnZero();
}

void ColumnBrowser::setMaxVisibleColumns(int count) {
    visibleColumns = std::max(1, count);
    onViewportChanged();
}

void ColumnBrowser::setMinColumnWidth(int width) {
    minimumWidth = std::max(1, width);
    currentColumnWidth = std::max(currentColumnWidth, minimumWidth);
    applyColumnWidths();
    onViewportChanged();
}

void ColumnBrowser::setTitled(bool isTitled) {
    titled = isTitled;
    for (int column = 0; column <= lastColumn(); ++column)
        refreshTitle(column);
}

void ColumnBrowser::setTakesTitleFromPreviousColumn(bool takes) {
    titleFromPrevious = takes;
    for (int column = 0; column <= lastColumn(); ++column)
        refreshTitle(column);
}

void ColumnBrowser::setTitle(const std::string& title, int column) {
    ownTitles[column] = title;
    if (columnAt(column))
        refreshTitle(column);
}

std::string ColumnBrowser::titleOfColumn(int column) {
    if (titleFromPrevious && column > 0) {
        BrowserCell* previous = loadedCellAtRow(selectedRowInColumn(column - 1), column - 1);
        return previous ? previous->stringValue() : std::string();
    }
    auto own = ownTitles.find(column);
    return own == ownTitles.end() ? std::string() : own->second;
}

void ColumnBrowser::refreshTitle(int column) {
    Column* shown = columnAt(column);
    shown->title->set_text(BrowserCell::displayName(titleOfColumn(column)));
    shown->title->get_parent()->set_visible(titled);
}

ColumnBrowser::Column& ColumnBrowser::addColumn() {
    const int index = static_cast<int>(columns.size());
    auto column = std::make_unique<Column>();

    auto* header = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL);
    column->title = Gtk::make_managed<Gtk::Label>();
    column->title->set_ellipsize(Pango::EllipsizeMode::MIDDLE);
    column->title->set_max_width_chars(1);
    column->title->set_hexpand(true);
    column->title->set_margin(3);
    column->title->add_css_class("heading");
    AccessibleName::silenceWhileEmpty(*column->title);
    header->append(*column->title);
    header->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));

    auto factory = Gtk::SignalListItemFactory::create();
    factory->signal_setup().connect([this, index](const Glib::RefPtr<Gtk::ListItem>& item) {
        Gtk::ListItem* listItem = item.get();
        item->set_child(*Gtk::make_managed<BrowserRow>([this, index, listItem] {
            onRowReclicked(index, static_cast<int>(listItem->get_position()));
        }));
    });
    factory->signal_bind().connect([this, index](const Glib::RefPtr<Gtk::ListItem>& item) {
        BrowserCell* cell = loadedCellAtRow(static_cast<int>(item->get_position()), index);
        static_cast<BrowserRow*>(item->get_child())->display(cell);
        item->set_selectable(cell && cell->isEnabled());
        item->set_activatable(cell && cell->isEnabled());
    });
    factory->signal_unbind().connect([](const Glib::RefPtr<Gtk::ListItem>& item) {
        static_cast<BrowserRow*>(item->get_child())->display(nullptr);
    });
    column->list = Gtk::make_managed<Gtk::ListView>();
    column->list->set_factory(factory);
    column->list->signal_activate().connect(
        [this, index](guint position) { onRowActivated(index, position); });
    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(
        [this, index](guint key, guint, Gdk::ModifierType) { return onKeyPressed(index, key); },
        false);
    column->list->add_controller(keys);

    auto* rows = Gtk::make_managed<Gtk::ScrolledWindow>();
    rows->set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    rows->set_vexpand(true);
    rows->set_child(*column->list);

    auto* content = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL);
    content->set_hexpand(true);
    content->append(*header);
    content->append(*rows);
    column->frame = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL);
    column->frame->append(*content);
    column->frame->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::VERTICAL));
    // A column is as wide as the browser says, however wide its contents would like to be.
    column->frame->set_size_request(currentColumnWidth, -1);
    column->frame->set_hexpand(false);
    strip->append(*column->frame);
    columns.push_back(std::move(column));
    return *columns.back();
}

// The one place a column is listed: its count, once. Cells are filled as rows are needed and
// kept until the next load; the rows on screen only show them.
void ColumnBrowser::loadColumn(int index) {
    Column& column = *columns[index];
    column.selectionChanged.disconnect();
    column.list->set_model({});
    column.cells.clear();
    column.highlightedRow = -1;

    int count =
        browserDelegate ? std::max(0, browserDelegate->numberOfRowsInColumn(this, index)) : 0;
    column.cells.resize(count);

    column.selection = Gtk::SingleSelection::create();
    column.selection->set_autoselect(false);
    column.selection->set_can_unselect(true);
    column.selection->set_model(Gtk::StringList::create(std::vector<Glib::ustring>(count)));
    column.selectionChanged = column.selection->signal_selection_changed().connect(
        [this, index](guint, guint) { onSelectionChanged(index); });
    column.list->set_model(column.selection);
    refreshTitle(index);
}

void ColumnBrowser::removeLastColumn() {
    Column& column = *columns.back();
    column.selectionChanged.disconnect();
    column.list->set_model({});
    strip->remove(*column.frame);
    columns.pop_back();
}

void ColumnBrowser::removeColumnsAfter(int column) {
    while (lastColumn() > column)
        removeLastColumn();
}

void ColumnBrowser::loadColumnZero() {
    removeColumnsAfter(0);
    if (columns.empty())
        addColumn();
    loadColumn(0);
    scrollColumnToVisible(0);
}

void ColumnBrowser::reloadColumn(int column) {
    if (!columnAt(column))
        return;
    BrowserCell* selected = loadedCellAtRow(selectedRowInColumn(column), column);
    std::string selectedName = selected ? selected->stringValue() : std::string();
    bool hadSelection = selected != nullptr;
    removeColumnsAfter(column);
    loadColumn(column);
    int row = hadSelection ? rowNamed(selectedName, column) : -1;
    if (row < 0)
        return;
    selectQuietly(row, column);
    highlightSelection(column);
}

int ColumnBrowser::numberOfRowsInColumn(int column) const {
    Column* shown = columnAt(column);
    return shown ? static_cast<int>(shown->cells.size()) : 0;
}

BrowserCell* ColumnBrowser::loadedCellAtRow(int row, int column) {
    Column* shown = columnAt(column);
    if (!shown || row < 0 || row >= static_cast<int>(shown->cells.size()))
        return nullptr;
    std::unique_ptr<BrowserCell>& cell = shown->cells[row];
    if (!cell) {
        cell = cellFactory();
        if (browserDelegate)
            browserDelegate->willDisplayCell(this, cell.get(), row, column);
    }
    return cell.get();
}

Gtk::ListView* ColumnBrowser::matrixInColumn(int column) const {
    Column* shown = columnAt(column);
    return shown ? shown->list : nullptr;
}

ColumnBrowser::Column* ColumnBrowser::columnAt(int column) const {
    if (column < 0 || column > lastColumn())
        return nullptr;
    return columns[column].get();
}

std::string ColumnBrowser::pathToColumn(int column) {
    std::string path;
    for (int index = 0; index < column; ++index) {
        BrowserCell* cell = loadedCellAtRow(selectedRowInColumn(index), index);
        if (!cell)
            break;
        path += "/" + cell->stringValue();
    }
    return path.empty() ? "/" : path;
}

std::string ColumnBrowser::path() {
    return pathToColumn(selectedColumn() + 1);
}

bool ColumnBrowser::setPath(const std::string& path) {
    if (columns.empty()) {
        addColumn();
        loadColumn(0);
    }
    removeColumnsAfter(0);
    selectQuietly(-1, 0);
    highlightSelection(0);
    int column = 0;
    bool found = true;
    for (const std::string& name : pathComponents(path)) {
        int row = rowNamed(name, column);
        if (row < 0) {
            found = false;
            break;
        }
        selectRow(row, column);
        ++column;
    }
    scrollColumnToVisible(lastColumn());
    return found;
}

int ColumnBrowser::rowNamed(const std::string& name, int column) {
    for (int row = 0; row < numberOfRowsInColumn(column); ++row)
        if (loadedCellAtRow(row, column)->stringValue() == name)
            return row;
    return -1;
}

int ColumnBrowser::selectedColumn() const {
    for (int column = lastColumn(); column >= 0; --column)
        if (selectedRowInColumn(column) >= 0)
            return column;
    return -1;
}

int ColumnBrowser::selectedRowInColumn(int column) const {
    Column* shown = columnAt(column);
    if (!shown || !shown->selection)
        return -1;
    guint selected = shown->selection->get_selected();
    return selected == GTK_INVALID_LIST_POSITION ? -1 : static_cast<int>(selected);
}

BrowserCell* ColumnBrowser::selectedCell() {
    int column = selectedColumn();
    return loadedCellAtRow(selectedRowInColumn(column), column);
}

std::vector<BrowserCell*> ColumnBrowser::selectedCells() {
    BrowserCell* cell = selectedCell();
    return cell ? std::vector<BrowserCell*>{cell} : std::vector<BrowserCell*>{};
}

void ColumnBrowser::selectRow(int row, int column) {
    if (!loadedCellAtRow(row, column))
        return;
    selectQuietly(row, column);
    removeColumnsAfter(column);
    highlightSelection(column);
    openColumnAfter(column);
}

void ColumnBrowser::selectQuietly(int row, int column) {
    Column* shown = columnAt(column);
    if (!shown || !shown->selection)
        return;
    selectingQuietly = true;
    shown->selection->set_selected(row < 0 ? GTK_INVALID_LIST_POSITION : static_cast<guint>(row));
    selectingQuietly = false;
}

void ColumnBrowser::highlightSelection(int column) {
    Column* shown = columnAt(column);
    if (BrowserCell* previous = loadedCellAtRow(shown->highlightedRow, column))
        previous->setHighlighted(false);
    shown->highlightedRow = selectedRowInColumn(column);
    if (BrowserCell* current = loadedCellAtRow(shown->highlightedRow, column))
        current->setHighlighted(true);
    shown->list->queue_draw();
}

void ColumnBrowser::openColumnAfter(int column) {
    BrowserCell* cell = loadedCellAtRow(selectedRowInColumn(column), column);
    if (!cell || cell->isLeaf())
        return;
    addColumn();
    loadColumn(column + 1);
    scrollColumnToVisible(column + 1);
}

void ColumnBrowser::onSelectionChanged(int column) {
    if (selectingQuietly)
        return;
    removeColumnsAfter(column);
    highlightSelection(column);
    if (selectedRowInColumn(column) < 0)
        return;
    openColumnAfter(column);
    runAction(singleAction);
}

void ColumnBrowser::onRowReclicked(int column, int row) {
    if (selectedRowInColumn(column) != row)
        return;
    removeColumnsAfter(column);
    openColumnAfter(column);
    runAction(singleAction);
}

void ColumnBrowser::onRowActivated(int column, guint position) {
    int row = static_cast<int>(position);
    if (selectedRowInColumn(column) != row) {
        selectRow(row, column);
        runAction(singleAction);
    }
    runAction(doubleAction);
}

// Left and Right move between columns as clicks would: Right chooses the first row of the
// column to the right, Left goes back to the selection in the column to the left.
bool ColumnBrowser::onKeyPressed(int column, guint key) {
    if (key == GDK_KEY_Right && numberOfRowsInColumn(column + 1) > 0) {
        int row = std::max(0, selectedRowInColumn(column + 1));
        columns[column + 1]->selection->select_item(static_cast<guint>(row), true);
        focusRow(row, column + 1);
        return true;
    }
    if (key == GDK_KEY_Left && column > 0) {
        selectQuietly(-1, column);
        removeColumnsAfter(column);
        highlightSelection(column);
        focusRow(selectedRowInColumn(column - 1), column - 1);
        runAction(singleAction);
        return true;
    }
    return false;
}

void ColumnBrowser::runAction(const Action& action) {
    if (action)
        action(this);
}

void ColumnBrowser::focusSelectedColumn() {
    int column = selectedColumn();
    if (column < 0) {
        if (Column* first = columnAt(0))
            first->list->grab_focus();
        return;
    }
    focusRow(selectedRowInColumn(column), column);
}

// Moves the keyboard focus onto the row when it is on screen, else onto its column.
void ColumnBrowser::focusRow(int row, int column) {
    Gtk::ListView* list = matrixInColumn(column);
    BrowserCell* cell = loadedCellAtRow(row, column);
    for (Gtk::Widget* item = list->get_first_child(); item; item = item->get_next_sibling()) {
        auto* shown = dynamic_cast<BrowserRow*>(item->get_first_child());
        if (cell && shown && shown->cell() == cell) {
            item->grab_focus();
            return;
        }
    }
    list->grab_focus();
}

void ColumnBrowser::scrollColumnToVisible(int column) {
    pendingScrollColumn = column;
    applyPendingScroll();
}

// The viewport's width (the adjustment's page) sets the columns' width. It changes during an
// allocation, when sizes cannot change, so they change right after it.
void ColumnBrowser::onViewportChanged() {
    int page = static_cast<int>(scroller->get_hadjustment()->get_page_size());
    int wanted = std::max(minimumWidth, page / visibleColumns);
    bool widthChanged = page > 0 && wanted != currentColumnWidth;
    if (widthChanged)
        currentColumnWidth = wanted;
    if ((widthChanged || pendingScrollColumn >= 0) && !layoutQueued) {
        layoutQueued = true;
        Glib::signal_idle().connect_once(sigc::mem_fun(*this, &ColumnBrowser::applyLayout));
    }
}

void ColumnBrowser::applyLayout() {
    layoutQueued = false;
    applyColumnWidths();
    applyPendingScroll();
}

void ColumnBrowser::applyColumnWidths() {
    for (const auto& column : columns)
        column->frame->set_size_request(currentColumnWidth, -1);
}

void ColumnBrowser::applyPendingScroll() {
    Column* shown = columnAt(pendingScrollColumn);
    if (!shown) {
        pendingScrollColumn = -1;
        return;
    }
    double left = 0, top = 0;
    int width = shown->frame->get_width();
    if (width <= 0 || !shown->frame->translate_coordinates(*strip, 0, 0, left, top))
        return;
    auto adjustment = scroller->get_hadjustment();
    double right = left + width;
    if (right > adjustment->get_upper())
        return;
    double value = adjustment->get_value();
    if (left < value)
        value = left;
    else if (right > value + adjustment->get_page_size())
        value = right - adjustment->get_page_size();
    adjustment->set_value(value);
    pendingScrollColumn = -1;
}
