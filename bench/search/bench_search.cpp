// The library index over a generated library of 100,000 files (text notes, a few hundred short
// annotated movies, some PDF sheets): the first build in files per second and the main loop's
// worst stall meanwhile, warm searches to the sorted list against `grep -ril` over the same tree,
// and a refresh that finds nothing changed.
#include "MovieMedia.h"
#include "platform/movie/MovieAnnotations.h"
#include "search/LibraryIndex.h"
#include "search/LibraryQuery.h"

#include <algorithm>
#include <cairo-pdf.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <glib.h>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int folders = 1000;
constexpr int filesPerFolder = 100;
constexpr int movies = 300;
constexpr int sheets = 50;
constexpr int warmRuns = 9;

const char* const rareWords[] = {"walking", "\xC3\xA9tude", "syncopation", "pentatonic", "mingus"};

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Words of a note: mostly common made-up words, one in fifty notes with a rarer one.
std::string noteText(std::mt19937& random) {
    std::string text;
    for (int word = 0; word < 24; ++word)
        text += "word" + std::to_string(random() % 5000) + " ";
    if (random() % 50 == 0)
        text += rareWords[random() % std::size(rareWords)];
    return text + "\n";
}

void makeSheet(const std::string& path, const std::string& text) {
    cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), 300, 200);
    cairo_t* cr = cairo_create(surface);
    cairo_move_to(cr, 20, 100);
    cairo_show_text(cr, text.c_str());
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

bool makeLibrary(const std::string& root) {
    std::string stamp = root + "/../library-complete";
    if (fs::exists(stamp))
        return true;
    fs::remove_all(root);
    std::string lesson = MovieMedia::lesson({.seconds = 0.5, .width = 64, .height = 48});
    if (lesson.empty())
        return false;
    std::mt19937 random(42);
    int file = 0;
    for (int f = 0; f < folders; ++f) {
        std::string folder =
            root + "/Level " + std::to_string(f / 100) + "/Lesson " + std::to_string(f);
        fs::create_directories(folder);
        for (int n = 0; n < filesPerFolder; ++n, ++file) {
            std::string name = folder + "/part " + std::to_string(n);
            if (file % (folders * filesPerFolder / movies) == 0) {
                auto movie = MovieAnnotations::open(
                    MovieMedia::copy(lesson, folder, "part " + std::to_string(n) + ".mov"));
                movie->setArtist("Artist " + std::to_string(file % 40));
                movie->setComment(rareWords[file % std::size(rareWords)]);
                movie->save();
            } else if (file % (folders * filesPerFolder / sheets) == 1) {
                makeSheet(name + ".pdf",
                          std::string("sheet ") + rareWords[file % std::size(rareWords)]);
            } else {
                std::ofstream(name + ".txt") << noteText(random);
            }
        }
    }
    std::ofstream(stamp) << "done\n";
    return true;
}

// How late each tick of a 1 ms timer on the main loop comes.
struct Ticks {
    Clock::time_point last = Clock::now();
    std::vector<double> gaps;
    double worst() const { return *std::max_element(gaps.begin(), gaps.end()); }
    double percentile99() const {
        std::vector<double> sorted = gaps;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() * 99 / 100];
    }
};

gboolean tick(gpointer data) {
    auto* ticks = static_cast<Ticks*>(data);
    ticks->gaps.push_back(millisecondsSince(ticks->last));
    ticks->last = Clock::now();
    return G_SOURCE_CONTINUE;
}

// Runs one search to its sorted list; answers the milliseconds taken and the number of hits.
std::pair<double, std::size_t> search(SearchWorker& worker, const std::string& root,
                                      const std::string& text) {
    auto query = LibraryQuery::create(text);
    query->setSearchScope(root);
    auto start = Clock::now();
    query->execute(worker);
    while (!query->isFinished())
        g_main_context_iteration(nullptr, TRUE);
    return {millisecondsSince(start), query->results().size()};
}

double grepMilliseconds(const std::string& root, const std::string& word) {
    std::string command = "grep -ril '" + word + "' '" + root + "' >/dev/null";
    auto start = Clock::now();
    if (std::system(command.c_str()) == -1)
        return 0;
    return millisecondsSince(start);
}

} // namespace

int main() {
    std::string base = (fs::temp_directory_path() / "fretlark-bench-search").string();
    std::string root = base + "/Videos";
    std::printf("generating %d files (kept for later runs)...\n", folders * filesPerFolder);
    if (!makeLibrary(root)) {
        std::fprintf(stderr, "bench_search: cannot generate the library\n");
        return 1;
    }
    setenv("XDG_CACHE_HOME", (base + "/cache").c_str(), 1);
    IndexDatabase::remove(LibraryIndex::databaseFile(root));
    // Other reads of the tree should not count as the index's work: warm the page cache first.
    grepMilliseconds(root, "nothing-at-all");

    // The same loop with nothing to do: what the machine itself costs.
    Ticks idle;
    guint idleTimer = g_timeout_add(1, tick, &idle);
    for (auto start = Clock::now(); millisecondsSince(start) < 5000;)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(idleTimer);

    SearchWorker worker;
    Ticks ticks;
    guint timer = g_timeout_add(1, tick, &ticks);
    auto [build, found] = search(worker, root, "walking");
    g_source_remove(timer);
    std::printf("first build and search: %.1f s, %.0f files/s, %zu hits\n", build / 1000,
                folders * filesPerFolder / (build / 1000), found);
    std::printf("main loop stall during the build: worst %.1f ms, p99 %.1f ms; idle for 5 s: "
                "worst %.1f ms, p99 %.1f ms\n",
                ticks.worst(), ticks.percentile99(), idle.worst(), idle.percentile99());

    std::printf("%-24s %8s %8s %10s %8s\n", "warm search", "hits", "ms", "grep ms", "ratio");
    for (const char* text : {"walking", "etude", "mingus", "artist 7", "word42", "word4"}) {
        std::vector<double> times;
        std::size_t hits = 0;
        for (int run = 0; run < warmRuns; ++run) {
            auto [ms, count] = search(worker, root, text);
            times.push_back(ms);
            hits = count;
        }
        double ours = median(times);
        std::string word = text;
        bool single = word.find(' ') == std::string::npos && word != "etude";
        double grep = single ? grepMilliseconds(root, word) : 0;
        if (single)
            std::printf("%-24s %8zu %8.1f %10.0f %8.0f\n", text, hits, ours, grep, grep / ours);
        else
            std::printf("%-24s %8zu %8.1f %10s %8s\n", text, hits, ours, "-", "-");
    }

    std::vector<double> walks;
    for (int run = 0; run < 3; ++run) {
        LibraryIndex index(root);
        auto start = Clock::now();
        index.refresh([] { return false; }, nullptr);
        walks.push_back(millisecondsSince(start));
    }
    std::printf("refresh with nothing changed (whole walk): median %.0f ms\n", median(walks));
    return 0;
}
