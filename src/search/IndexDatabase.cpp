#include "search/IndexDatabase.h"

#include <filesystem>
#include <glib.h>

namespace {

constexpr int busyMilliseconds = 2000;
// Statements are checked for cancellation every this many virtual machine steps.
constexpr int stepsBetweenCancelChecks = 4000;

constexpr const char* schema = R"(
CREATE TABLE files(id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE, parent BLOB NOT NULL,
                   size INTEGER NOT NULL, modified INTEGER NOT NULL, folder INTEGER NOT NULL,
                   name TEXT NOT NULL);
CREATE INDEX filesInFolder ON files(parent);
CREATE VIRTUAL TABLE words USING fts5(name, annotations, body,
                                      tokenize = 'unicode61 remove_diacritics 2');
)";

// The bounds of everything below a folder: its path plus "/" up to its path plus "0", the
// character after "/".
std::string below(const std::string& folder) {
    return folder + "/";
}

std::string beyond(const std::string& folder) {
    return folder + "0";
}

} // namespace

IndexDatabase::IndexDatabase(sqlite3* connection) : db(connection) {}

IndexDatabase::~IndexDatabase() {
    // Statements first: a connection with live statements does not close.
    for (SqliteStatement* statement :
         {&childrenOf, &insertFile, &updateFile, &insertWords, &deleteWords, &deleteTreeWords,
          &deleteTree, &matching, &counting})
        *statement = SqliteStatement();
    sqlite3_close(db);
}

std::unique_ptr<IndexDatabase> IndexDatabase::connect(const std::string& file, int flags) {
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(file.c_str(), &connection, flags, nullptr) != SQLITE_OK) {
        g_message("library index: cannot open %s: %s", file.c_str(),
                  connection ? sqlite3_errmsg(connection) : "out of memory");
        sqlite3_close(connection);
        return nullptr;
    }
    auto database = std::unique_ptr<IndexDatabase>(new IndexDatabase(connection));
    if (!database->prepareSchema())
        return nullptr;
    return database;
}

std::unique_ptr<IndexDatabase> IndexDatabase::open(const std::string& file) {
    constexpr int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ignored);
    if (auto database = connect(file, flags))
        return database;
    remove(file);
    return connect(file, flags);
}

std::unique_ptr<IndexDatabase> IndexDatabase::openInMemory() {
    return connect(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY | SQLITE_OPEN_NOMUTEX);
}

void IndexDatabase::remove(const std::string& file) {
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        std::filesystem::remove(file + suffix, ignored);
}

bool IndexDatabase::prepareSchema() {
    sqlite3_busy_timeout(db, busyMilliseconds);
    sqlite3_progress_handler(db, stepsBetweenCancelChecks, &IndexDatabase::progress, this);
    auto version = singleNumber("PRAGMA user_version");
    auto tables = singleNumber("SELECT count(*) FROM sqlite_schema");
    if (!version || !tables)
        return false;
    if (*version != schemaVersion) {
        // Only an empty file becomes ours; anything else was made by someone else.
        if (*tables != 0)
            return false;
        if (!execute(schema) ||
            !execute(("PRAGMA user_version = " + std::to_string(schemaVersion)).c_str()))
            return false;
    }
    if (!execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; "
                 "PRAGMA cache_size = -32000"))
        return false;
    childrenOf = {db, "SELECT path, id, size, modified, folder FROM files WHERE parent = ?1"};
    insertFile = {db, "INSERT INTO files(path, parent, size, modified, folder, name) "
                      "VALUES (?1, ?2, ?3, ?4, ?5, ?6)"};
    updateFile = {db, "UPDATE files SET size = ?2, modified = ?3, folder = ?4, name = ?5 "
                      "WHERE id = ?1"};
    insertWords = {db, "INSERT INTO words(rowid, name, annotations, body) VALUES (?1, ?2, ?3, ?4)"};
    deleteWords = {db, "DELETE FROM words WHERE rowid = ?1"};
    deleteTreeWords = {db, "DELETE FROM words WHERE rowid IN (SELECT id FROM files WHERE "
                           "path = ?1 OR (path > ?2 AND path < ?3))"};
    deleteTree = {db, "DELETE FROM files WHERE path = ?1 OR (path > ?2 AND path < ?3)"};
    matching = {db, "SELECT f.path, f.name FROM words JOIN files f ON f.id = words.rowid "
                    "WHERE words MATCH ?1 AND f.path > ?2 AND f.path < ?3"};
    counting = {db, "SELECT count(*) FROM words WHERE words MATCH ?1"};
    for (const SqliteStatement* statement :
         {&childrenOf, &insertFile, &updateFile, &insertWords, &deleteWords, &deleteTreeWords,
          &deleteTree, &matching, &counting})
        if (!statement->valid())
            return false;
    return true;
}

