#pragma once

#include <string>

// Where things live on this machine: home, XDG folders and the system root for the library folders.
class Paths {
public:
    static std::string homeDirectory();
    // "~" and "~/..." expand from HOME; anything else is returned unchanged.
    static std::string expandTilde(const std::string& path);
    // An absolute system path ("/Library/...") under FRETLARK_SYSROOT when that is set.
    static std::string systemPath(const std::string& absolutePath);
    static std::string cachesDirectory();
    static std::string configDirectory();
    static std::string dataDirectory();
    // The name or path without its last extension ("Lesson 1.mov" gives "Lesson 1").
    static std::string stringByDeletingPathExtension(const std::string& path);
    // A file name or path as the user reads it, in UTF-8: names on disk are bytes in whatever
    // encoding they were made with, and only valid text may reach a label, a title or a GVariant.
    static std::string displayName(const std::string& path);
};
