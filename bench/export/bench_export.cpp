// Export speed of a 60-second 720p lesson (H.264 and AAC, 30 fps), as a multiple of real time,
// against ffmpeg doing the same conversion in the same run. ffmpeg on Debian has no OpenH264
// encoder, so its H.264 is libx264 at the same bitrate as ours, with its veryfast and its
// ultrafast preset (the speed class of OpenH264's low complexity).
#include "../../tests/unit/movie/MovieMedia.h"

#include "export/MovieExporter.h"
#include "platform/MainThread.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double lessonSeconds = 60;

class Waiter : public MovieExportDelegate {
public:
    void exportProgress(double, double) override {}
    void exportDidEnd(ExportResult outcome, const std::string& text) override {
        result = outcome;
        detail = text;
        ended = true;
    }
    bool ended = false;
    ExportResult result = ExportResult::failed;
    std::string detail;
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double ours(const ExportSettings& settings) {
    Waiter waiter;
    MovieExporter exporter(&waiter);
    std::string error;
    auto start = Clock::now();
    if (exporter.start(settings, &error))
        spinUntil([&] { return waiter.ended; }, 30min);
    if (waiter.result == ExportResult::finished)
        return secondsSince(start);
    std::fprintf(stderr, "export failed: %s\n",
                 error.empty() ? waiter.detail.c_str() : error.c_str());
    return 0;
}

double ffmpeg(const std::string& source, const std::vector<std::string>& codecs,
              const std::string& output) {
    std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-y", "-i", source};
    argv.insert(argv.end(), codecs.begin(), codecs.end());
    argv.push_back(output);
    auto start = Clock::now();
    return MovieMedia::run(argv) ? secondsSince(start) : 0;
}

void report(const char* what, double ourSeconds, double peerSeconds) {
    std::printf("  %-22s ours %6.1f× real time (%5.1f s), ffmpeg %6.1f× (%5.1f s), ratio %.2f\n",
                what, lessonSeconds / ourSeconds, ourSeconds, lessonSeconds / peerSeconds,
                peerSeconds, peerSeconds / ourSeconds);
}

} // namespace

int main() {
    MainThread::adopt();
    std::string source = MovieMedia::lesson(
        {.seconds = lessonSeconds, .width = 1280, .height = 720, .keyframeInterval = 60});
    std::string out = MovieMedia::folder();
    const ExportFormat& mp4 = ExportFormat::withId(ExportFormatId::mp4);
    const ExportFormat& mp3 = ExportFormat::withId(ExportFormatId::mp3);
    auto quality = ExportQuality::balanced;
    std::string videoBitrate = std::to_string(mp4.videoBitrate(quality, 1280, 720, 30));
    std::string aacBitrate = std::to_string(mp4.audioBitrate(quality));
    std::string mp3Bitrate = std::to_string(mp3.audioBitrate(quality));

    std::printf("60-second 720p lesson, H.264 %s bit/s video\n", videoBitrate.c_str());
    double ourMp4 = ours({source, out + "/ours.mp4", ExportFormatId::mp4, quality, 100});
    for (const char* preset : {"veryfast", "ultrafast"}) {
        std::string label = std::string("MP4, x264 ") + preset;
        report(label.c_str(), ourMp4,
               ffmpeg(source,
                      {"-c:v", "libx264", "-preset", preset, "-b:v", videoBitrate, "-c:a", "aac",
                       "-b:a", aacBitrate},
                      out + "/ffmpeg.mp4"));
    }
    report("MP3", ours({source, out + "/ours.mp3", ExportFormatId::mp3, quality, 100}),
           ffmpeg(source, {"-vn", "-c:a", "libmp3lame", "-b:a", mp3Bitrate}, out + "/ffmpeg.mp3"));
    report("MP3 at 75 % speed",
           ours({source, out + "/ours75.mp3", ExportFormatId::mp3, quality, 75}),
           ffmpeg(source, {"-vn", "-af", "atempo=0.75", "-c:a", "libmp3lame", "-b:a", mp3Bitrate},
                  out + "/ffmpeg75.mp3"));
    return 0;
}