std::optional<std::int64_t> IndexDatabase::singleNumber(const char* sql) {
    SqliteStatement statement(db, sql);
    if (!statement.step()) {
        check(statement.lastResult());
        return std::nullopt;
    }
    return statement.integer(0);
}

bool IndexDatabase::execute(const char* sql) {
    char* message = nullptr;
    int result = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    if (message) {
        g_message("library index: %s", message);
        sqlite3_free(message);
    }
    return check(result);
}

bool IndexDatabase::check(int result) {
    if (result == SQLITE_OK || result == SQLITE_DONE || result == SQLITE_ROW)
        return true;
    if (result != SQLITE_INTERRUPT) {
        g_message("library index: %s", sqlite3_errstr(result));
        failure = true;
    }
    return false;
}

bool IndexDatabase::finish(SqliteStatement& statement) {
    bool done = statement.run();
    return done || check(statement.lastResult());
}

int IndexDatabase::progress(void* self) {
    auto* database = static_cast<IndexDatabase*>(self);
    return database->cancelCheck && database->cancelCheck() ? 1 : 0;
}

void IndexDatabase::setCancelCheck(std::function<bool()> check) {
    cancelCheck = std::move(check);
}

bool IndexDatabase::begin() {
    return execute("BEGIN");
}

bool IndexDatabase::commit() {
    return execute("COMMIT");
}

std::unordered_map<std::string, IndexDatabase::Row>
IndexDatabase::rowsInFolder(const std::string& folder) {
    std::unordered_map<std::string, Row> rows;
    childrenOf.bindBlob(1, folder);
    while (childrenOf.step())
        rows.emplace(childrenOf.text(0), Row{childrenOf.integer(1), childrenOf.integer(2),
                                             childrenOf.integer(3), childrenOf.integer(4) != 0});
    check(childrenOf.lastResult());
    childrenOf.reset();
    return rows;
}

bool IndexDatabase::store(const Item& item, const std::string& annotations, const std::string& body,
                          std::int64_t replacedId) {
    std::int64_t id = replacedId;
    if (id) {
        updateFile.bind(1, id).bind(2, item.size).bind(3, item.modified).bind(4, item.folder);
        updateFile.bindText(5, item.displayName);
        deleteWords.bind(1, id);
        if (!finish(updateFile) || !finish(deleteWords))
            return false;
    } else {
        insertFile.bindBlob(1, item.path).bindBlob(2, item.parent).bind(3, item.size);
        insertFile.bind(4, item.modified).bind(5, item.folder).bindText(6, item.displayName);
        if (!finish(insertFile))
            return false;
        id = sqlite3_last_insert_rowid(db);
    }
    insertWords.bind(1, id).bindText(2, item.displayName).bindText(3, annotations);
    insertWords.bindText(4, body);
    return finish(insertWords);
}

bool IndexDatabase::removeTree(const std::string& path) {
    for (SqliteStatement* statement : {&deleteTreeWords, &deleteTree}) {
        statement->bindBlob(1, path).bindBlob(2, below(path)).bindBlob(3, beyond(path));
        if (!finish(*statement))
            return false;
    }
    return true;
}

bool IndexDatabase::match(const std::string& expression, const std::string& folder,
                          std::vector<Hit>& hits) {
    matching.bindText(1, expression).bindBlob(2, below(folder)).bindBlob(3, beyond(folder));
    while (matching.step())
        hits.push_back({matching.text(0), matching.text(1)});
    bool done = check(matching.lastResult());
    matching.reset();
    return done;
}

std::int64_t IndexDatabase::countMatches(const std::string& expression) {
    counting.bindText(1, expression);
    std::int64_t count = counting.step() ? counting.integer(0) : 0;
    check(counting.lastResult());
    counting.reset();
    return count;
}
