#include "platform/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <glib.h>
#include <pwd.h>
#include <unistd.h>

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string xdgDirectory(const char* variable, const char* fallbackUnderHome) {
    std::string value = environment(variable);
    if (!value.empty() && value.front() == '/')
        return value;
    return Paths::homeDirectory() + "/" + fallbackUnderHome;
}

} // namespace

std::string Paths::homeDirectory() {
    std::string home = environment("HOME");
    if (!home.empty())
        return home;
    const passwd* entry = getpwuid(getuid());
    return entry && entry->pw_dir ? std::string(entry->pw_dir) : std::string("/");
}

std::string Paths::expandTilde(const std::string& path) {
    if (path == "~")
        return homeDirectory();
    if (path.rfind("~/", 0) == 0)
        return homeDirectory() + path.substr(1);
    return path;
}

std::string Paths::systemPath(const std::string& absolutePath) {
    std::string root = environment("FRETLARK_SYSROOT");
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root + absolutePath;
}

std::string Paths::cachesDirectory() {
    return xdgDirectory("XDG_CACHE_HOME", ".cache");
}

std::string Paths::configDirectory() {
    return xdgDirectory("XDG_CONFIG_HOME", ".config");
}

std::string Paths::dataDirectory() {
    return xdgDirectory("XDG_DATA_HOME", ".local/share");
}

std::string Paths::stringByDeletingPathExtension(const std::string& path) {
    return std::filesystem::path(path).replace_extension().string();
}

std::string Paths::displayName(const std::string& path) {
    g_autofree gchar* shown = g_filename_display_name(path.c_str());
    return shown;
}
