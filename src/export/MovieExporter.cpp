#include "export/MovieExporter.h"

#include "export/ExportPipeline.h"
#include "export/MovieExportDelegate.h"
#include "export/PartialExportFile.h"
#include "platform/MainThread.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>

namespace {

constexpr GstClockTime pollInterval = 100 * GST_MSECOND;
constexpr auto progressInterval = std::chrono::milliseconds(250);
constexpr auto startLimit = std::chrono::seconds(20);

bool sameFile(const std::string& first, const std::string& second) {
    std::error_code error;
    return std::filesystem::equivalent(first, second, error);
}

// Elapsed time scaled by what is left; nothing until there is enough done to judge by.
double secondsLeft(double fraction, std::chrono::steady_clock::duration elapsed) {
    double seconds = std::chrono::duration<double>(elapsed).count();
    if (fraction < 0.02 || seconds < 1.0)
        return -1;
    return seconds * (1.0 - fraction) / fraction;
}

} // namespace

MovieExporter::MovieExporter(MovieExportDelegate* target) : delegate(target) {}

MovieExporter::~MovieExporter() {
    cancel();
    if (worker.joinable())
        worker.join();
}

bool MovieExporter::start(const ExportSettings& settings, std::string* error) {
    MainThread::assertCurrent("MovieExporter::start");
    if (worker.joinable()) {
        *error = "An export is already running.";
        return false;
    }
    std::string reason = ExportFormat::withId(settings.format).unavailableReason();
    if (!reason.empty()) {
        *error = reason;
        return false;
    }
    if (sameFile(settings.sourcePath, settings.destinationPath)) {
        *error = "The export cannot replace the lesson it is made from. Choose another name or "
                 "folder.";
        return false;
    }
    auto file = std::make_shared<PartialExportFile>();
    if (!file->create(settings.destinationPath, error))
        return false;
    cancelRequested = false;
    worker = std::thread([this, settings, file] { run(settings, file); });
    return true;
}

void MovieExporter::cancel() {
    cancelRequested = true;
}

void MovieExporter::run(ExportSettings settings, std::shared_ptr<PartialExportFile> file) {
    Outcome outcome{ExportResult::failed, {}};
    {
        ExportPipeline pipeline(settings, file->path());
        if (pipeline.build(&outcome.detail))
            outcome = encode(pipeline);
    }
    if (outcome.result == ExportResult::finished && file->commit(&outcome.detail))
        outcome.detail = settings.destinationPath;
    else if (outcome.result == ExportResult::finished)
        outcome.result = ExportResult::failed;
    file->discard();
    report(outcome);
}

MovieExporter::Outcome MovieExporter::encode(ExportPipeline& pipeline) {
    GstRef<GstBus> bus = GstRef<GstBus>::adopt(pipeline.bus());
    Clock::time_point began = Clock::now();
    Clock::time_point reported = began;
    bool started = false;
    gst_element_set_state(pipeline.pipeline(), GST_STATE_PLAYING);
    auto wanted = GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE);
    for (;;) {
        GstRef<GstMessage> message =
            GstRef<GstMessage>::adopt(gst_bus_timed_pop_filtered(bus.get(), pollInterval, wanted));
        GstMessageType type = message ? GST_MESSAGE_TYPE(message.get()) : GST_MESSAGE_UNKNOWN;
        if (cancelRequested)
            return {ExportResult::cancelled, {}};
        if (type == GST_MESSAGE_EOS)
            break;
        if (type == GST_MESSAGE_ERROR)
            return {ExportResult::failed, pipeline.describeError(message.get())};
        started = started || type == GST_MESSAGE_ASYNC_DONE;
        // decodebin can swallow a demuxer's error while it sets the demuxer up, leaving a pipeline
        // that never starts: a file that does not start within the limit cannot be read.
        if (!started && Clock::now() - began > startLimit)
            return {ExportResult::failed, "The lesson could not be read: nothing in it can be "
                                          "decoded."};
        if (Clock::now() - reported >= progressInterval) {
            reported = Clock::now();
            reportProgress(pipeline, reported - began);
        }
    }
    // Closing the pipeline closes the file; only then is it complete.
    pipeline.stop();
    return {ExportResult::finished, {}};
}

void MovieExporter::reportProgress(const ExportPipeline& pipeline, Clock::duration elapsed) {
    std::int64_t duration = pipeline.sourceDuration();
    std::int64_t position = pipeline.sourcePosition();
    if (duration <= 0 || position < 0)
        return;
    double fraction = std::min(1.0, double(position) / double(duration));
    double left = secondsLeft(fraction, elapsed);
    post([fraction, left](MovieExportDelegate* target) { target->exportProgress(fraction, left); });
}

void MovieExporter::report(const Outcome& outcome) {
    post([this, outcome](MovieExportDelegate* target) {
        // The worker posts this as its very last act, so the join is immediate.
        if (worker.joinable())
            worker.join();
        target->exportDidEnd(outcome.result, outcome.detail);
    });
}

void MovieExporter::post(std::function<void(MovieExportDelegate*)> call) {
    lifetime.post([target = delegate, call = std::move(call)] {
        if (target)
            call(target);
    });
}
