#include "download/DownloadController.h"

#include "platform/movie/MovieAnnotations.h"

#include "download/DownloadConstants.h"
#include "platform/MainThread.h"
#include "platform/Paths.h"
#include "platform/data/PropertyList.h"
#include "platform/net/RunLoop.h"

#include <filesystem>
#include <glib.h>
#include <strings.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::unique_ptr<DownloadController> sharedController;
// The progress bar cannot show more than about this many changes a second.
constexpr std::int64_t progressInterval = G_USEC_PER_SEC / 60;

void createFolder(const std::string& path) {
    std::error_code ignored;
    fs::create_directories(path, ignored);
}

bool hasMovieExtension(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    return strcasecmp(extension.c_str(), ".mov") == 0;
}

} // namespace

DownloadController& DownloadController::sharedInstance(DownloadProgressDelegate* appController) {
    MainThread::assertCurrent("DownloadController::sharedInstance");
    if (!sharedController)
        sharedController = std::make_unique<DownloadController>(appController);
    return *sharedController;
}

void DownloadController::uninitialize() {
    MainThread::assertCurrent("DownloadController::uninitialize");
    sharedController.reset();
}

DownloadController::DownloadController(DownloadProgressDelegate* appController)
    : _appController(appController), _episodes(std::make_unique<ThreadSafeQueue>()) {
    _pathToPurchases = Paths::expandTilde(FrlpurchasesFolder);
    _pathToDownloads = _pathToPurchases + "/" + FrldownloadsFolder;
}

DownloadController::~DownloadController() {
    if (_hasDownloadThread)
        requestStop();
    if (_downloadThread.joinable())
        _downloadThread.join();
    _episodes.reset();
}

// Paths

std::string DownloadController::cacheDirectoryPath(bool create) const {
    std::string path = Paths::cachesDirectory() + "/" + FrldownloadCacheName;
    if (create)
        createFolder(path);
    return path;
}

std::string DownloadController::cacheWorkDirectoryPath(bool create) const {
    std::string path = cacheDirectoryPath(create) + "/" + FrldownloadWorkFolder;
    if (create)
        createFolder(path);
    return path;
}

std::string DownloadController::cacheFileNameForEpisode(const std::string& fileName) const {
    return cacheWorkDirectoryPath(true) + "/" + EpisodeRecord::deletingPathExtension(fileName) +
           "." + FrlplistFileExt;
}

std::string DownloadController::freeRecordPath(const EpisodeRecord& record) const {
    std::string preferred = cacheFileNameForEpisode(record.value(FrlAttributeFilename));
    std::string stem =
        preferred.substr(0, preferred.size() - std::string(FrlplistFileExt).size() - 1);
    std::string cacheFolder = cacheDirectoryPath(false);
    // A name is taken by a queued record or by the resumption record of a paused lesson.
    auto isFree = [&](const std::string& path) {
        std::error_code error;
        return !fs::exists(fs::symlink_status(path, error)) &&
               !fs::exists(fs::symlink_status(
                   cacheFolder + "/" + fs::path(path).filename().string(), error));
    };
    std::string candidate = preferred;
    for (int number = 2; !isFree(candidate); ++number)
        candidate = stem + " " + std::to_string(number) + "." + FrlplistFileExt;
    return candidate;
}

std::string DownloadController::fullPathToDownload(const EpisodeRecord& record) const {
    return _pathToPurchases + "/" + record.relativeLibraryPath();
}

std::optional<std::string> DownloadController::fullPathToFile() const {
    std::lock_guard<std::mutex> held(gFilePathLock);
    return _fullPathToFile;
}

void DownloadController::setFullPathToFile(std::optional<std::string> path) {
    std::string canonical = path ? canonicalPath(*path) : std::string();
    std::lock_guard<std::mutex> held(gFilePathLock);
    _fullPathToFile = std::move(path);
    _canonicalPathToFile = std::move(canonical);
}

// Status queries

bool DownloadController::fileIsDownloading(const std::string& path) const {
    std::string canonical = canonicalPath(path);
    std::lock_guard<std::mutex> held(gFilePathLock);
    return _fullPathToFile && strcasecmp(_canonicalPathToFile.c_str(), canonical.c_str()) == 0;
}

std::string DownloadController::canonicalPath(const std::string& path) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(path, error);
    return error ? fs::path(path).lexically_normal().string() : canonical.string();
}

bool DownloadController::fileIsEmpty(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) != 0 || info.st_size == 0;
}

// The worker

void DownloadController::startDownloader() {
    MainThread::assertCurrent("DownloadController::startDownloader");
    if (_hasDownloadThread)
        return;
    if (_downloadThread.joinable())
        _downloadThread.join();
    _cachedBrokenFileName.reset();
    _hasDownloadThread = true;
    _downloadThread = std::thread([this] { downloadThread(); });
}

bool DownloadController::shouldQuitDownloads() const {
    std::lock_guard<std::mutex> held(gQuitLock);
    return _shouldQuitDownloads;
}

void DownloadController::downloadThread() {
    {
        RunLoop runLoop;
        {
            std::lock_guard<std::mutex> held(gQuitLock);
            _runLoop = &runLoop;
        }
        for (;;) {
            std::string recordPath = _episodes->dequeue();
            if (shouldQuitDownloads() || recordPath == FrlquitString)
                break;
            if (!downloadItem(recordPath))
                break;
        }
        endWorker();
    }
    _hasDownloadThread = false;
}

