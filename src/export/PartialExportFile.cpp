#include "export/PartialExportFile.h"

#include "platform/data/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string displayName(const std::filesystem::path& path) {
    gchar* name = g_filename_display_name(path.c_str());
    std::string text = name;
    g_free(name);
    return text;
}

std::string folderProblem(const std::filesystem::path& folder, int error) {
    std::string name = "“" + displayName(folder) + "”";
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "The folder " + name + " does not exist.";
    case EACCES:
    case EPERM:
        return "You don't have permission to save in the folder " + name + ".";
    case EROFS:
        return "The folder " + name + " is on a disk that cannot be written to.";
    case ENOSPC:
    case EDQUOT:
        return "There is no room left on the disk of the folder " + name + ".";
    default:
        return "The export cannot be saved in the folder " + name + ": " + std::strerror(error) +
               ".";
    }
}

// Files are made readable as any new file of the user's would be (mkstemp makes them private).
void applyUmask(int fd) {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
}

} // namespace

PartialExportFile::~PartialExportFile() {
    discard();
}

bool PartialExportFile::create(const std::string& target, std::string* error) {
    discard();
    std::filesystem::path path(target);
    std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = folderProblem(folder, errno);
        return false;
    }
    applyUmask(fd);
    ::close(fd);
    destination = target;
    temporary = pattern;
    return true;
}

bool PartialExportFile::commit(std::string* error) {
    std::filesystem::path folder = std::filesystem::path(destination).parent_path();
    int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    bool flushed = fd >= 0 && ::fsync(fd) == 0;
    int flushError = errno;
    if (fd >= 0)
        ::close(fd);
    if (!flushed || ::rename(temporary.c_str(), destination.c_str()) != 0) {
        *error = folderProblem(folder.empty() ? "." : folder, flushed ? errno : flushError);
        discard();
        return false;
    }
    temporary.clear();
    AtomicFile::syncFolder(folder.string());
    return true;
}

void PartialExportFile::discard() {
    if (!temporary.empty())
        ::unlink(temporary.c_str());
    temporary.clear();
}
