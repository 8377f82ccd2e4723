#include "app/AppController.h"

#include "app/FrlConstants.h"
#include "platform/Workspace.h"

#include <filesystem>

namespace {

const char* const FrlpreviewAppName = "Preview";
const char* const FrltextEditAppName = "TextEdit";
const char* const FrlgarageBandAppName = "GarageBand";

std::string extensionOf(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    return extension.empty() ? extension : extension.substr(1);
}

} // namespace

bool AppController::launchFile(const std::string& path, bool showPosterOnly) {
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return false;
    if (std::filesystem::is_directory(path, error) && !Workspace::isFilePackageAtPath(path))
        return false;
    std::string extension = extensionOf(path);
    for (const auto& [known, application] : {std::pair{FrlpdfFileExt, FrlpreviewAppName},
                                             std::pair{FrltextFileExt, FrltextEditAppName},
                                             std::pair{FrlgarageBandExt, FrlgarageBandAppName}}) {
        if (extension == known)
            return !showPosterOnly && Workspace::openFile(path, application);
    }
    playMovieFile(path, showPosterOnly);
    return false;
}

bool AppController::launchFileNoPoster(const std::string& path) {
    return launchFile(path, false);
}
