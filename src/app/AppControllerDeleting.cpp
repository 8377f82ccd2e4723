#include "app/AppController.h"

#include "download/DownloadConstants.h"
#include "download/DownloadController.h"
#include "platform/Paths.h"
#include "platform/ui/Alert.h"

#include <filesystem>
#include <gtkmm/applicationwindow.h>

namespace {

const char* const FrldeleteTitle = "Delete";
const char* const FrldeleteWhileDownloading1 =
    "You can't delete a file while it is being downloaded. ";
const char* const FrldeleteWhileDownloading2 =
    "You must first pause the download by using the 'Pause Download' ";
const char* const FrldeleteWhileDownloading3 =
    "command under the File menu (Command-R), and then delete the file.";

std::string resolveSymlinks(const std::string& path) {
    std::error_code error;
    auto resolved = std::filesystem::weakly_canonical(path, error);
    return error ? path : resolved.string();
}

bool refuseWhileDownloading(DownloadController& downloads, const std::string& path) {
    if (!downloads.fileIsDownloading(path))
        return false;
    Alert::runAlertPanel(FrldeleteTitle,
                         std::string(FrldeleteWhileDownloading1) + FrldeleteWhileDownloading2 +
                             FrldeleteWhileDownloading3,
                         "OK");
    return true;
}

} // namespace

void AppController::deleteFile(Gtk::Widget*) {
    std::string selection = getCurrentSelectionPath();
    if (selection.empty())
        return;
    pauseIfPlaying();
    std::string path = resolveSymlinks(selection);
    std::string name = std::filesystem::path(path).filename().string();
    std::string title =
        Paths::displayName(std::filesystem::path(name).replace_extension().string());
    auto& downloads = DownloadController::sharedInstance(this);
    if (refuseWhileDownloading(downloads, path))
        return;
    if (Alert::runAlertPanel(FrldeleteTitle, "Confirm deletion of '" + title + "' ?", "Delete",
                             "Cancel") != Alert::defaultReturn)
        return;
    // The worker may have reached this lesson while the question was open.
    if (refuseWhileDownloading(downloads, path))
        return;
    if (downloads.fileIsPartial(path))
        downloads.deletePartialFile(path);
    else if (DownloadController::fileIsEmpty(path))
        downloads.deleteEmptyFile(path);
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
        std::filesystem::remove_all(path, error);
        if (error) {
            Alert::beginAlertSheet(mainWindow.get(),
                                   {FrldeleteTitle, "Deletion was not successful.", {}, {}, true},
                                   nullptr);
            return;
        }
    }
    std::string link =
        Paths::expandTilde(FrlpurchasesFolder) + "/" + FrldownloadsFolder + "/" + name;
    std::filesystem::remove(link, error);
    refreshBrowserView(true);
}
