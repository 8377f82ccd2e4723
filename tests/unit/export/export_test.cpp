#include "MovieMedia.h"
#include "TestEnvironment.h"

#include "export/MovieExporter.h"
#include "platform/MainThread.h"

#include <cmath>
#include <filesystem>
#include <gst/gst.h>
#include <numbers>
#include <sstream>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// ffprobe's view of a file: container name, its streams' codecs in order, and the lengths it
// knows: each stream's (where the container keeps them), then the whole file's.
struct Probe {
    std::string container;
    std::string codecs;
    std::vector<double> lengths;
};

Probe probe(const std::string& path) {
    std::string output;
    MovieMedia::run({"ffprobe", "-v", "error", "-show_entries",
                     "format=format_name,duration:stream=codec_name,duration", "-of",
                     "default=nw=1", path},
                    &output);
    Probe found;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::string value = line.substr(line.find('=') + 1);
        if (line.starts_with("codec_name="))
            found.codecs += (found.codecs.empty() ? "" : ",") + value;
        else if (line.starts_with("format_name="))
            found.container = value;
        else if (line.starts_with("duration=") && value != "N/A")
            found.lengths.push_back(std::atof(value.c_str()));
    }
    return found;
}

// The strongest frequency of one second of the sound from its middle, to a tenth of a hertz.
double dominantFrequency(const std::string& path, double middle) {
    constexpr int rate = 8000;
    std::string raw = path + ".raw";
    MovieMedia::run({"ffmpeg", "-v", "error", "-y", "-ss", std::to_string(middle - 0.5), "-i", path,
                     "-t", "1", "-ac", "1", "-ar", std::to_string(rate), "-f", "s16le", raw});
    std::string samples = MovieMedia::readFile(raw);
    fs::remove(raw);
    auto power = [&](double frequency) {
        double w = 2 * std::numbers::pi * frequency / rate, s1 = 0, s2 = 0;
        for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
            double x = std::int16_t(std::uint8_t(samples[i]) | samples[i + 1] << 8);
            double s0 = x + 2 * std::cos(w) * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        return s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
    };
    double best = 0;
    for (double step : {5.0, 0.1}) {
        double from = best ? best - 5 : 100, to = best ? best + 5 : 2000, found = from;
        for (double f = from; f <= to; f += step)
            found = power(f) > power(found) ? f : found;
        best = found;
    }
    return best;
}

class ExportTest : public FreshEnvironmentTest, public MovieExportDelegate {
protected:
    void SetUp() override {
        FreshEnvironmentTest::SetUp();
        MainThread::adopt();
        folder = root() + "/out";
        fs::create_directories(folder);
    }

    ExportSettings settings(ExportFormatId format, int speed, const std::string& name) {
        return {source, folder + "/" + name, format, ExportQuality::smaller, speed};
    }

    // Runs one export to its end; cancels it at its first progress report when asked to.
    ExportResult run(const ExportSettings& chosen, bool cancelEarly = false) {
        cancelAtProgress = cancelEarly;
        ended.reset();
        std::string error;
        EXPECT_TRUE(exporter.start(chosen, &error)) << error;
        EXPECT_TRUE(spinUntil([this] { return ended.has_value(); }, 120s));
        return ended.value_or(ExportResult::failed);
    }

    void exportProgress(double, double) override {
        if (cancelAtProgress)
            exporter.cancel();
    }
    void exportDidEnd(ExportResult result, const std::string& text) override {
        ended = result;
        detail = text;
    }

    std::vector<std::string> folderContents() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        return names;
    }

    std::string source = MovieMedia::lesson({.seconds = 3});
    std::string folder;
    MovieExporter exporter{this};
    std::optional<ExportResult> ended;
    std::string detail;
    bool cancelAtProgress = false;
};

