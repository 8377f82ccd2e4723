#include "app/AppController.h"

#include "app/FrlConstants.h"
#include "download/DownloadController.h"
#include "platform/Paths.h"
#include "platform/movie/QTMovieView.h"
#include "platform/ui/TableView.h"
#include "player/FrlQTMovie.h"
#include "rowviews/SubView.h"
#include "rowviews/SubviewController.h"
#include "rowviews/SubviewTableViewController.h"

#include <filesystem>
#include <gtkmm/button.h>
#include <gtkmm/columnviewcolumn.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/label.h>

namespace {

const char* const FrlresultsTableStatusColumn = "Status";
const char* const FrlresultsTableNameColumn = "Name";
const char* const FrlresultsTableArtistColumn = "Artist";
const char* const FrlresultsTableInstrumentColumn = "Instrument";
const char* const FrlresultsTableLevelColumn = "Level";
const char FrlblankSpace = ' ';

// The description's words at single spaces; the instrument is the first, the level the second.
std::optional<std::string> descriptionWord(const std::optional<std::string>& description,
                                           std::size_t index) {
    if (!description)
        return std::nullopt;
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t space; (space = description->find(FrlblankSpace, start)) != std::string::npos;
         start = space + 1)
        pieces.push_back(description->substr(start, space - start));
    pieces.push_back(description->substr(start));
    if (index >= pieces.size())
        return std::nullopt;
    return pieces[index];
}

std::string resolvedPath(const std::string& path) {
    std::error_code error;
    auto resolved = std::filesystem::canonical(path, error);
    return error ? path : resolved.string();
}

} // namespace

void AppController::configureFileList() {
    resultsView->setDoubleAction([this](TableView* sender) { tableDoubleClick(sender); });
    subviewTableColumn = resultsView->tableColumnWithIdentifier(FrlresultsTableStatusColumn);
    if (subviewTableColumn)
        resultsView->moveColumn(subviewTableColumn, 0);
    tableViewController = SubviewTableViewController::controllerWithViewColumn(subviewTableColumn);
    tableViewController->setDelegate(this);
    // Keys the list itself does not use go to the player: space plays and pauses, Delete deletes.
    auto keys = Gtk::EventControllerKey::create();
    // Captured first: the list view would otherwise take space for its own selection.
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(
        [this](guint key, guint, Gdk::ModifierType) {
            if (key == GDK_KEY_space) {
                togglePlay(nullptr);
                return true;
            }
            if (key == GDK_KEY_Delete && validateMenuItem("delete")) {
                deleteFile(nullptr);
                return true;
            }
            return false;
        },
        false);
    resultsView->add_controller(keys);
}

void AppController::addRows(const FSNodeInfoArray* nodes) {
    subviewControllers.clear();
    auto& downloads = DownloadController::sharedInstance(this);
    for (const auto& node : nodes ? *nodes : FSNodeInfoArray()) {
        std::string path = node->absolutePath();
        auto row = SubviewController::controller();
        row->setFileName(path);
        std::string resolved = resolvedPath(path);
        if (prodState == downloadStoreProduct && downloads.fileIsDownloading(resolved))
            row->turnOnAnimation();
        else if (prodState == downloadStoreProduct && downloads.fileIsPartial(resolved))
            row->setPartial();
        else
            row->turnOffAnimation();
        subviewControllers.push_back(std::move(row));
    }
    tableViewController->reloadTableView();
}

bool AppController::rowStatus(const std::string& path) {
    return DownloadController::fileIsEmpty(path);
}

Gtk::Widget* AppController::viewForRow(TableView*, std::int32_t row) {
    if (row < 0 || row >= static_cast<int>(subviewControllers.size()))
        return nullptr;
    return subviewControllers[row]->view();
}

int AppController::numberOfRowsInTableView(TableView*) {
    return static_cast<int>(subviewControllers.size());
}

std::optional<std::string>
AppController::objectValueForTableColumn(TableView*, Gtk::ColumnViewColumn* column, int row) {
    if (!lastVisNodes || lastVisNodes->empty() || row < 0 ||
        row >= static_cast<int>(lastVisNodes->size()))
        return std::nullopt;
    const auto& node = (*lastVisNodes)[row];
    std::string path = node->absolutePath();
    if (auto practised = practisedColumnValue(column, path))
        return practised;
    if (path != lastMoviePath || lastMoviePath.empty()) {
        lastMoviePath = path;
        lastMovie.reset();
        std::string extension = std::filesystem::path(path).extension().string();
        if (QTMovie::canInitWithFile(path) && extension != std::string(".") + FrlpdfFileExt) {
            auto movie = std::make_unique<FrlQTMovie>();
            if (movie->initWithFile(path, nullptr))
                lastMovie = std::move(movie);
        }
    }
    std::string identifier = TableView::identifierOf(column);
    if (identifier == FrlresultsTableNameColumn)
        return Paths::stringByDeletingPathExtension(
            lastMovie ? lastMovie->displayName() : Paths::displayName(node->lastPathComponent()));
    if (identifier == FrlresultsTableArtistColumn)
        return lastMovie ? lastMovie->getArtistAnnotation() : std::optional<std::string>("");
    if (identifier == FrlresultsTableInstrumentColumn)
        return lastMovie ? descriptionWord(lastMovie->getDescriptionAnnotation(), 0)
                         : std::optional<std::string>("");
    if (identifier == FrlresultsTableLevelColumn)
        return lastMovie ? descriptionWord(lastMovie->getDescriptionAnnotation(), 1)
                         : std::optional<std::string>("");
    return std::nullopt;
}

void AppController::willDisplayCell(TableView*, Gtk::Widget* cell, Gtk::ColumnViewColumn*,
                                    int row) {
    auto* text = dynamic_cast<Gtk::Label*>(cell);
    if (!text || !lastVisNodes || row < 0 || row >= static_cast<int>(lastVisNodes->size()))
        return;
    // An empty file (a lesson reserved but not yet downloaded) reads in grey.
    text->set_sensitive(!rowStatus((*lastVisNodes)[row]->absolutePath()));
}

void AppController::tableViewSelectionDidChange(TableView*) {
    if (resultsView->selectedRow() < 0) {
        clearTimeDisplayForCurrentMovie();
        createButton->set_sensitive(false);
        iPodButton->set_sensitive(false);
        albumButton->set_sensitive(false);
        return;
    }
    if (ignoreSelectionChange)
        ignoreSelectionChange = false;
    else if (!isMoviePlaying())
        playCurrentSelection(true);
    enableCompanionControls();
    validateMenus();
}

void AppController::tableDoubleClick(TableView*) {
    playCurrentSelection(false);
}

std::string AppController::getCurrentSelectionPath() const {
    int row = resultsView->selectedRow();
    if (row < 0 || !lastVisNodes || row >= static_cast<int>(lastVisNodes->size()))
        return {};
    return (*lastVisNodes)[row]->absolutePath();
}

int AppController::selectedFileListRow() const {
    return resultsView->selectedRow();
}

void AppController::selectFileListRow(int row) {
    resultsView->grab_focus();
    resultsView->selectRow(row, false);
    resultsView->scrollRowToVisible(row);
}

int AppController::fileListRowCount() const {
    return resultsView->numberOfRows();
}
