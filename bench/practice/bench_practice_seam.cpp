// The section loop's seam: the time between the last frame shown before B and the first frame
// shown at A, over 50 passes of a 0.4 s section of a 640x480, 30 frames a second H.264 lesson
// (a keyframe every second, A in the middle of a group of pictures), at rates 1.0 and 0.5. The
// excess is that time less one frame period at the rate: what the eye could see as a stall.
#include "FrameNumberLesson.h"
#include "MovieMedia.h"

#include "platform/MainThread.h"
#include "platform/movie/QTMovie.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int framesPerSecond = 30;
constexpr int passes = 50;

struct Shown {
    Clock::time_point at;
    int frame;
};

struct Seam {
    double gapMs;
    int firstFrame;
};

std::vector<Seam> seams(QTMovie& movie, float rate) {
    std::vector<Shown> shown;
    auto connection = movie.signalFrameChanged().connect([&] {
        if (auto image = movie.currentFrameImage())
            shown.push_back({Clock::now(), frameNumber(*image)});
    });
    std::vector<Seam> found;
    std::size_t scanned = 1;
    movie.setCurrentTime(QTMakeTime(1500, 600));
    movie.setRate(rate);
    spinUntil(
        [&] {
            for (; scanned < shown.size(); ++scanned) {
                const Shown& before = shown[scanned - 1];
                const Shown& after = shown[scanned];
                if (after.frame < before.frame)
                    found.push_back(
                        {std::chrono::duration<double, std::milli>(after.at - before.at).count(),
                         after.frame});
            }
            return found.size() > passes;
        },
        300s);
    movie.stop();
    connection.disconnect();
    // The first seam follows a seek, not a pass.
    if (!found.empty())
        found.erase(found.begin());
    return found;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[static_cast<std::size_t>(fraction * (values.size() - 1))];
}

} // namespace

int main() {
    MainThread::adopt();
    setenv("FRETLARK_AUDIO_SINK", "fakesink", 0);
    QTMovie movie;
    if (!movie.initWithFile(frameNumberLesson(6, framesPerSecond, 640), nullptr)) {
        std::fprintf(stderr, "cannot open the generated lesson\n");
        return 1;
    }
    movie.setVisible(true);
    spinFor(500ms);
    // Frames 75 to 86: A at 2.5 s, B at 2.9 s.
    movie.setLoopSection(QTMakeTimeRange(QTMakeTime(1500, 600), QTMakeTime(240, 600)));
    std::printf("section-loop seam, 640x480 H.264 at %d frames/s, %d passes of 0.4 s\n",
                framesPerSecond, passes);
    for (float rate : {1.0f, 0.5f}) {
        std::vector<Seam> found = seams(movie, rate);
        double periodMs = 1000.0 / framesPerSecond / rate;
        std::vector<double> gaps;
        std::vector<double> excess;
        int atA = 0;
        for (const Seam& seam : found) {
            gaps.push_back(seam.gapMs);
            excess.push_back(seam.gapMs - periodMs);
            atA += std::abs(seam.firstFrame - 75) <= 1;
        }
        std::printf("  rate %.1f: gap median %5.1f ms, worst %5.1f ms (frame period %.1f ms); "
                    "excess median %5.1f ms, worst %5.1f ms; %d of %zu seams land on A\n",
                    rate, percentile(gaps, 0.5), percentile(gaps, 1.0), periodMs,
                    percentile(excess, 0.5), percentile(excess, 1.0), atA, found.size());
    }
    return 0;
}
