#pragma once

#include "search/DirectoryWatch.h"
#include "search/IndexDatabase.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// The index of one library folder and what keeps it current. The first refresh walks the whole
// tree and compares each entry's (path, size, modification time) with what is stored, reading
// only new and changed files; later refreshes look again only at the folders the kernel reported
// as changed, and walk the whole tree again when it may have missed something. Names beginning
// with "." are left out, and so is what lies under them. Used by one thread.
class LibraryIndex {
public:
    using CancelCheck = std::function<bool()>;

    // The database file of a library folder, in the user's cache folder.
    static std::string databaseFile(const std::string& root);

    // The folder without trailing separators, as the index keeps it.
    static std::string normalizedRoot(std::string root);

    explicit LibraryIndex(const std::string& root);

    const std::string& root() const { return rootFolder; }
    // Throws the stored index away and starts afresh.
    void rebuild();

    // Brings the index up to date with the files. `progress` runs every so often during a long
    // refresh, after the work so far is saved. False when cancelled or failed; what was saved
    // stays.
    bool refresh(const CancelCheck& cancelled, const std::function<void()>& progress);
    // The paths of the items that match, sorted by their display names.
    bool search(const std::string& expression, const CancelCheck& cancelled,
                std::vector<std::string>& paths);
    std::int64_t countMatches(const std::string& expression);

private:
    struct Entry;
    bool refreshFolder(const std::string& folder, bool descend);
    bool refreshEntry(const Entry& entry, std::unordered_map<std::string, IndexDatabase::Row>& rows,
                      bool descend);
    bool removeTree(const std::string& path);
    bool saveNow();
    void open();

    std::string rootFolder;
    std::unique_ptr<IndexDatabase> database;
    std::unique_ptr<DirectoryWatch> watch;
    CancelCheck cancelled;
    std::function<void()> progress;
    std::chrono::steady_clock::time_point lastSave;
};
