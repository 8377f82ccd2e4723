#include "search/DirectoryWatch.h"

#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr unsigned folderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF |
                                  IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

DirectoryWatch::DirectoryWatch(std::string rootFolder)
    : root(std::move(rootFolder)), fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

DirectoryWatch::~DirectoryWatch() {
    if (fd >= 0)
        ::close(fd);
}

void DirectoryWatch::beginWalk() {
    complete = false;
    walkFailed = fd < 0;
    // What happened before the walk, the walk sees.
    changedFolders();
}

void DirectoryWatch::endWalk() {
    complete = !walkFailed && isWatching(root);
}

void DirectoryWatch::add(const std::string& folder) {
    if (fd < 0 || watchOf.count(folder))
        return;
    int wd = inotify_add_watch(fd, folder.c_str(), folderEvents);
    if (wd < 0) {
        walkFailed = true;
        complete = false;
        return;
    }
    // A folder moved inside the tree keeps its watch under its new path.
    if (auto old = folderOf.find(wd); old != folderOf.end())
        watchOf.erase(old->second);
    folderOf[wd] = folder;
    watchOf[folder] = wd;
}

void DirectoryWatch::removeTree(const std::string& folder) {
    auto first = watchOf.lower_bound(folder);
    std::string prefix = folder + "/";
    while (first != watchOf.end() &&
           (first->first == folder || first->first.compare(0, prefix.size(), prefix) == 0)) {
        inotify_rm_watch(fd, first->second);
        folderOf.erase(first->second);
        first = watchOf.erase(first);
    }
}

void DirectoryWatch::handle(int wd, unsigned mask, const char* name) {
    if (mask & IN_Q_OVERFLOW) {
        complete = false;
        return;
    }
    auto folder = folderOf.find(wd);
    if (folder == folderOf.end())
        return;
    if (mask & IN_IGNORED) {
        watchOf.erase(folder->second);
        folderOf.erase(folder);
        return;
    }
    if ((mask & (IN_DELETE_SELF | IN_MOVE_SELF)) && folder->second == root) {
        complete = false;
        return;
    }
    // Hidden entries are never indexed, so their comings and goings change nothing.
    if (name && name[0] == '.')
        return;
    if (mask & ~(IN_DELETE_SELF | IN_MOVE_SELF | IN_ISDIR))
        changed.insert(folder->second);
}

std::set<std::string> DirectoryWatch::changedFolders() {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        ssize_t length = ::read(fd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (char* p = buffer; p < buffer + length;) {
            auto* event = reinterpret_cast<inotify_event*>(p);
            handle(event->wd, event->mask, event->len ? event->name : nullptr);
            p += sizeof(inotify_event) + event->len;
        }
    }
    return std::exchange(changed, {});
}
