#pragma once

#include "practice/LessonIdentity.h"
#include "practice/LessonPractice.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

// One lesson's practice to write; formerPath names the record it replaces (a moved lesson).
struct PracticeWrite {
    LessonIdentity lesson;
    LessonPractice practice;
    std::string formerPath;
};

// One connection to the practice database (SQLite, write-ahead log, every change one
// transaction, so a kill at any moment leaves the last committed state). Used on one thread at a
// time. A file that is not a database is moved aside as "<name>.damaged" and a new one started.
class PracticeDatabase {
public:
    explicit PracticeDatabase(const std::string& path);
    ~PracticeDatabase();
    PracticeDatabase(const PracticeDatabase&) = delete;
    PracticeDatabase& operator=(const PracticeDatabase&) = delete;

    bool isOpen() const { return static_cast<bool>(db); }
    std::optional<LessonPractice> load(const std::string& path);
    // The paths of lessons with this size and these annotations, most recently practised first.
    std::vector<std::string> pathsWithIdentity(std::uint64_t size, const std::string& annotations);
    std::optional<std::int64_t> practisedMs(const std::string& path);
    // All of them or none; false when nothing could be written.
    bool write(const std::vector<PracticeWrite>& writes);

private:
    // An SQLite result code.
    int open(const std::string& path);
    bool createSchema();
    bool writeOne(const PracticeWrite& write);
    bool execute(const char* sql);

    struct Closer {
        void operator()(sqlite3* handle) const;
    };
    std::unique_ptr<sqlite3, Closer> db;
};
