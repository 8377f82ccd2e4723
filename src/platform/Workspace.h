#pragma once

#include <string>

// The desktop's workspace: the user's browser and the applications that open files.
class Workspace {
public:
    // Opens the URL with its default handler; answers whether a handler was launched.
    static bool openURL(const std::string& url);
    // Opens the file with the installed application of that name, else with the default
    // application for its content type; answers whether one was launched.
    static bool openFile(const std::string& path, const std::string& applicationName);
    // Folders shown and opened as single documents, by extension (any case); links followed.
    static bool isFilePackageAtPath(const std::string& path);
};
