#include "practice/PracticeDatabase.h"

#include <filesystem>
#include <glib.h>
#include <sqlite3.h>

namespace {

constexpr int busyTimeoutMs = 5000;

const char* const schema = R"(
CREATE TABLE IF NOT EXISTS lessons(
    id INTEGER PRIMARY KEY,
    path BLOB NOT NULL UNIQUE,
    size INTEGER NOT NULL,
    annotations BLOB NOT NULL,
    position_ns INTEGER NOT NULL,
    rate REAL NOT NULL,
    current_section INTEGER NOT NULL,
    section_loop INTEGER NOT NULL,
    mirrored INTEGER NOT NULL,
    trainer_enabled INTEGER NOT NULL,
    trainer_start REAL NOT NULL,
    trainer_step REAL NOT NULL,
    trainer_target REAL NOT NULL,
    practised_ms INTEGER NOT NULL,
    changed INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS lessons_by_identity ON lessons(size, annotations);
CREATE TABLE IF NOT EXISTS sections(
    lesson INTEGER NOT NULL REFERENCES lessons(id) ON DELETE CASCADE,
    position INTEGER NOT NULL,
    name TEXT NOT NULL,
    start_ns INTEGER NOT NULL,
    end_ns INTEGER NOT NULL,
    PRIMARY KEY(lesson, position)) WITHOUT ROWID;
)";

// A prepared statement, finalized when it goes; values are bound in order from 1.
class Query {
public:
    Query(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
            g_warning("practice database: %s", sqlite3_errmsg(db));
    }
    ~Query() { sqlite3_finalize(statement); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& bind(const std::string& bytes) {
        sqlite3_bind_blob(statement, ++index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Query& text(const std::string& value) {
        sqlite3_bind_text(statement, ++index, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Query& bind(std::int64_t value) {
        sqlite3_bind_int64(statement, ++index, value);
        return *this;
    }
    Query& bind(double value) {
        sqlite3_bind_double(statement, ++index, value);
        return *this;
    }
    // True while there is a row to read.
    bool row() { return statement && sqlite3_step(statement) == SQLITE_ROW; }
    // True when the statement ran to its end.
    bool run() { return statement && sqlite3_step(statement) == SQLITE_DONE; }
    std::int64_t integer(int column) const { return sqlite3_column_int64(statement, column); }
    double real(int column) const { return sqlite3_column_double(statement, column); }
    std::string bytes(int column) const {
        const void* data = sqlite3_column_blob(statement, column);
        int size = sqlite3_column_bytes(statement, column);
        return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                    : std::string();
    }

private:
    sqlite3_stmt* statement = nullptr;
    int index = 0;
};

} // namespace

void PracticeDatabase::Closer::operator()(sqlite3* handle) const {
    sqlite3_close_v2(handle);
}

PracticeDatabase::PracticeDatabase(const std::string& path) {
    int status = open(path);
    // Something that is not a practice database is kept for the student to look at, not lost.
    if (status == SQLITE_NOTADB || status == SQLITE_CORRUPT) {
        std::error_code ignored;
        g_warning("practice database %s is damaged; starting a new one", path.c_str());
        std::filesystem::rename(path, path + ".damaged", ignored);
        std::filesystem::rename(path + "-wal", path + ".damaged-wal", ignored);
        std::filesystem::remove(path + "-shm", ignored);
        open(path);
    }
}

PracticeDatabase::~PracticeDatabase() = default;

int PracticeDatabase::open(const std::string& path) {
    db.reset();
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    sqlite3* handle = nullptr;
    int status =
        sqlite3_open_v2(path.c_str(), &handle,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    db.reset(handle);
    if (status == SQLITE_OK) {
        sqlite3_busy_timeout(db.get(), busyTimeoutMs);
        status = createSchema() ? SQLITE_OK : sqlite3_errcode(db.get());
    }
    if (status != SQLITE_OK) {
        g_warning("practice database %s: %s", path.c_str(), sqlite3_errstr(status));
        db.reset();
    }
    return status;
}

bool PracticeDatabase::createSchema() {
    // NORMAL is enough with a write-ahead log: a killed process loses no committed transaction.
    return execute("PRAGMA journal_mode=WAL") && execute("PRAGMA synchronous=NORMAL") &&
           execute("PRAGMA foreign_keys=ON") && execute(schema);
}

bool PracticeDatabase::execute(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db.get(), sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    g_warning("practice database: %s", message ? message : "failed");
    sqlite3_free(message);
    return false;
}

std::optional<LessonPractice> PracticeDatabase::load(const std::string& path) {
    if (!db)
        return std::nullopt;
    Query lesson(db.get(), "SELECT id, position_ns, rate, current_section, section_loop, "
                           "mirrored, trainer_enabled, trainer_start, trainer_step, "
                           "trainer_target, practised_ms FROM lessons WHERE path = ?");
    if (!lesson.bind(path).row())
        return std::nullopt;
    LessonPractice practice;
    practice.positionNs = lesson.integer(1);
    practice.rate = lesson.real(2);
    practice.currentSection = static_cast<int>(lesson.integer(3));
    practice.sectionLoop = lesson.integer(4) != 0;
    practice.mirrored = lesson.integer(5) != 0;
    practice.trainer.enabled = lesson.integer(6) != 0;
    practice.trainer.startRate = lesson.real(7);
    practice.trainer.step = lesson.real(8);
    practice.trainer.targetRate = lesson.real(9);
    practice.practisedMs = lesson.integer(10);
    Query sections(db.get(), "SELECT name, start_ns, end_ns FROM sections WHERE lesson = ? "
                             "ORDER BY position");
    sections.bind(lesson.integer(0));
    while (sections.row())
        practice.sections.push_back({sections.bytes(0), sections.integer(1), sections.integer(2)});
    return practice;
}

std::vector<std::string> PracticeDatabase::pathsWithIdentity(std::uint64_t size,
                                                             const std::string& annotations) {
    std::vector<std::string> paths;
    if (!db)
        return paths;
    Query query(db.get(), "SELECT path FROM lessons WHERE size = ? AND annotations = ? "
                          "ORDER BY changed DESC");
    query.bind(static_cast<std::int64_t>(size)).bind(annotations);
    while (query.row())
        paths.push_back(query.bytes(0));
    return paths;
}

std::optional<std::int64_t> PracticeDatabase::practisedMs(const std::string& path) {
    if (!db)
        return std::nullopt;
    Query query(db.get(), "SELECT practised_ms FROM lessons WHERE path = ?");
    if (!query.bind(path).row())
        return std::nullopt;
    return query.integer(0);
}

bool PracticeDatabase::write(const std::vector<PracticeWrite>& writes) {
    if (!db || !execute("BEGIN IMMEDIATE"))
        return false;
    for (const PracticeWrite& one : writes) {
        if (!writeOne(one)) {
            execute("ROLLBACK");
            return false;
        }
    }
    return execute("COMMIT");
}

bool PracticeDatabase::writeOne(const PracticeWrite& write) {
    const LessonPractice& p = write.practice;
    if (!write.formerPath.empty() && write.formerPath != write.lesson.path &&
        !Query(db.get(), "DELETE FROM lessons WHERE path = ?").bind(write.formerPath).run())
        return false;
    Query lesson(db.get(),
                 "INSERT INTO lessons(path, size, annotations, position_ns, rate, "
                 "current_section, section_loop, mirrored, trainer_enabled, trainer_start, "
                 "trainer_step, trainer_target, practised_ms, changed) "
                 "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT(path) DO UPDATE "
                 "SET size = excluded.size, annotations = excluded.annotations, "
                 "position_ns = excluded.position_ns, rate = excluded.rate, "
                 "current_section = excluded.current_section, "
                 "section_loop = excluded.section_loop, mirrored = excluded.mirrored, "
                 "trainer_enabled = excluded.trainer_enabled, "
                 "trainer_start = excluded.trainer_start, trainer_step = excluded.trainer_step, "
                 "trainer_target = excluded.trainer_target, "
                 "practised_ms = excluded.practised_ms, changed = excluded.changed "
                 "RETURNING id");
    lesson.bind(write.lesson.path)
        .bind(static_cast<std::int64_t>(write.lesson.size))
        .bind(write.lesson.annotations)
        .bind(p.positionNs)
        .bind(p.rate)
        .bind(static_cast<std::int64_t>(p.currentSection))
        .bind(static_cast<std::int64_t>(p.sectionLoop))
        .bind(static_cast<std::int64_t>(p.mirrored))
        .bind(static_cast<std::int64_t>(p.trainer.enabled))
        .bind(p.trainer.startRate)
        .bind(p.trainer.step)
        .bind(p.trainer.targetRate)
        .bind(p.practisedMs)
        .bind(static_cast<std::int64_t>(g_get_real_time()));
    if (!lesson.row())
        return false;
    std::int64_t id = lesson.integer(0);
    if (!lesson.run() || !Query(db.get(), "DELETE FROM sections WHERE lesson = ?").bind(id).run())
        return false;
    std::int64_t position = 0;
    for (const PracticeSection& section : p.sections) {
        Query insert(db.get(), "INSERT INTO sections VALUES(?, ?, ?, ?, ?)");
        if (!insert.bind(id)
                 .bind(position++)
                 .text(section.name)
                 .bind(section.startNs)
                 .bind(section.endNs)
                 .run())
            return false;
    }
    return true;
}