bool DownloadController::downloadItem(const std::string& recordPath) {
    _downloadSuccess = false;
    // A record deleted while queued (its lesson was deleted) or one that is not ours is skipped.
    auto record = EpisodeRecord::readFromFile(recordPath);
    std::string libraryPath = record ? fullPathToDownload(*record) : std::string();
    if (record)
        transferEpisode(*record, libraryPath);
    if (_resumeDownload) {
        _resumeDownload = false;
        std::error_code ignored;
        fs::remove(cacheDirectoryPath(false) + "/" + FrlresumeDataFilename, ignored);
    }
    if (_downloadSuccess) {
        std::error_code ignored;
        fs::remove(recordPath, ignored);
    } else if (record && shouldQuitDownloads()) {
        pauseItem(recordPath, libraryPath);
        return false;
    }
    // Also when no transfer could be made: no lesson stays marked as downloading.
    setFullPathToFile(std::nullopt);
    _currentEpisode.reset();
    return true;
}

// Runs one lesson's transfer, fresh or continued, until it ends or a pause stops the run loop.
void DownloadController::transferEpisode(const EpisodeRecord& record,
                                         const std::string& libraryPath) {
    setFullPathToFile(libraryPath);
    _currentEpisode = record;
    if (!_resumeDownload)
        downloadEpisode(record);
    else if (attemptResumePartialDownload(libraryPath))
        postStartDownloadProgress(libraryPath);
    else
        downloadEpisode(record);
    if (_download)
        _runLoop->run();
}

void DownloadController::pauseItem(const std::string& recordPath, const std::string& libraryPath) {
    cancelDownload();
    writeResumptionRecord(recordPath, libraryPath);
    setDownloading(false);
    setFullPathToFile(std::nullopt);
    _currentEpisode.reset();
}

void DownloadController::endWorker() {
    _episodes->cleanQueue();
    std::lock_guard<std::mutex> held(gQuitLock);
    _shouldQuitDownloads = false;
    _runLoop = nullptr;
}

void DownloadController::downloadEpisode(const EpisodeRecord& record) {
    _download = Transfer::start(record.value(FrlAttributeLink), *this);
    if (!_download)
        return;
    _download->setDeletesFileUponFailure(false);
    setDownloading(true);
}

void DownloadController::setDownloading(bool downloading) {
    if (downloading == _isDownloading)
        return;
    if (!downloading) {
        postEndDownloadProgress();
        // Destroying a transfer inside its own callback is safe: it only stops further callbacks.
        _download.reset();
        setFullPathToFile(std::nullopt);
        _receivedContentLength = 0;
        _expectedContentLength = 0;
        _lastProgressPost = 0;
    }
    _isDownloading = downloading;
}

// Transfer callbacks

void DownloadController::decideDestinationWithSuggestedFilename(Transfer& download,
                                                                const std::string&) {
    auto path = fullPathToFile();
    if (!path)
        return;
    download.setDestination(*path, true);
    postStartDownloadProgress(*path);
}

void DownloadController::didReceiveResponse(Transfer&, const TransferResponse& response) {
    _expectedContentLength = response.expectedContentLength;
    if (_expectedContentLength > 0)
        _receivedContentLength = 0;
}

void DownloadController::didReceiveDataOfLength(Transfer&, std::uint32_t length) {
    if (_expectedContentLength <= 0)
        return;
    _receivedContentLength += length;
    std::int64_t now = g_get_monotonic_time();
    bool complete = _receivedContentLength >= _expectedContentLength;
    if (!complete && now - _lastProgressPost < progressInterval)
        return;
    _lastProgressPost = now;
    postUpdateDownloadProgress(static_cast<double>(_receivedContentLength) /
                               static_cast<double>(_expectedContentLength) * 100.0);
}

void DownloadController::didFailWithError(Transfer&, const std::string&) {
    setDownloading(false);
    _runLoop->stop();
}

void DownloadController::downloadDidFinish(Transfer&) {
    if (auto path = fullPathToFile(); path && hasMovieExtension(*path))
        annotateMovie(*path);
    _downloadSuccess = true;
    setDownloading(false);
    _runLoop->stop();
}

void DownloadController::annotateMovie(const std::string& path) const {
    if (!_currentEpisode)
        return;
    std::unique_ptr<MovieAnnotations> movie = MovieAnnotations::open(path);
    if (!movie)
        return;
    movie->setComment(_currentEpisode->commentAnnotation());
    if (movie->setDescription(_currentEpisode->descriptionAnnotation()))
        movie->save();
}

// Notifications

void DownloadController::postStartDownloadProgress(const std::string& path) {
    _lifetime.post([target = _appController, path] {
        if (target)
            target->startDownloadProgress(path);
    });
}

void DownloadController::postUpdateDownloadProgress(double percent) {
    _lifetime.post([target = _appController, percent] {
        if (target)
            target->updateDownloadProgress(percent);
    });
}

void DownloadController::postEndDownloadProgress() {
    _lifetime.post([target = _appController] {
        if (target)
            target->endDownloadProgress();
    });
}
