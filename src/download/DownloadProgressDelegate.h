#pragma once

#include <string>

// What the download engine tells the application controller. Every call arrives on the main
// thread, queued by the worker, which never waits for it.
class DownloadProgressDelegate {
public:
    virtual ~DownloadProgressDelegate() = default;
    // A transfer into this library path has started (fresh or continued).
    virtual void startDownloadProgress(const std::string& path) = 0;
    // The share received so far, in percent; sent only when the size is known, not clamped.
    virtual void updateDownloadProgress(double percent) = 0;
    virtual void endDownloadProgress() = 0;
};
