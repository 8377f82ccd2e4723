#include "app/AppController.h"

#include "app/FrlConstants.h"
#include "export/ExportDialog.h"
#include "platform/Defaults.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "platform/data/AtomicFile.h"
#include "platform/data/PlistHandle.h"
#include "platform/data/PropertyList.h"
#include "platform/ui/Alert.h"
#include "player/FrlQTMovie.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <glib.h>
#include <glibmm/spawn.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/button.h>

namespace {

const char* const FrlvideosFolder = "Videos";
const char* const FrlgarageBandFolder = "GarageBand";
const char* const FrliPodFolder = "iPod";
const char* const FrliPodFileExt = "m4v";
const char* const FrlgarageBandFullPath = "/Applications/GarageBand.app";
const char* const FrlgarageBandInfoPath = "/Contents/Info.plist";
const char* const FrlscriptName = "Add_to_iTunes";
const char* const FrlprocessItemsHandler = "process_items";
const char* const FrlopenURLHandler = "open_url";

const char* const FrlcreateInGarageBand = "Create in GarageBand";
const char* const FrldontShowAgain = "Don't show this message again.";
const char* const FrlcontinueButton = "Continue";
const char* const FrloutdatedGarageBand1 = "It has been detected that you have GarageBand version ";
const char* const FrloutdatedGarageBand2 =
    " installed.  You need to upgrade to GarageBand 3.0.0 or later in order to use the supplied "
    "GarageBand projects.";
const char* const FrloutdatedGarageBand3 =
    "  Until you do, the Create button will be disabled in the application.";
const char* const FrlsaveWarning1 = "You are about to launch a GarageBand project file.  In order "
                                    "to save your own version of this song, it is recommended ";
const char* const FrlsaveWarning2 = "that you select \"Save As...\" from the GarageBand File Menu "
                                    "and specify a location on your hard drive for your file.";
const char* const FrlsaveWarning3 =
    "  Selecting \"Save\" from the GarageBand File Menu will permanently overwrite the file.";

bool exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// Every "Videos" in the path, in any letter case, becomes the companion folder's name; then the
// last extension is swapped for the companion's.
std::string companionPath(const std::string& selection, const char* folder, const char* extension) {
    std::string path;
    const std::string marker = FrlvideosFolder;
    for (std::size_t i = 0; i < selection.size();) {
        bool match = selection.size() - i >= marker.size() &&
                     std::equal(marker.begin(), marker.end(), selection.begin() + i,
                                [](char a, char b) { return std::tolower(a) == std::tolower(b); });
        path += match ? std::string(folder) : std::string(1, selection[i]);
        i += match ? marker.size() : 1;
    }
    return Paths::stringByDeletingPathExtension(path) + "." + extension;
}

// The integer value of the version's first piece: its leading digits, 0 when there are none.
long majorVersion(const std::string& version) {
    std::string first = version.substr(0, version.find('.'));
    std::size_t digits = 0;
    while (digits < first.size() && std::isdigit(static_cast<unsigned char>(first[digits])))
        ++digits;
    return digits ? std::strtol(first.substr(0, digits).c_str(), nullptr, 10) : 0;
}

} // namespace

std::string AppController::getGarageBandPathForCurrentSelection() const {
    std::string selection = getCurrentSelectionPath();
    if (selection.empty())
        return {};
    std::string project = companionPath(selection, FrlgarageBandFolder, FrlgarageBandExt);
    return exists(project) ? project : std::string();
}

std::string AppController::getiPodPathForCurrentSelection() const {
    std::string selection = getCurrentSelectionPath();
    if (selection.empty() || prodState == downloadStoreProduct)
        return selection;
    std::string portable = companionPath(selection, FrliPodFolder, FrliPodFileExt);
    return exists(portable) ? portable : std::string();
}

std::optional<std::string> AppController::getGBVersionString() {
    std::string info = Paths::systemPath(FrlgarageBandFullPath) + FrlgarageBandInfoPath;
    auto contents = AtomicFile::read(info, PropertyList::maximumFileSize);
    if (!contents || contents->empty())
        return std::nullopt;
    plist_t root = nullptr;
    // libplist reads both the XML and the binary form.
    plist_from_memory(contents->data(), static_cast<std::uint32_t>(contents->size()), &root);
    PlistHandle handle(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT)
        return std::nullopt;
    plist_t value = plist_dict_get_item(root, "CFBundleShortVersionString");
    if (!value || plist_get_node_type(value) != PLIST_STRING)
        return std::nullopt;
    char* text = nullptr;
    plist_get_string_val(value, &text);
    std::optional<std::string> version;
    if (text)
        version = text;
    std::free(text);
    return version;
}

void AppController::checkGarageBandVersion() {
    showCreateGBDialog = Defaults::standard().boolForKey(FrlshowCreateGBDialog);
    showWarningGBDialog = Defaults::standard().boolForKey(FrlshowWarningGBDialog);
    hasGarageBand3 = false;
    std::optional<std::string> version = getGBVersionString();
    if (!version)
        return;
    if (majorVersion(*version) >= 3) {
        hasGarageBand3 = true;
        return;
    }
    if (!showWarningGBDialog)
        return;
    AlertRequest request{FrlcreateInGarageBand,
                         FrloutdatedGarageBand1 + *version + FrloutdatedGarageBand2 +
                             FrloutdatedGarageBand3,
                         {FrlcontinueButton},
                         FrldontShowAgain,
                         true};
    if (!Alert::runAlert(request).checkbox)
        return;
    showWarningGBDialog = false;
    Defaults::standard().setBool(FrlshowWarningGBDialog, false);
    Defaults::standard().synchronize();
}

