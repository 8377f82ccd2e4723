#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_map>

// Kernel notifications (inotify) for the folders of a tree: which folders had entries added,
// removed, renamed or changed since the last look. The watch is complete only while every folder
// of the tree is watched and no notification was lost; otherwise the tree must be walked whole.
// Used by one thread.
class DirectoryWatch {
public:
    explicit DirectoryWatch(std::string root);
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    bool isComplete() const { return complete; }
    bool isWatching(const std::string& folder) const { return watchOf.count(folder) != 0; }
    // A walk of the whole tree starts: every folder will be added again.
    void beginWalk();
    // The walk went through: the watch is complete if every folder could be added.
    void endWalk();
    void add(const std::string& folder);
    // Stops watching the folder and every folder under it.
    void removeTree(const std::string& folder);
    // The folders whose entries changed since the last call, in path order.
    std::set<std::string> changedFolders();

private:
    void handle(int wd, unsigned mask, const char* name);

    std::string root;
    int fd;
    bool complete = false;
    bool walkFailed = false;
    std::unordered_map<int, std::string> folderOf;
    std::map<std::string, int> watchOf;
    std::set<std::string> changed;
};
