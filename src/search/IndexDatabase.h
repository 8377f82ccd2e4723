#pragma once

#include "search/SqliteStatement.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <unordered_map>
#include <vector>

// The stored index of one library folder: a row per file or folder (path, parent, display name,
// size, modification time) and a full-text table over names, annotations and text content, which
// folds case and diacritics. Used by one thread. A failed statement other than a cancelled one
// marks the database as failed, so that its owner can throw it away and build a new one.
class IndexDatabase {
public:
    static constexpr int schemaVersion = 1;

    struct Row {
        std::int64_t id = 0;
        std::int64_t size = 0;
        std::int64_t modified = 0;
        bool folder = false;
    };
    struct Item {
        std::string path;
        std::string parent;
        std::string displayName;
        std::int64_t size = 0;
        std::int64_t modified = 0;
        bool folder = false;
    };
    struct Hit {
        std::string path;
        std::string displayName;
    };

    // Opens or creates the file; a file that is no database of ours, or a damaged one, is deleted
    // and made afresh. Nothing when even a fresh file cannot be made.
    static std::unique_ptr<IndexDatabase> open(const std::string& file);
    // A database that lives only as long as this object, for when the cache folder is unusable.
    static std::unique_ptr<IndexDatabase> openInMemory();
    // Removes the file and its journals.
    static void remove(const std::string& file);

    ~IndexDatabase();
    IndexDatabase(const IndexDatabase&) = delete;
    IndexDatabase& operator=(const IndexDatabase&) = delete;

    bool failed() const { return failure; }
    // Queries stop early, without marking the database failed, while this answers true. Writes
    // must not run under it: an interrupted write rolls back the whole transaction.
    void setCancelCheck(std::function<bool()> check);

    bool begin();
    bool commit();

    // The stored children of a folder, by path.
    std::unordered_map<std::string, Row> rowsInFolder(const std::string& folder);
    // Adds the item, or replaces the stored one with that id.
    bool store(const Item& item, const std::string& annotations, const std::string& body,
               std::int64_t replacedId = 0);
    // Forgets the path and everything under it.
    bool removeTree(const std::string& path);
    // Items under the folder whose texts hold every term of the full-text expression.
    bool match(const std::string& expression, const std::string& folder, std::vector<Hit>& hits);
    std::int64_t countMatches(const std::string& expression);

private:
    explicit IndexDatabase(sqlite3* connection);
    static std::unique_ptr<IndexDatabase> connect(const std::string& file, int flags);
    bool prepareSchema();
    std::optional<std::int64_t> singleNumber(const char* sql);
    bool execute(const char* sql);
    bool check(int result);
    bool finish(SqliteStatement& statement);
    static int progress(void* self);

    sqlite3* db;
    bool failure = false;
    std::function<bool()> cancelCheck;
    SqliteStatement childrenOf, insertFile, updateFile, insertWords, deleteWords, deleteTreeWords,
        deleteTree, matching, counting;
};
