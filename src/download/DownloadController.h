#pragma once

#include "download/DownloadProgressDelegate.h"
#include "download/EpisodeRecord.h"
#include "download/ThreadSafeQueue.h"
#include "platform/MainThread.h"
#include "platform/net/Transfer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <thread>

class RunLoop;

// The download engine of the store library: a worker thread takes queued record files one at a
// time and downloads each lesson straight into its place under the Purchases folder; pausing
// keeps enough on disk to continue after a restart. Everything but the worker's own operations
// runs on the main thread.
class DownloadController : private TransferDelegate {
public:
    // Creates the controller on first use; later calls ignore their argument.
    static DownloadController& sharedInstance(DownloadProgressDelegate* appController);
    // Destroys the controller, stopping a running worker first.
    static void uninitialize();

    explicit DownloadController(DownloadProgressDelegate* appController);
    ~DownloadController() override;
    DownloadController(const DownloadController&) = delete;
    DownloadController& operator=(const DownloadController&) = delete;

    void startDownloader();
    bool canPauseDownloads() const { return _hasDownloadThread; }

    std::string cacheDirectoryPath(bool create) const;
    std::string cacheWorkDirectoryPath(bool create) const;
    std::string cacheFileNameForEpisode(const std::string& fileName) const;
    // The record file for a new episode: cacheFileNameForEpisode's name when no other episode
    // holds it, else the first free "{name} N.plist", so no two episodes share a record.
    std::string freeRecordPath(const EpisodeRecord& record) const;
    std::string fullPathToDownload(const EpisodeRecord& record) const;
    std::optional<std::string> fullPathToFile() const;
    const std::string& pathToPurchases() const { return _pathToPurchases; }
    const std::string& pathToDownloads() const { return _pathToDownloads; }

    // Both compare canonical paths ignoring case: a library reached through a symbolic link
    // (a linked home or Music folder, a Downloads link) answers like its target.
    bool fileIsDownloading(const std::string& path) const;
    static bool fileIsEmpty(const std::string& path);
    static std::string canonicalPath(const std::string& path);

    // Pausing and resumption.
    std::optional<std::string> fileNameForResumption() const;
    bool checkForResumption();
    void startResumption();
    void resumeDownloadsIfNeeded();
    void pauseDownloads();
    bool fileIsPartial(const std::string& path);
    bool deletePartialFile(const std::string& path);
    bool deleteEmptyFile(const std::string& path);

    // Download descriptions.
    void addDownload(const std::string& path);
    void queueDocument(const pugi::xml_node& root);
    bool createLinksForEpisode(const EpisodeRecord& record);
    std::string saveEpisodeToDisk(const EpisodeRecord& record);

private:
    // The worker.
    void downloadThread();
    // Answers false when the worker must take the pause path for this item.
    bool downloadItem(const std::string& recordPath);
    void transferEpisode(const EpisodeRecord& record, const std::string& libraryPath);
    void pauseItem(const std::string& recordPath, const std::string& libraryPath);
    void endWorker();
    void downloadEpisode(const EpisodeRecord& record);
    bool shouldQuitDownloads() const;
    void setDownloading(bool downloading);
    void setFullPathToFile(std::optional<std::string> path);
    void annotateMovie(const std::string& path) const;
    void cancelDownload();
    void storeResumeData();
    bool attemptResumePartialDownload(const std::string& path);
    bool resumePartialDownload(const std::string& path);
    void writeResumptionRecord(const std::string& recordPath, const std::string& libraryPath);
    void requestStop();

    // Transfer callbacks, on the worker thread.
    void decideDestinationWithSuggestedFilename(Transfer& download,
                                                const std::string& filename) override;
    void didReceiveResponse(Transfer& download, const TransferResponse& response) override;
    void didReceiveDataOfLength(Transfer& download, std::uint32_t length) override;
    void didFailWithError(Transfer& download, const std::string& error) override;
    void downloadDidFinish(Transfer& download) override;

    // Notifications, queued for the main thread.
    void postStartDownloadProgress(const std::string& path);
    void postUpdateDownloadProgress(double percent);
    void postEndDownloadProgress();

    DownloadProgressDelegate* _appController;
    RunLoop* _runLoop = nullptr;
    std::string _pathToDownloads;
    std::string _pathToPurchases;
    std::optional<EpisodeRecord> _currentEpisode;
    std::unique_ptr<Transfer> _download;
    std::int64_t _receivedContentLength = 0;
    std::int64_t _expectedContentLength = 0;
    // Monotonic time of the last progress notification, in microseconds.
    std::int64_t _lastProgressPost = 0;
    std::optional<std::string> _cachedBrokenFileName;
    bool _downloadSuccess = false;
    bool _resumeDownload = false;
    bool _isDownloading = false;
    std::unique_ptr<ThreadSafeQueue> _episodes;
    std::optional<std::string> _fullPathToFile;
    std::string _canonicalPathToFile;
    bool _shouldQuitDownloads = false;
    std::atomic<bool> _hasDownloadThread{false};

    // Guards _fullPathToFile and _canonicalPathToFile.
    mutable std::mutex gFilePathLock;
    // Guards _shouldQuitDownloads and _runLoop. Taken before the queue's lock when both are
    // needed, never after.
    mutable std::mutex gQuitLock;
    std::thread _downloadThread;
    // Notifications still queued when the controller goes are dropped.
    LifetimeToken _lifetime;
};