TEST_F(ExportTest, EveryFormatAtFullAndPracticeSpeedKeepsLengthRatioAndPitch) {
    struct Case {
        ExportFormatId format;
        const char* container;
        const char* codecs;
    };
    const Case cases[] = {
        {ExportFormatId::mp4, "mp4", "h264,aac"}, {ExportFormatId::webm, "webm", "vp9,opus"},
        {ExportFormatId::mp3, "mp3", "mp3"},      {ExportFormatId::oggVorbis, "ogg", "vorbis"},
        {ExportFormatId::flac, "flac", "flac"},
    };
    double sourceSeconds = probe(source).lengths.back();
    for (const Case& c : cases) {
        for (int speed : {100, 75}) {
            const ExportFormat& format = ExportFormat::withId(c.format);
            SCOPED_TRACE(std::string(format.name) + " at " + std::to_string(speed) + "%");
            ExportSettings chosen =
                settings(c.format, speed, "lesson." + std::string(format.extension));
            ASSERT_EQ(run(chosen), ExportResult::finished) << detail;
            EXPECT_EQ(detail, chosen.destinationPath);
            Probe made = probe(chosen.destinationPath);
            EXPECT_NE(made.container.find(c.container), std::string::npos) << made.container;
            EXPECT_EQ(made.codecs, c.codecs);
            ASSERT_FALSE(made.lengths.empty());
            // scaletempo keeps back its last stride, a few hundredths of a second.
            for (double length : made.lengths)
                EXPECT_NEAR(length, sourceSeconds * 100 / speed, 0.12);
            EXPECT_NEAR(dominantFrequency(chosen.destinationPath, made.lengths.back() / 2), 440,
                        4.4);
            EXPECT_EQ(folderContents().size(), 1u) << "no temporary file is left";
            fs::remove(chosen.destinationPath);
        }
    }
}

TEST_F(ExportTest, CancelledOrFailedExportLeavesTheOldFileAndNothingElse) {
    std::string damaged = root() + "/damaged.mov";
    MovieMedia::writeFile(damaged, std::string(4000, 'x'));
    source = MovieMedia::lesson({.seconds = 30, .width = 640, .height = 360});
    for (bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancelled" : "damaged source");
        ExportSettings chosen = settings(ExportFormatId::webm, 75, "lesson.webm");
        if (!cancel)
            chosen.sourcePath = damaged;
        MovieMedia::writeFile(chosen.destinationPath, "old");
        EXPECT_EQ(run(chosen, cancel), cancel ? ExportResult::cancelled : ExportResult::failed);
        EXPECT_EQ(folderContents(), std::vector<std::string>{"lesson.webm"});
        EXPECT_EQ(MovieMedia::readFile(chosen.destinationPath), "old");
    }
}

TEST_F(ExportTest, DestinationsThatCannotBeWrittenAreRefusedWithAReason) {
    // Even root cannot create files in /sys.
    const std::pair<std::string, std::string> cases[] = {
        {"/sys/lesson.mp3", "permission to save in the folder"},
        {root() + "/missing/lesson.mp3", "does not exist"},
        {source, "cannot replace the lesson it is made from"},
    };
    for (const auto& [destination, reason] : cases) {
        ExportSettings chosen = settings(ExportFormatId::mp3, 100, "");
        chosen.destinationPath = destination;
        std::string error;
        EXPECT_FALSE(exporter.start(chosen, &error)) << destination;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    EXPECT_FALSE(exporter.isRunning());
}

// A fresh process whose GStreamer lacks the OpenH264 plug-in: only MP4 is unavailable, and the
// reason names the element and its package.
TEST(ExportFormatTest, AMissingPlugInMakesItsFormatUnavailable) {
    std::string plugins =
        fs::temp_directory_path() / ("fretlark-plugins-" + std::to_string(getpid()));
    fs::create_directories(plugins);
    for (const auto& entry : fs::directory_iterator(GST_PLUGINS_DIR))
        if (entry.path().filename() != "libgstopenh264.so")
            fs::create_symlink(entry.path(), plugins / entry.path().filename());
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("GST_PLUGIN_SYSTEM_PATH_1_0", plugins.c_str(), 1);
            setenv("GST_REGISTRY_1_0", (plugins + "/registry.bin").c_str(), 1);
            unsetenv("GST_PLUGIN_PATH_1_0");
            unsetenv("GST_PLUGIN_PATH");
            for (const auto& format : ExportFormat::all())
                std::fprintf(stderr, "%s: %s\n", format.extension,
                             format.unavailableReason().c_str());
            std::exit(0);
        },
        testing::ExitedWithCode(0),
        "mp4: Needs the GStreamer plug-in openh264enc \\(package gstreamer1.0-plugins-bad\\), "
        "which is not installed.\nwebm: \nmp3: \nogg: \nflac: \n");
    fs::remove_all(plugins);
}

} // namespace
