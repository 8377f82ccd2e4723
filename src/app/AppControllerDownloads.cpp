#include "app/AppController.h"

#include "download/DownloadConstants.h"
#include "download/DownloadController.h"
#include "platform/MainThread.h"
#include "platform/Paths.h"
#include "platform/StoreHost.h"
#include "platform/ui/Alert.h"

#include <algorithm>
#include <filesystem>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/columnview.h>
#include <gtkmm/label.h>
#include <gtkmm/progressbar.h>

#include "drawing/FrameView.h"
#include "platform/ui/TableView.h"

namespace {

const char* const FrldownloadXMLPath = "/downloadStore/download.php?";
const char* const FrlxmlFileExt = "xml";
const char* const FrldownloadingMessage = "Downloading:";

} // namespace

void AppController::resumeDownloads() {
    auto& downloads = DownloadController::sharedInstance(this);
    if (!downloads.checkForResumption()) {
        downloads.startDownloader();
        return;
    }
    AlertRequest request{"Fretlark Download Store",
                         "You have incomplete downloads. Do you wish to resume now?",
                         {"Resume", "Later"},
                         {},
                         false};
    Alert::beginAlertSheet(mainWindow.get(), request,
                           [this](int returnCode) { resumeSheetDidDismiss(returnCode); });
}

void AppController::resumeSheetDidDismiss(int returnCode) {
    if (returnCode != Alert::defaultReturn)
        return;
    auto& downloads = DownloadController::sharedInstance(this);
    downloads.startResumption();
    resultsView->deselectAll();
    downloads.startDownloader();
}

bool AppController::canPauseDownloads() const {
    return DownloadController::sharedInstance(const_cast<AppController*>(this)).canPauseDownloads();
}

void AppController::toggleDownload(Gtk::Widget*) {
    auto& downloads = DownloadController::sharedInstance(this);
    if (downloads.canPauseDownloads()) {
        downloads.pauseDownloads();
        return;
    }
    if (downloads.checkForResumption())
        downloads.startResumption();
    downloads.startDownloader();
}

bool AppController::beginDownload(const std::string& query) {
    std::string url = StoreHost::url(FrldownloadXMLPath) + query;
    std::string path = outputPathForURLString(url);
    if (path.empty())
        return false;
    // A second hand-off replaces the first: its transfer stops and its partial file goes.
    if (downloader) {
        downloader.reset();
        std::error_code ignored;
        std::filesystem::remove(outputPath, ignored);
    }
    outputPath = path;
    downloader = Transfer::start(url, *this, std::chrono::seconds(60));
    if (!downloader)
        return false;
    downloader->setDeletesFileUponFailure(true);
    return true;
}

std::string AppController::outputPathForURLString(const std::string& urlString) {
    std::string cacheFolder = DownloadController::sharedInstance(nullptr).cacheDirectoryPath(true);
    std::string name = urlString.substr(urlString.find_last_of('/') + 1);
    if (auto question = name.find('?'); question != std::string::npos)
        name = name.substr(question + 1);
    if (name.empty() || name == "." || name == "..")
        return {};
    return cacheFolder + "/" + FrldownloadWorkFolder + "/" + name + "." + FrlxmlFileExt;
}

void AppController::decideDestinationWithSuggestedFilename(Transfer& download, const std::string&) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(outputPath).parent_path(), ignored);
    download.setDestination(outputPath, true);
}

void AppController::downloadDidFinish(Transfer& download) {
    // The transfer is let go once its own callback has returned.
    Transfer* finished = &download;
    lifetime.post([this, finished] {
        if (downloader.get() == finished)
            downloader.reset();
    });
    DownloadController::sharedInstance(this).addDownload(outputPath);
    refreshBrowserView(false);
}

void AppController::startDownloadProgress(const std::string& path) {
    downloadBar->set_fraction(0);
    downloadBar->show();
    downloadFrame->show();
    downloadStatus->show();
    downloadStatus->set_text(std::string(FrldownloadingMessage) + " " +
                             Paths::displayName(Paths::stringByDeletingPathExtension(
                                 std::filesystem::path(path).filename().string())));
    refreshBrowserView(false);
}

void AppController::updateDownloadProgress(double percent) {
    downloadBar->set_fraction(std::clamp(percent, 0.0, 100.0) / 100.0);
}

void AppController::endDownloadProgress() {
    downloadBar->set_fraction(0);
    downloadBar->hide();
    downloadFrame->hide();
    downloadStatus->set_text("");
    downloadStatus->hide();
    refreshBrowserView(false);
}
