// Restoring a lesson's practice when it is opened, with 10,000 lessons (three sections each) in
// the practice database: opening the database at start, a lesson found by its path, and a lesson
// moved or renamed, found by its size and annotations. No peer tool does this job.
#include "practice/PracticeMemory.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

constexpr int lessons = 10'000;
constexpr int lookups = 1'000;

LessonIdentity lesson(const std::string& folder, int index) {
    return {folder + "/Lesson " + std::to_string(index) + ".mov",
            static_cast<std::uint64_t>(1'000'000 + index), "Mara Quill\x1fGuitar Beginner\x1f"};
}

double microseconds(Clock::time_point since) {
    return std::chrono::duration<double, std::micro>(Clock::now() - since).count();
}

void report(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("  %-40s median %7.1f us, worst %8.1f us\n", what, times[times.size() / 2],
                times.back());
}

} // namespace

int main() {
    std::string folder = (fs::temp_directory_path() / "fretlark-bench-practice").string();
    fs::remove_all(folder);
    fs::create_directories(folder);
    setenv("XDG_DATA_HOME", folder.c_str(), 1);
    {
        PracticeMemory memory;
        LessonPractice practice;
        practice.sections = {{"Intro", 0, 1'000'000'000},
                             {"Verse", 1'000'000'000, 2'000'000'000},
                             {"Solo", 2'000'000'000, 3'000'000'000}};
        for (int index = 0; index < lessons; ++index) {
            practice.positionNs = index;
            memory.remember(lesson(folder, index), practice);
        }
    }
    std::printf("practice restore, %d lessons in the database\n", lessons);
    auto opening = Clock::now();
    PracticeMemory memory;
    report("opening the database", {microseconds(opening)});

    std::mt19937 random(7);
    std::vector<double> byPath;
    for (int i = 0; i < lookups; ++i) {
        LessonIdentity identity = lesson(folder, static_cast<int>(random() % lessons));
        auto start = Clock::now();
        bool found = memory.practiceFor(identity).has_value();
        byPath.push_back(microseconds(start));
        if (!found)
            return 1;
    }
    report("a lesson by its path", byPath);

    std::vector<double> moved;
    for (int i = 0; i < lookups / 10; ++i) {
        LessonIdentity identity = lesson(folder, static_cast<int>(random() % lessons));
        identity.path = folder + "/Renamed/" + std::to_string(i) + ".mov";
        auto start = Clock::now();
        bool found = memory.practiceFor(identity).has_value();
        moved.push_back(microseconds(start));
        if (!found)
            return 1;
    }
    report("a moved lesson by size and annotations", moved);
    memory.flush();
    fs::remove_all(folder);
    return 0;
}
