#include "search/LibraryIndex.h"

#include "platform/Paths.h"
#include "platform/Workspace.h"
#include "search/FileContent.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>

namespace {

// Work is saved, and progress told, this often during a long refresh.
constexpr auto saveInterval = std::chrono::milliseconds(250);

std::string hashName(const std::string& text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text)
        hash = (hash ^ c) * 0x100000001b3ull;
    char name[32];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return name;
}

std::int64_t nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::string displayName(const char* name) {
    gchar* shown = g_filename_display_name(name);
    std::string result = shown;
    g_free(shown);
    return result;
}

class FolderListing {
public:
    explicit FolderListing(const std::string& folder) : dir(opendir(folder.c_str())) {}
    ~FolderListing() {
        if (dir)
            closedir(dir);
    }
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;
    bool isOpen() const { return dir != nullptr; }
    int descriptor() const { return dirfd(dir); }
    const char* next() {
        dirent* entry = readdir(dir);
        return entry ? entry->d_name : nullptr;
    }

private:
    DIR* dir;
};

} // namespace

struct LibraryIndex::Entry {
    IndexDatabase::Item item;
    bool package = false;
};

std::string LibraryIndex::databaseFile(const std::string& root) {
    return Paths::cachesDirectory() + "/fretlark/library-" + hashName(root) + ".sqlite";
}

std::string LibraryIndex::normalizedRoot(std::string root) {
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

LibraryIndex::LibraryIndex(const std::string& root) : rootFolder(normalizedRoot(root)) {
    open();
}

void LibraryIndex::open() {
    database = IndexDatabase::open(databaseFile(rootFolder));
    if (!database) {
        g_message("library index: the cache folder is not usable; indexing in memory");
        database = IndexDatabase::openInMemory();
    }
    watch = std::make_unique<DirectoryWatch>(rootFolder);
}

void LibraryIndex::rebuild() {
    database.reset();
    IndexDatabase::remove(databaseFile(rootFolder));
    open();
}

bool LibraryIndex::refresh(const CancelCheck& isCancelled, const std::function<void()>& tell) {
    if (!database)
        return false;
    cancelled = isCancelled;
    progress = tell;
    // Writes are never interrupted: an interrupted write would take the unsaved batch with it.
    database->setCancelCheck(nullptr);
    if (!database->begin())
        return false;
    lastSave = std::chrono::steady_clock::now();
    bool done = true;
    if (!watch->isComplete()) {
        watch->beginWalk();
        done = refreshFolder(rootFolder, true);
        if (done)
            watch->endWalk();
    } else {
        for (const std::string& folder : watch->changedFolders()) {
            done = refreshFolder(folder, false);
            if (!done) {
                // The folders not looked at are forgotten: walk everything next time.
                watch->beginWalk();
                break;
            }
        }
    }
    return database->commit() && done;
}

bool LibraryIndex::refreshFolder(const std::string& folder, bool descend) {
    auto rows = database->rowsInFolder(folder);
    if (database->failed())
        return false;
    FolderListing listing(folder);
    if (listing.isOpen())
        watch->add(folder);
    for (const char* name; listing.isOpen() && (name = listing.next());) {
        if (name[0] == '.')
            continue;
        if (cancelled())
            return false;
        struct stat info;
        if (fstatat(listing.descriptor(), name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        std::string path = folder + "/" + name;
        // A link counts as the file it names; links to folders are not followed, so no loop.
        if (S_ISLNK(info.st_mode) && (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)))
            continue;
        if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
            continue;
        Entry entry;
        entry.package = S_ISDIR(info.st_mode) && Workspace::isFilePackageAtPath(path);
        entry.item = {path,
                      folder,
                      displayName(name),
                      static_cast<std::int64_t>(info.st_size),
                      nanoseconds(info.st_mtim),
                      S_ISDIR(info.st_mode) && !entry.package};
        if (!refreshEntry(entry, rows, descend))
            return false;
        rows.erase(path);
    }
    for (const auto& gone : rows)
        if (!removeTree(gone.first))
            return false;
    return true;
}

bool LibraryIndex::refreshEntry(const Entry& entry,
                                std::unordered_map<std::string, IndexDatabase::Row>& rows,
                                bool descend) {
    const IndexDatabase::Item& item = entry.item;
    auto stored = rows.find(item.path);
    std::int64_t id = stored == rows.end() ? 0 : stored->second.id;
    if (stored != rows.end() && stored->second.folder != item.folder) {
        if (!removeTree(item.path))
            return false;
        id = 0;
    }
    if (item.folder) {
        // A known folder is looked into only on a whole walk, or when it is not watched (it could
        // not be read before).
        if (id && !descend && watch->isWatching(item.path))
            return true;
        if (!id && (!database->store(item, {}, {}) || !saveNow()))
            return false;
        return refreshFolder(item.path, true);
    }
    if (id && stored->second.size == item.size && stored->second.modified == item.modified)
        return true;
    FileContent content = entry.package ? FileContent() : FileContent::read(item.path, cancelled);
    if (cancelled())
        return false;
    return database->store(item, content.annotations, content.body, id) && saveNow();
}

bool LibraryIndex::removeTree(const std::string& path) {
    watch->removeTree(path);
    return database->removeTree(path) && saveNow();
}

bool LibraryIndex::saveNow() {
    auto now = std::chrono::steady_clock::now();
    if (now - lastSave < saveInterval)
        return true;
    lastSave = now;
    if (!database->commit() || !database->begin())
        return false;
    if (progress)
        progress();
    return true;
}

bool LibraryIndex::search(const std::string& expression, const CancelCheck& isCancelled,
                          std::vector<std::string>& paths) {
    if (!database)
        return false;
    database->setCancelCheck(isCancelled);
    std::vector<IndexDatabase::Hit> hits;
    if (!database->match(expression, rootFolder, hits))
        return false;
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(hits.size());
    for (std::size_t index = 0; index < hits.size(); ++index) {
        // Case does not order names, numbers count by value: "lesson 2" before "Lesson 10".
        gchar* folded = g_utf8_casefold(hits[index].displayName.c_str(), -1);
        gchar* key = g_utf8_collate_key_for_filename(folded, -1);
        keys.emplace_back(key, index);
        g_free(key);
        g_free(folded);
    }
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        int order = a.first.compare(b.first);
        return order != 0 ? order < 0 : hits[a.second].path < hits[b.second].path;
    });
    paths.clear();
    for (const auto& key : keys)
        paths.push_back(std::move(hits[key.second].path));
    return true;
}

std::int64_t LibraryIndex::countMatches(const std::string& expression) {
    return database ? database->countMatches(expression) : 0;
}
