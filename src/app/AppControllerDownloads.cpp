#include "app/AppController.h"

#include "download/DownloadConstants.h"
#include "download/DownloadController.h"
#include "platform/MainThread.h"
#include "platform/Paths.h"
#include "platform/StoreHost.h"
#include "platform/ui/Alert.h"
#include "store/StoreConstants.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <glib.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/columnview.h>
#include <gtkmm/label.h>
#include <gtkmm/progressbar.h>

#include "drawing/FrameView.h"
#include "platform/ui/TableView.h"

namespace {

const char* const FrldownloadHeaderName = "Download";
const char* const FrlxmlFileExt = "xml";
const char* const FrldownloadingMessage = "Downloading:";
// A download description is a few kilobytes; a server sending more is not a store.
constexpr std::int64_t descriptionSizeLimit = 16 * 1024 * 1024;

// A URL holds only the characters URLs may hold, its escapes complete, and names a host.
bool isValidStoreURL(const std::string& url) {
    for (std::size_t i = 0; i < url.size(); ++i) {
        auto c = static_cast<unsigned char>(url[i]);
        if (c == '%' &&
            (i + 2 >= url.size() || !g_ascii_isxdigit(url[i + 1]) || !g_ascii_isxdigit(url[i + 2])))
            return false;
        if (c == 0 || (!g_ascii_isalnum(c) && !std::strchr("-._~:/?#[]@!$&'()*+,;=%", c)))
            return false;
    }
    GUri* parsed = g_uri_parse(url.c_str(), G_URI_FLAGS_ENCODED, nullptr);
    if (!parsed)
        return false;
    bool valid = g_uri_get_host(parsed) && *g_uri_get_host(parsed);
    g_uri_unref(parsed);
    return valid;
}

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

// The first header named "Download", in any letter case, of the main frame's response.
std::optional<std::string> AppController::findDownloadHeaders(WebView*) {
    for (const auto& [name, value] : webView->mainResourceHeaders())
        if (g_ascii_strcasecmp(name.c_str(), FrldownloadHeaderName) == 0)
            return value;
    return std::nullopt;
}

bool AppController::beginDownload(const std::string& query) {
    std::string url = StoreHost::url(FrldownloadXMLURL) + query;
    // Nothing in progress is given up for a hand-off that cannot start.
    if (!isValidStoreURL(url))
        return false;
    std::string path = outputPathForURLString(url);
    if (path.empty())
        return false;
    // A second hand-off replaces the first: its transfer stops and its partial file goes.
    cancelDescriptionTransfer();
    outputPath = path;
    descriptionBytes = 0;
    ++descriptionGeneration;
    downloader = Transfer::start(url, *this, std::chrono::seconds(60));
    if (!downloader)
        return false;
    downloader->setDeletesFileUponFailure(true);
    return true;
}

void AppController::cancelDescriptionTransfer() {
    if (!downloader)
        return;
    downloader.reset();
    std::error_code ignored;
    std::filesystem::remove(outputPath, ignored);
}

// The download controller made here reports its progress to this controller, whichever of its
// users comes first.
std::string AppController::outputPathForURLString(const std::string& urlString) {
    std::string cacheFolder = DownloadController::sharedInstance(this).cacheDirectoryPath(true);
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

void AppController::didReceiveResponse(Transfer&, const TransferResponse& response) {
    if (response.expectedContentLength > descriptionSizeLimit)
        cancelDescriptionTransfer();
}

void AppController::didReceiveDataOfLength(Transfer&, std::uint32_t length) {
    descriptionBytes += length;
    if (descriptionBytes > descriptionSizeLimit)
        cancelDescriptionTransfer();
}

void AppController::downloadDidFinish(Transfer&) {
    // The transfer is let go once its own callback has returned, unless a newer one replaced it.
    lifetime.post([this, finished = descriptionGeneration] {
        if (descriptionGeneration == finished)
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
