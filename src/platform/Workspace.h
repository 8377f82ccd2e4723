#pragma once

#include <string>

// The desktop's workspace: the user's browser and the applications that open files.
class Workspace {
public:
    // Opens the URL with its default handler; answers whether a handler was launched.
    static bool openURL(const std::string& url);
};
