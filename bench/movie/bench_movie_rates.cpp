// Frames reaching the main thread per second while a 720p H.264 lesson (30 frames per second,
// a keyframe every 2 seconds) plays at 2.0 and at -2.0, against the 30 a lesson shows at 1.0.
#include "../../tests/unit/movie/MovieMedia.h"

#include "platform/MainThread.h"
#include "platform/movie/QTMovie.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

using namespace std::chrono_literals;

namespace {

constexpr double expectedFramesPerSecond = 30;

double framesPerSecond(QTMovie& movie, float rate) {
    movie.setRate(rate);
    spinFor(700ms); // settle: the seek, the first keyframes
    std::uint64_t before = movie.framesShown();
    auto start = std::chrono::steady_clock::now();
    spinFor(3500ms);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double result = static_cast<double>(movie.framesShown() - before) / wall;
    movie.stop();
    return result;
}

} // namespace

int main() {
    MainThread::adopt();
    if (!std::getenv("FRETLARK_AUDIO_SINK"))
        setenv("FRETLARK_AUDIO_SINK", "fakesink", 1);
    std::string path = MovieMedia::lesson({.seconds = 12,
                                           .width = 1280,
                                           .height = 720,
                                           .framesPerSecond = 30,
                                           .keyframeInterval = 60});
    QTMovie movie;
    if (!movie.initWithFile(path, nullptr)) {
        std::fprintf(stderr, "cannot open the generated lesson\n");
        return 1;
    }
    movie.setVisible(true);
    spinFor(500ms);

    movie.gotoBeginning();
    double forwards = framesPerSecond(movie, 2.0f);
    movie.gotoEnd();
    double backwards = framesPerSecond(movie, -2.0f);

    std::printf("720p H.264 lesson, 30 fps, keyframe every 2 s\n");
    for (auto [rate, delivered] : {std::pair{2.0, forwards}, std::pair{-2.0, backwards}}) {
        std::printf(
            "  rate %4.1f: %5.1f frames/s delivered (expected %.0f; the file offers %.0f)\n", rate,
            delivered, expectedFramesPerSecond, expectedFramesPerSecond * std::abs(rate));
    }
    return 0;
}
