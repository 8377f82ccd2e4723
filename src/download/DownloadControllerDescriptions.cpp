// Turning a stored download description into reserved, queued lessons.
#include "download/DownloadController.h"

#include "download/DownloadConstants.h"
#include "download/DownloadDescription.h"
#include "platform/MainThread.h"
#include "platform/data/AtomicFile.h"
#include "platform/data/PropertyList.h"

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A description lists a purchase's lessons; anything this large is not one.
constexpr std::size_t maximumDescriptionSize = 16 << 20;

bool existsWithoutFollowing(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// The placeholder that shows the lesson in the library at once.
void createPlaceholder(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0)
        ::close(fd);
}

} // namespace

void DownloadController::addDownload(const std::string& path) {
    MainThread::assertCurrent("DownloadController::addDownload");
    resumeDownloadsIfNeeded();
    auto text = AtomicFile::read(path, maximumDescriptionSize);
    if (!text)
        return;
    auto document = DownloadDescription::parse(*text);
    if (!document)
        return;
    if (pugi::xml_node root = document->document_element())
        queueDocument(root);
    std::error_code ignored;
    fs::remove(path, ignored);
}

void DownloadController::queueDocument(const pugi::xml_node& root) {
    MainThread::assertCurrent("DownloadController::queueDocument");
    for (const EpisodeRecord& record : DownloadDescription::episodes(root)) {
        if (createLinksForEpisode(record))
            _episodes->enqueue(saveEpisodeToDisk(record));
    }
}

bool DownloadController::createLinksForEpisode(const EpisodeRecord& record) {
    std::string folder = _pathToPurchases;
    for (const char* level :
         {FrlAttributeInstrument, FrlAttributeCategory, FrlAttributeSubCategory}) {
        folder += "/" + record.value(level);
        std::error_code ignored;
        fs::create_directories(folder, ignored);
    }
    std::string libraryPath = folder + "/" + record.value(FrlAttributeFilename);
    if (existsWithoutFollowing(libraryPath))
        return false;
    createPlaceholder(libraryPath);
    std::error_code ignored;
    fs::create_directories(_pathToDownloads, ignored);
    fs::create_symlink(libraryPath, _pathToDownloads + "/" + record.value(FrlAttributeFilename),
                       ignored);
    return true;
}

std::string DownloadController::saveEpisodeToDisk(const EpisodeRecord& record) {
    std::string path = freeRecordPath(record);
    PropertyList::writeAtomically(path, record.toDictionary());
    return path;
}
