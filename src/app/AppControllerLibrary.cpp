#include "app/AppController.h"

#include "app/FrlConstants.h"
#include "library/FSBrowserCell.h"
#include "platform/Defaults.h"
#include "platform/Paths.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"

#include <gtkmm/applicationwindow.h>
#include <gtkmm/label.h>

const char* AppController::savedPathKey() const {
    if (prodState == strumwellProduct)
        return FrlsaveUserPath;
    return prodState == jamcroftProduct ? FrlsaveUserPathJamcroft : FrlsaveUserPathDownloadStore;
}

const char* AppController::savedSelectionKey() const {
    if (prodState == strumwellProduct)
        return FrlsaveUserSelection;
    return prodState == jamcroftProduct ? FrlsaveUserSelectionJamcroft
                                        : FrlsaveUserSelectionDownloadStore;
}

void AppController::configureBrowser() {
    fsBrowser->setCellClass<FSBrowserCell>();
    fsBrowser->setDelegate(this);
    fsBrowser->setAction([this](ColumnBrowser* browser) { browserSingleClick(browser); });
    fsBrowser->setDoubleAction([this](ColumnBrowser* browser) { browserDoubleClick(browser); });
    fsBrowser->setMaxVisibleColumns(3);
    fsBrowser->setMinColumnWidth(std::max(1, fsBrowser->get_width() / 3));
    fsBrowser->setTitled(true);
    fsBrowser->setTakesTitleFromPreviousColumn(true);
}

void AppController::reloadData(Gtk::Widget*) {
    fsBrowser->loadColumnZero();
}

std::string AppController::fsPathToColumn(int column) {
    if (column == 0)
        return getRootDirectory();
    return getRootDirectory() + fsBrowser->pathToColumn(column);
}

// The browser asks for a column's count once per load, then fills its cells from that listing.
int AppController::numberOfRowsInColumn(ColumnBrowser*, int column) {
    auto node = FSNodeInfo::nodeWithParent(nullptr, fsPathToColumn(column), this);
    columnListings[column] = node ? node->visibleSubNodes() : FSNodeInfoArray();
    return static_cast<int>(columnListings[column].size());
}

void AppController::willDisplayCell(ColumnBrowser*, BrowserCell* cell, int row, int column) {
    auto listing = columnListings.find(column);
    auto* browserCell = dynamic_cast<FSBrowserCell*>(cell);
    if (listing == columnListings.end() || !browserCell || row < 0 ||
        row >= static_cast<int>(listing->second.size()))
        return;
    browserCell->setAttributedStringValueFromFSNodeInfo(*listing->second[row]);
}

void AppController::browserSingleClick(ColumnBrowser* browser) {
    if (browser->selectedCells().size() != 1)
        return;
    std::string browserPath = browser->path();
    std::string fullPath = getRootDirectory() + browserPath;
    auto node = FSNodeInfo::nodeWithParent(nullptr, fullPath, this);
    lastPath = browserPath;
    lastVisNodes = node ? std::optional(node->visibleSubNodesNotDirs()) : std::nullopt;
    lastRowCount = lastVisNodes ? static_cast<int>(lastVisNodes->size()) : 0;
    addRows(lastVisNodes ? &*lastVisNodes : nullptr);
    if (appMode == searchResultsMode)
        appMode = browseMode;
    Defaults::standard().setString(savedPathKey(), browserPath);
    Defaults::standard().setInteger(savedSelectionKey(), -1);
    if (resultsView->numberOfRows() > 0) {
        resultsView->deselectAll();
        resultsView->scrollRowToVisible(0);
    }
    searchResults->set_text(std::to_string(lastRowCount) + " " +
                            (lastRowCount == 1 ? "item" : "items"));
    resultsTitle->set_text(
        lastRowCount >= 1 ? Paths::displayName(FSNodeInfo::lastPathComponentOf(fullPath)) : "");
    if (!isMoviePlaying())
        mainWindow->set_title(productDisplayName());
}

void AppController::browserDoubleClick(ColumnBrowser* browser) {
    std::string fullPath = getRootDirectory() + browser->path();
    browserSingleClick(browser);
    launchFile(fullPath, false);
}

void AppController::refreshBrowserView(bool reselectRow) {
    reloadData(nullptr);
    std::string savedPath = Defaults::standard().stringForKey(savedPathKey());
    auto savedRow = Defaults::standard().integerForKey(savedSelectionKey());
    fsBrowser->setPath(savedPath);
    browserSingleClick(fsBrowser);
    if (savedPath == FrlrootFolder || savedRow == -1) {
        fsBrowser->focusSelectedColumn();
        return;
    }
    resultsView->grab_focus();
    if (reselectRow && savedRow < resultsView->numberOfRows()) {
        resultsView->selectRow(static_cast<int>(savedRow), false);
        resultsView->scrollRowToVisible(static_cast<int>(savedRow));
    }
}
