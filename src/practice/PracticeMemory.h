#pragma once

#include "practice/PracticeDatabase.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

// The practice of every lesson, kept between runs in one SQLite database. Reads answer at once
// on the calling thread; changes are queued and written by a thread of their own, so the main
// loop never waits for the disk. A change not yet written is still what a read answers.
class PracticeMemory {
public:
    // "$XDG_DATA_HOME/fretlark/practice.sqlite3".
    static std::string defaultLocation();

    explicit PracticeMemory(const std::string& databasePath = defaultLocation());
    // Writes what is still queued.
    ~PracticeMemory();
    PracticeMemory(const PracticeMemory&) = delete;
    PracticeMemory& operator=(const PracticeMemory&) = delete;

    bool isPersistent() const;
    // The lesson's practice by its path; for a lesson moved or renamed, the practice of a lesson
    // whose file is gone and whose size and annotations match, which then moves to the new path.
    // Nothing for a lesson never practised.
    std::optional<LessonPractice> practiceFor(const LessonIdentity& lesson);
    // Queues the lesson's practice to be written.
    void remember(const LessonIdentity& lesson, const LessonPractice& practice);
    // The time practised on the lesson at the path; nothing when never.
    std::optional<std::int64_t> practisedMs(const std::string& path);
    // Returns once everything queued so far is written.
    void flush();

private:
    struct Pending {
        PracticeWrite write;
        std::uint64_t generation = 0;
    };

    void queue(PracticeWrite write);
    void writeInTurn();

    // The writer's connection comes first: it makes the schema, or starts over from damage.
    std::unique_ptr<PracticeDatabase> writer;
    std::unique_ptr<PracticeDatabase> reader;
    std::mutex lock;
    std::condition_variable changed;
    std::map<std::string, Pending> pending;
    std::set<std::string> unwritten;
    std::uint64_t generations = 0;
    bool writing = false;
    bool stopping = false;
    std::thread worker;
};
