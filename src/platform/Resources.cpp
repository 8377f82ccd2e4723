#include "platform/Resources.h"

#include <array>
#include <cstdlib>
#include <filesystem>

namespace {

bool isResourceFolder(const std::string& folder) {
    std::error_code error;
    return !folder.empty() && std::filesystem::is_regular_file(folder + "/MainWindow.ui", error);
}

} // namespace

std::string Resources::resourceDirectory() {
    const char* fromEnvironment = std::getenv("FRETLARK_RESOURCES");
    const std::array<std::string, 3> candidates{fromEnvironment ? fromEnvironment : "",
                                                FRETLARK_INSTALLED_RESOURCE_DIR,
                                                FRETLARK_SOURCE_RESOURCE_DIR};
    for (const auto& folder : candidates)
        if (isResourceFolder(folder))
            return folder;
    return fromEnvironment ? fromEnvironment : FRETLARK_SOURCE_RESOURCE_DIR;
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
