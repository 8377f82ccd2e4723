// Pausing, continuing after a restart, and the leftovers of paused and unstarted lessons.
#include "download/DownloadController.h"

#include "download/DownloadConstants.h"
#include "platform/MainThread.h"
#include "platform/data/AtomicFile.h"
#include "platform/data/PropertyList.h"
#include "platform/net/RunLoop.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <strings.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Far larger than any resume data of ours.
constexpr std::size_t maximumResumeDataSize = 1 << 20;
// Names no real path, so every fileIsPartial question answers no.
const char* const noPartialFile = "_cachedBrokenFileName";

// Sorted by name so that the order of resumption does not depend on the file system.
std::vector<std::string> folderListing(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool hasPlistExtension(const std::string& name) {
    std::string::size_type dot = name.rfind('.');
    return dot != std::string::npos && dot != 0 && name.substr(dot + 1) == FrlplistFileExt;
}

void removeIfPresent(const std::string& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

} // namespace

std::optional<std::string> DownloadController::fileNameForResumption() const {
    for (const std::string& name : folderListing(cacheDirectoryPath(false))) {
        if (endsWith(name, FrlplistFileExt))
            return name;
    }
    return std::nullopt;
}

bool DownloadController::checkForResumption() {
    MainThread::assertCurrent("DownloadController::checkForResumption");
    if (_hasDownloadThread)
        return false;
    if (fileNameForResumption())
        return true;
    auto names = folderListing(cacheWorkDirectoryPath(true));
    return std::any_of(names.begin(), names.end(), hasPlistExtension);
}

void DownloadController::startResumption() {
    MainThread::assertCurrent("DownloadController::startResumption");
    if (_hasDownloadThread)
        return;
    std::string workFolder = cacheWorkDirectoryPath(true);
    std::string pausedRecord;
    if (auto name = fileNameForResumption()) {
        std::string resumptionRecord = cacheDirectoryPath(false) + "/" + *name;
        if (auto saved = PropertyList::read(resumptionRecord)) {
            if (auto expected = PropertyList::integerValue(*saved, FrlAttributeExpectedLength))
                _expectedContentLength = *expected;
            if (auto received = PropertyList::integerValue(*saved, FrlAttributeReceivedLength))
                _receivedContentLength = *received;
        }
        pausedRecord = workFolder + "/" + *name;
        _episodes->enqueue(pausedRecord);
        _resumeDownload = true;
        removeIfPresent(resumptionRecord);
    }
    for (const std::string& name : folderListing(workFolder)) {
        std::string path = workFolder + "/" + name;
        if (hasPlistExtension(name) && path != pausedRecord)
            _episodes->enqueue(path);
    }
}

void DownloadController::resumeDownloadsIfNeeded() {
    MainThread::assertCurrent("DownloadController::resumeDownloadsIfNeeded");
    if (_hasDownloadThread)
        return;
    if (checkForResumption())
        startResumption();
    startDownloader();
}

void DownloadController::requestStop() {
    std::lock_guard<std::mutex> held(gQuitLock);
    _shouldQuitDownloads = true;
    if (_runLoop)
        _runLoop->stop();
    _episodes->enqueue(FrlquitString);
}

void DownloadController::pauseDownloads() {
    MainThread::assertCurrent("DownloadController::pauseDownloads");
    if (!_hasDownloadThread)
        return;
    requestStop();
    while (_hasDownloadThread)
        RunLoop::runMainContextFor(std::chrono::milliseconds(100));
    _downloadThread.join();
}

void DownloadController::cancelDownload() {
    if (!_download)
        return;
    _download->cancel();
    storeResumeData();
}

// A pause that gives no resume data also removes older data, which belongs to another transfer.
void DownloadController::storeResumeData() {
    std::string data = _download->resumeData();
    std::string path = cacheDirectoryPath(true) + "/" + FrlresumeDataFilename;
    removeIfPresent(path);
    if (!data.empty())
        AtomicFile::write(path, data);
}

void DownloadController::writeResumptionRecord(const std::string& recordPath,
                                               const std::string& libraryPath) {
    std::string path = cacheDirectoryPath(true) + "/" + fs::path(recordPath).filename().string();
    PropertyList::writeAtomically(path, {{FrlAttributeExpectedLength, _expectedContentLength},
                                         {FrlAttributeReceivedLength, _receivedContentLength},
                                         {FrlAttributeSavedFilename, libraryPath}});
}

bool DownloadController::attemptResumePartialDownload(const std::string& path) {
    if (resumePartialDownload(path))
        return true;
    removeIfPresent(path);
    _receivedContentLength = 0;
    _expectedContentLength = 0;
    return false;
}

bool DownloadController::resumePartialDownload(const std::string& path) {
    auto data = AtomicFile::read(cacheDirectoryPath(false) + "/" + FrlresumeDataFilename,
                                 maximumResumeDataSize);
    if (!data || data->empty())
        return false;
    // Resume data continues only the lesson it was saved for.
    if (!_currentEpisode ||
        Transfer::resumeDataLink(*data) != _currentEpisode->value(FrlAttributeLink))
        return false;
    _download = Transfer::resume(*data, *this, path);
    if (!_download)
        return false;
    _download->setDeletesFileUponFailure(false);
    setDownloading(true);
    return true;
}

bool DownloadController::fileIsPartial(const std::string& path) {
    MainThread::assertCurrent("DownloadController::fileIsPartial");
    if (_hasDownloadThread)
        return false;
    if (!_cachedBrokenFileName) {
        _cachedBrokenFileName = noPartialFile;
        if (auto name = fileNameForResumption()) {
            auto saved = PropertyList::read(cacheDirectoryPath(false) + "/" + *name);
            auto savedFilename =
                saved ? PropertyList::stringValue(*saved, FrlAttributeSavedFilename) : std::nullopt;
            if (savedFilename)
                _cachedBrokenFileName = canonicalPath(*savedFilename);
        }
    }
    return strcasecmp(_cachedBrokenFileName->c_str(), canonicalPath(path).c_str()) == 0;
}

bool DownloadController::deletePartialFile(const std::string&) {
    MainThread::assertCurrent("DownloadController::deletePartialFile");
    if (_hasDownloadThread)
        return false;
    auto name = fileNameForResumption();
    if (!name)
        return false;
    removeIfPresent(cacheDirectoryPath(false) + "/" + *name);
    removeIfPresent(cacheWorkDirectoryPath(false) + "/" + *name);
    removeIfPresent(cacheDirectoryPath(false) + "/" + FrlresumeDataFilename);
    return true;
}

// Records are found by the lesson they describe: two lessons may share a base name, and a record
// then has a name of its own.
bool DownloadController::deleteEmptyFile(const std::string& path) {
    std::string title = EpisodeRecord::deletingPathExtension(fs::path(path).filename().string());
    if (title.empty())
        return false;
    std::string lesson = canonicalPath(path);
    std::string workFolder = cacheWorkDirectoryPath(false);
    for (const std::string& name : folderListing(workFolder)) {
        auto record = hasPlistExtension(name) ? EpisodeRecord::readFromFile(workFolder + "/" + name)
                                              : std::nullopt;
        if (record && canonicalPath(fullPathToDownload(*record)) == lesson)
            removeIfPresent(workFolder + "/" + name);
    }
    return true;
}
