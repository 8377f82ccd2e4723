// Reading the annotations of 1,000 lessons: this program's atom reader against ffprobe on the
// same files. ffprobe starts a process per file, so it reads every tenth file and the comparison
// is per movie. Prints both times and their ratio.
#include "../../tests/unit/movie/MovieMedia.h"

#include "platform/movie/MovieAnnotations.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr int movieCount = 1000;
constexpr int probeEvery = 10;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::vector<std::string> makeLessons(const std::string& folder) {
    std::string base = MovieMedia::lesson({.seconds = 0.2, .width = 64, .height = 48});
    std::vector<std::string> paths;
    for (int i = 0; i < movieCount; ++i) {
        std::string path = MovieMedia::copy(base, folder, "lesson-" + std::to_string(i) + ".mov");
        auto movie = MovieAnnotations::open(path);
        if (!movie || !movie->setArtist("Artist " + std::to_string(i)) ||
            !movie->setDescription("Bass Advanced") || !movie->setComment("Rhythm Slap") ||
            !movie->save()) {
            std::fprintf(stderr, "could not stamp %s\n", path.c_str());
            std::exit(1);
        }
        paths.push_back(path);
    }
    return paths;
}

} // namespace

int main() {
    std::string folder = MovieMedia::folder() + "/lessons";
    std::vector<std::string> paths = makeLessons(folder);

    auto start = std::chrono::steady_clock::now();
    int read = 0;
    for (const std::string& path : paths) {
        auto movie = MovieAnnotations::open(path);
        if (movie && movie->artist() && movie->description() && movie->comment() &&
            !movie->album() && !movie->author())
            ++read;
    }
    double ours = secondsSince(start);

    start = std::chrono::steady_clock::now();
    int probed = 0;
    for (std::size_t i = 0; i < paths.size(); i += probeEvery) {
        if (MovieMedia::ffprobeTags(paths[i])["artist"] == "Artist " + std::to_string(i))
            ++probed;
    }
    double theirs = secondsSince(start);
    double oursPerMovie = ours / movieCount;
    double theirsPerMovie = theirs / (movieCount / probeEvery);

    std::printf("annotations of %d movies (five items each)\n", movieCount);
    std::printf("  atom reader: %8.3f s for %4d movies (%8.1f us per movie, %d read)\n", ours,
                movieCount, oursPerMovie * 1e6, read);
    std::printf("  ffprobe:     %8.3f s for %4d movies (%8.1f us per movie, %d agree)\n", theirs,
                movieCount / probeEvery, theirsPerMovie * 1e6, probed);
    std::printf("  ratio:       %8.0fx faster than ffprobe per movie\n",
                theirsPerMovie / oursPerMovie);
    return read == movieCount && probed == movieCount / probeEvery ? 0 : 1;
}
