#include "platform/Resources.h"

#include <cstdlib>
#include <filesystem>

namespace {

bool isFolder(const std::string& folder) {
    std::error_code error;
    return !folder.empty() && std::filesystem::is_directory(folder, error);
}

} // namespace

std::string Resources::resourceDirectory() {
    // An explicit folder is authoritative (tests, relocated installs); otherwise the installed
    // resources, then the source tree's for a program run from its build folder.
    if (const char* fromEnvironment = std::getenv("FRETLARK_RESOURCES");
        fromEnvironment && isFolder(fromEnvironment))
        return fromEnvironment;
    if (isFolder(FRETLARK_INSTALLED_RESOURCE_DIR) &&
        std::filesystem::exists(std::string(FRETLARK_INSTALLED_RESOURCE_DIR) + "/MainWindow.ui"))
        return FRETLARK_INSTALLED_RESOURCE_DIR;
    return FRETLARK_SOURCE_RESOURCE_DIR;
}

std::string Resources::pathForResource(const std::string& name, const std::string& extension) {
    if (name.empty() || name.find('/') != std::string::npos)
        return {};
    std::string path = resourceDirectory() + "/" + name;
    if (!extension.empty())
        path += "." + extension;
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) ? path : std::string();
}

std::string Resources::pathForImageResource(const std::string& name) {
    for (const char* extension : {"svg", "png", "jpg"}) {
        std::string path = pathForResource(name, extension);
        if (!path.empty())
            return path;
    }
    return {};
}

std::string Resources::pathForLayout(const std::string& name) {
    return pathForResource(name, "ui");
}

std::string Resources::objectForInfoDictionaryKey(const std::string& key) {
    return key == "CFBundleShortVersionString" ? std::string(FRETLARK_VERSION) : std::string();
}
