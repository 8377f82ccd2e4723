#include "library/FSNodeInfo.h"

#include "platform/Workspace.h"

#include "platform/Resources.h"

#include <dirent.h>
#include <giomm/contenttype.h>
#include <giomm/emblem.h>
#include <giomm/file.h>
#include <giomm/fileicon.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Document formats stored as folders; all of them open as one file.

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

std::string collationKey(const std::string& name) {
    gchar* display = g_filename_display_name(name.c_str());
    gchar* folded = g_utf8_casefold(display, -1);
    gchar* key = g_utf8_collate_key_for_filename(folded, -1);
    std::string result(key);
    g_free(key);
    g_free(folded);
    g_free(display);
    return result;
}

// The folder's entry names. Linux lists entries in no useful order, so they come sorted the way
// a file manager sorts them: ignoring case, "Lesson 2" before "Lesson 10".
std::vector<std::string> listFolder(const std::string& path) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(path.c_str()));
    if (!dir)
        return {};
    std::vector<std::pair<std::string, std::string>> keyed;
    while (const dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        keyed.emplace_back(collationKey(name), std::move(name));
    }
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::string> names;
    names.reserve(keyed.size());
    for (auto& [key, name] : keyed)
        names.push_back(std::move(name));
    return names;
}

bool isVisibleName(const std::string& name) {
    return !name.empty() && name.front() != '.';
}

bool statFollowingLinks(const std::string& path, struct stat& info) {
    return stat(path.c_str(), &info) == 0;
}

Glib::RefPtr<Gio::Icon> iconForFileType(const std::string& name) {
    bool uncertain = false;
    std::string type = Gio::content_type_guess(name, nullptr, 0, uncertain);
    return Gio::content_type_get_icon(type);
}

// A broken link has no file of its own to ask about.
Glib::RefPtr<Gio::Icon> iconForFile(const std::string& path) {
    struct stat info {};
    if (!statFollowingLinks(path, info))
        return {};
    try {
        auto info = Gio::File::create_for_path(path)->query_info("standard::icon");
        return info->get_icon();
    } catch (const Glib::Error&) {
        return {};
    }
}

Glib::RefPtr<Gio::Icon> iconForImageResource(const std::string& name) {
    std::string path = Resources::pathForImageResource(name);
    if (path.empty())
        return {};
    auto file = Gio::File::create_for_path(path);
    return Glib::wrap(g_file_icon_new(file->gobj()));
}

} // namespace

std::shared_ptr<FSNodeInfo> FSNodeInfo::nodeWithParent(std::shared_ptr<FSNodeInfo> parent,
                                                       const std::string& relativePath,
                                                       LibraryRoot* app) {
    return std::make_shared<FSNodeInfo>(Key{}, std::move(parent), relativePath, app);
}

FSNodeInfo::FSNodeInfo(Key, std::shared_ptr<FSNodeInfo> parent, std::string relativePath,
                       LibraryRoot* app)
    : relativePath_(std::move(relativePath)), parentNode(std::move(parent)), app(app) {}

std::string FSNodeInfo::lastPathComponentOf(const std::string& path) {
    std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos)
        return path.empty() ? std::string() : std::string("/");
    std::size_t start = path.rfind('/', end);
    return path.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1) + 1);
}

std::string FSNodeInfo::lastPathComponent() const {
    return lastPathComponentOf(relativePath_);
}

std::string FSNodeInfo::absolutePath() const {
    if (!parentNode)
        return relativePath_;
    std::string base = parentNode->absolutePath();
    if (app) {
        std::string root = app->getRootDirectory();
        if (base == root + "/")
            base = root;
    }
    return base + "/" + relativePath_;
}

FSNodeInfoArray FSNodeInfo::subNodes() {
    std::string path = absolutePath();
    // A package is one document: its insides are never part of the library.
    if (Workspace::isFilePackageAtPath(path))
        return {};
    FSNodeInfoArray nodes;
    for (const std::string& name : listFolder(path))
        nodes.push_back(nodeWithParent(shared_from_this(), name, app));
    return nodes;
}

FSNodeInfoArray FSNodeInfo::visibleSubNodes() {
    return filtered(true);
}

FSNodeInfoArray FSNodeInfo::visibleSubNodesNotDirs() {
    return filtered(false);
}

FSNodeInfoArray FSNodeInfo::filtered(bool keepDirectories) {
    FSNodeInfoArray nodes = subNodes();
    std::erase_if(nodes, [keepDirectories](const std::shared_ptr<FSNodeInfo>& node) {
        return !node->isVisible() || (!keepDirectories && node->isDirectory());
    });
    return nodes;
}

bool FSNodeInfo::containsFiles() {
    if (!didContainTest)
        runContainsTest();
    return containsFiles_;
}

bool FSNodeInfo::containsDirs() {
    containsFiles();
    return containsDirs_;
}

// One scan answers both questions. A package ends the scan: the folder holds a document, which
// is all the browser needs to know, so containsDirs may stay unset after it.
void FSNodeInfo::runContainsTest() {
    didContainTest = true;
    std::string path = absolutePath();
    if (Workspace::isFilePackageAtPath(path))
        return;
    for (const std::string& name : listFolder(path)) {
        if (!isVisibleName(name))
            continue;
        std::string childPath = path + "/" + name;
        struct stat info {};
        if (!statFollowingLinks(childPath, info))
            continue;
        if (!S_ISDIR(info.st_mode)) {
            containsFiles_ = true;
            continue;
        }
        if (Workspace::isFilePackageAtPath(childPath)) {
            containsFiles_ = true;
            return;
        }
        containsDirs_ = true;
    }
}

bool FSNodeInfo::isVisible() const {
    return isVisibleName(lastPathComponent());
}

bool FSNodeInfo::isDirectory() const {
    std::string path = absolutePath();
    struct stat info {};
    return statFollowingLinks(path, info) && S_ISDIR(info.st_mode) &&
           !Workspace::isFilePackageAtPath(path);
}

bool FSNodeInfo::isReadable() const {
    return access(absolutePath().c_str(), R_OK) == 0;
}

bool FSNodeInfo::isLink() const {
    struct stat info {};
    return lstat(absolutePath().c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::string FSNodeInfo::fsType() const {
    return isDirectory() ? "Directory" : "Non-Directory";
}

Glib::RefPtr<Gio::Icon> FSNodeInfo::icon() const {
    std::string path = absolutePath();
    // A package shows the icon of its document type, not the folder icon.
    Glib::RefPtr<Gio::Icon> base =
        Workspace::isFilePackageAtPath(path) ? nullptr : iconForFile(path);
    if (!base)
        base = iconForFileType(lastPathComponent());
    if (!base)
        return iconForImageResource("FSIconImage-Default");
    if (!isLink())
        return base;
    Glib::RefPtr<Gio::Icon> arrow = iconForImageResource("FSIconImage-LinkArrow");
    if (!arrow)
        return base;
    auto emblem = Gio::Emblem::create(arrow);
    return Glib::wrap(G_ICON(g_emblemed_icon_new(base->gobj(), emblem->gobj())));
}
