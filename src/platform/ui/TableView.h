#pragma once

#include "platform/ui/TableViewDelegate.h"

#include <functional>
#include <gtkmm/builder.h>
#include <gtkmm/columnview.h>
#include <gtkmm/singleselection.h>
#include <gtkmm/stringlist.h>
#include <map>
#include <string>
#include <vector>

// A table driven by its data source, over a Gtk::ColumnView: the source answers the number of
// rows once per reload and each shown cell's value; the table asks the delegate before a
// selection changes and tells it afterwards. Columns without a cell maker of their own show
// text (Gtk::Label cells). One object serves as data source and delegate.
class TableView : public Gtk::ColumnView {
public:
    using Action = std::function<void(TableView*)>;
    using CellMaker = std::function<Gtk::Widget*()>;

    TableView();
    // For Gtk::Builder::get_widget_derived on a GtkColumnView of a layout.
    TableView(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>& builder);
    ~TableView() override;

    void setDataSource(TableViewDelegate* source);
    TableViewDelegate* dataSource() const { return source; }
    // The column's cells come from the maker (a new managed widget each time); null restores
    // text cells.
    void setDataCell(Gtk::ColumnViewColumn* column, CellMaker makeCell);
    // Runs on a double click or Return on a row.
    void setDoubleAction(Action action) { doubleAction = std::move(action); }

    void reloadData();
    int numberOfRows() const;
    int selectedRow() const;
    // Selection by the program: asks no delegate, tells it when the selection changed. A single
    // selection table: extending selects the row alone too.
    void selectRow(int row, bool byExtendingSelection);
    void deselectAll();
    void scrollRowToVisible(int row);

    std::vector<Gtk::ColumnViewColumn*> tableColumns();
    Gtk::ColumnViewColumn* tableColumnWithIdentifier(const std::string& identifier);
    // A column's identifier: the one set here, else its id in the layout, else its title.
    static std::string identifierOf(Gtk::ColumnViewColumn* column);
    static void setIdentifier(Gtk::ColumnViewColumn* column, const std::string& identifier);
    void moveColumn(Gtk::ColumnViewColumn* column, int toIndex);

    // The cell widget showing the row in the column, if the row is on screen.
    Gtk::Widget* cellAt(int row, Gtk::ColumnViewColumn* column) const;

private:
    struct Binding {
        Gtk::ColumnViewColumn* column;
        int row;
    };

    void build();
    void installFactories();
    void installFactory(Gtk::ColumnViewColumn* column);
    Gtk::Widget* makeCell(Gtk::ColumnViewColumn* column);
    void displayCell(Gtk::ColumnViewColumn* column, Gtk::Widget* cell, int row);
    void selectQuietly(int row);
    void onSelectionChanged();
    void selectionDidChange();
    template <class Operation> Operation* sourceFor() const {
        return dynamic_cast<Operation*>(source);
    }

    TableViewDelegate* source = nullptr;
    Action doubleAction;
    Glib::RefPtr<Gtk::StringList> rows;
    Glib::RefPtr<Gtk::SingleSelection> selection;
    std::map<Gtk::ColumnViewColumn*, CellMaker> cellMakers;
    std::map<Gtk::ColumnViewColumn*, Glib::RefPtr<Gtk::ListItemFactory>> factories;
    std::map<Gtk::Widget*, Binding> bindings;
    int lastSelectedRow = -1;
    bool selectingQuietly = false;
};