void AppController::create(Gtk::Widget*) {
    std::string project = getGarageBandPathForCurrentSelection();
    if (project.empty())
        return;
    pauseIfPlaying();
    if (!showCreateGBDialog) {
        launchFile(project, false);
        return;
    }
    AlertRequest request{FrlcreateInGarageBand,
                         std::string(FrlsaveWarning1) + FrlsaveWarning2 + FrlsaveWarning3,
                         {FrlcontinueButton},
                         FrldontShowAgain,
                         true,
                         true};
    Alert::beginNumberedSheet(mainWindow.get(), request, [this](int returnCode, bool checked) {
        gbAlertDidEnd(returnCode, checked);
    });
}

void AppController::gbAlertDidEnd(int returnCode, std::optional<bool> contextInfo) {
    if (returnCode != Alert::firstButtonReturn)
        return;
    if (contextInfo.value_or(false) && showCreateGBDialog) {
        showCreateGBDialog = false;
        Defaults::standard().setBool(FrlshowCreateGBDialog, false);
        Defaults::standard().synchronize();
    }
    launchFile(getGarageBandPathForCurrentSelection(), false);
}

void AppController::exportForiPod(Gtk::Widget*) {
    std::string portable = getiPodPathForCurrentSelection();
    if (portable.empty())
        return;
    pauseIfPlaying();
    callAddToiTunes(FrlprocessItemsHandler, portable);
}

void AppController::download(Gtk::Widget*) {
    std::string path = getCurrentSelectionPath();
    if (path.empty())
        return;
    pauseIfPlaying();
    if (!QTMovie::canInitWithFile(path))
        return;
    FrlQTMovie movie;
    if (!movie.initWithFile(path, nullptr))
        return;
    if (std::optional<std::string> album = movie.getAlbumAnnotation())
        callAddToiTunes(FrlopenURLHandler, *album);
}

bool AppController::selectionHasAlbum() const {
    std::string path = getCurrentSelectionPath();
    FrlQTMovie movie;
    return !path.empty() && QTMovie::canInitWithFile(path) && movie.initWithFile(path, nullptr) &&
           movie.getAlbumAnnotation().has_value();
}

void AppController::callAddToiTunes(const std::string& handler, const std::string& withFileName) {
    std::string script = Resources::pathForResource(FrlscriptName, "");
    if (script.empty())
        return;
    gchar* lowered = g_ascii_strdown(handler.c_str(), -1);
    std::vector<std::string> argv = {script, lowered, withFileName};
    g_free(lowered);
    // The script runs on its own and GLib reaps it; its answer is not needed.
    try {
        Glib::spawn_async(
            {}, argv, Glib::SpawnFlags::STDOUT_TO_DEV_NULL | Glib::SpawnFlags::STDERR_TO_DEV_NULL);
    } catch (const Glib::Error& error) {
        g_message("%s could not be run: %s", script.c_str(), error.what());
    }
}

void AppController::exportFile(Gtk::Widget*) {
    std::string path = getCurrentSelectionPath();
    if (path.empty())
        return;
    pauseIfPlaying();
    if (exportDialog && exportDialog->isExporting()) {
        exportDialog->present();
        return;
    }
    FrlQTMovie movie;
    if (!movie.initWithFile(path, nullptr) || movie.isStillImage())
        return;
    QTMovieSize size = movie.naturalSize();
    exportDialog = std::make_unique<ExportDialog>(
        mainWindow.get(), path, static_cast<int>(size.width), static_cast<int>(size.height));
    exportDialog->signalExported().connect(
        [this](const std::string& exported) { showExportedFile(exported); });
    exportDialog->present();
}

void AppController::showExportedFile(const std::string& path) {
    std::string selection = getCurrentSelectionPath();
    namespace fs = std::filesystem;
    if (appMode != browseMode || selection.empty() ||
        fs::path(path).parent_path() != fs::path(selection).parent_path())
        return;
    // The listed folder gains the new file; the lesson stays selected and shown, title and all.
    Glib::ustring title = mainWindow->get_title();
    browserSingleClick(fsBrowser);
    for (std::size_t row = 0; lastVisNodes && row < lastVisNodes->size(); ++row)
        if ((*lastVisNodes)[row]->absolutePath() == selection)
            selectFileListRow(static_cast<int>(row));
    mainWindow->set_title(title);
}

void AppController::connectCompanionControls() {
    createButton->signal_clicked().connect([this] { create(createButton); });
    iPodButton->signal_clicked().connect([this] { exportForiPod(iPodButton); });
    albumButton->signal_clicked().connect([this] { download(albumButton); });
}

void AppController::enableCompanionControls() {
    createButton->set_sensitive(hasGarageBand3 && !getGarageBandPathForCurrentSelection().empty());
    iPodButton->set_sensitive(!getiPodPathForCurrentSelection().empty());
    albumButton->set_sensitive(selectionHasAlbum());
}
