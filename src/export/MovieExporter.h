#pragma once

#include "export/ExportSettings.h"
#include "export/MovieExportDelegate.h"
#include "platform/MainThread.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class ExportPipeline;
class PartialExportFile;

// Runs one export at a time on a worker thread of its own. The result is written into a
// temporary file beside the destination and renamed over it only when complete, so a cancelled
// or failed export leaves nothing behind and an existing file is replaced only by a finished one.
// Start, cancel and the delegate's calls all happen on the main thread.
class MovieExporter {
public:
    explicit MovieExporter(MovieExportDelegate* delegate);
    // Cancels a running export and waits for its thread.
    ~MovieExporter();
    MovieExporter(const MovieExporter&) = delete;
    MovieExporter& operator=(const MovieExporter&) = delete;

    // false and a sentence for the user when the export cannot begin (a busy exporter, an
    // unavailable format, a destination that cannot be written or that is the source itself).
    bool start(const ExportSettings& settings, std::string* error);
    void cancel();
    bool isRunning() const { return worker.joinable(); }

private:
    struct Outcome {
        ExportResult result;
        std::string detail;
    };
    void run(ExportSettings settings, std::shared_ptr<PartialExportFile> file);
    using Clock = std::chrono::steady_clock;
    Outcome encode(ExportPipeline& pipeline);
    void reportProgress(const ExportPipeline& pipeline, Clock::duration elapsed);
    void report(const Outcome& outcome);
    void post(std::function<void(MovieExportDelegate*)> call);

    MovieExportDelegate* delegate;
    std::thread worker;
    std::atomic<bool> cancelRequested{false};
    LifetimeToken lifetime;
};
