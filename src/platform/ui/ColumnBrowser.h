#pragma once

#include "platform/ui/BrowserCell.h"
#include "platform/ui/ColumnBrowserDelegate.h"

#include <functional>
#include <gtkmm/box.h>
#include <gtkmm/builder.h>
#include <gtkmm/label.h>
#include <gtkmm/listview.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/singleselection.h>
#include <gtkmm/stringlist.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A column browser: lists side by side in a horizontal scroller, each showing the rows of the
// item selected in the column to its left. Once shown it lists column 0 by itself if nobody has
// loaded it yet. The delegate answers each column's number of rows
// once per load and fills each row's cell once, when the row is first needed; the browser keeps
// the cells until the column loads again. Clicks run the action (every click on a row) and the
// double action (a double click or Return).
class ColumnBrowser : public Gtk::Box {
public:
    using Action = std::function<void(ColumnBrowser*)>;
    using CellFactory = std::function<std::unique_ptr<BrowserCell>()>;

    ColumnBrowser();
    // For Gtk::Builder::get_widget_derived on a GtkBox of a layout.
    ColumnBrowser(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>& builder);
    ~ColumnBrowser() override;

    void setDelegate(ColumnBrowserDelegate* delegate) { browserDelegate = delegate; }
    ColumnBrowserDelegate* delegate() const { return browserDelegate; }
    // The kind of cell the browser makes for each row (BrowserCell unless set).
    template <class Cell> void setCellClass() {
        cellFactory = [] { return std::make_unique<Cell>(); };
    }
    void setAction(Action action) { singleAction = std::move(action); }
    void setDoubleAction(Action action) { doubleAction = std::move(action); }

    // Columns are as wide as the browser shows this many of them side by side...
    void setMaxVisibleColumns(int count);
    int maxVisibleColumns() const { return visibleColumns; }
    // ...but never narrower than this.
    void setMinColumnWidth(int width);
    int minColumnWidth() const { return minimumWidth; }
    int columnWidth() const { return currentColumnWidth; }

    void setTitled(bool titled);
    bool isTitled() const { return titled; }
    void setTakesTitleFromPreviousColumn(bool takes);
    bool takesTitleFromPreviousColumn() const { return titleFromPrevious; }
    // A column's own title, used where it does not take one from its left neighbour.
    void setTitle(const std::string& title, int column);
    std::string titleOfColumn(int column);

    // Drops every column and lists column 0 again.
    void loadColumnZero();
    // Lists the column again and makes it the last one, keeping its selection when the selected
    // name is still there.
    void reloadColumn(int column);
    int lastColumn() const { return static_cast<int>(columns.size()) - 1; }
    int numberOfRowsInColumn(int column) const;
    // The row's cell, filled by the delegate the first time it is needed.
    BrowserCell* loadedCellAtRow(int row, int column);
    // The list showing a column (the user's clicks reach the browser through it).
    Gtk::ListView* matrixInColumn(int column) const;

    // "/" followed by the names selected in each column, separated by "/"; "/" with none.
    std::string path();
    // The path of the selections left of the column ("/" for column 0).
    std::string pathToColumn(int column);
    // Selects each name of the path in turn, opening columns as it goes; stops at the first name
    // that is not there and answers whether the whole path was found. Runs no action.
    bool setPath(const std::string& path);
    int selectedColumn() const;
    int selectedRowInColumn(int column) const;
    BrowserCell* selectedCell();
    std::vector<BrowserCell*> selectedCells();
    // Selects the row as a click would, opening the next column for a branch; runs no action.
    void selectRow(int row, int column);
    void scrollColumnToVisible(int column);
    // Gives the keyboard focus to the column of the selection (column 0 without one), so the
    // arrow keys move through the browser.
    void focusSelectedColumn();

private:
    struct Column {
        Gtk::Box* frame = nullptr;
        Gtk::Label* title = nullptr;
        Gtk::ListView* list = nullptr;
        Glib::RefPtr<Gtk::SingleSelection> selection;
        std::vector<std::unique_ptr<BrowserCell>> cells;
        sigc::connection selectionChanged;
        int highlightedRow = -1;
    };

    void build();
    void loadColumnZeroIfNeverLoaded();
    Column& addColumn();
    void loadColumn(int column);
    void removeColumnsAfter(int column);
    void removeLastColumn();
    void selectQuietly(int row, int column);
    void openColumnAfter(int column);
    void highlightSelection(int column);
    void refreshTitle(int column);
    void onSelectionChanged(int column);
    void onRowActivated(int column, guint position);
    void onRowReclicked(int column, int row);
    bool onKeyPressed(int column, guint key);
    void focusRow(int row, int column);
    void runAction(const Action& action);
    int rowNamed(const std::string& name, int column);
    void onViewportChanged();
    void applyLayout();
    void applyColumnWidths();
    void applyPendingScroll();
    Column* columnAt(int column) const;

    ColumnBrowserDelegate* browserDelegate = nullptr;
    CellFactory cellFactory;
    Action singleAction;
    Action doubleAction;
    int visibleColumns = 3;
    int minimumWidth = 100;
    int currentColumnWidth = 100;
    bool titled = true;
    bool titleFromPrevious = true;
    std::map<int, std::string> ownTitles;
    bool selectingQuietly = false;
    bool layoutQueued = false;
    int pendingScrollColumn = -1;

    Gtk::ScrolledWindow* scroller = nullptr;
    Gtk::Box* strip = nullptr;
    std::vector<std::unique_ptr<Column>> columns;
};
