#include "DownloadTestSupport.h"

#include "download/DownloadController.h"
#include "platform/Defaults.h"
#include "platform/MainThread.h"

#include <filesystem>
#include <glib.h>
#include <pugixml.hpp>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

void DownloadTest::SetUp() {
    FreshEnvironmentTest::SetUp();
    MainThread::adopt();
    store = std::make_unique<StoreThread>(root() + "/store");
    Defaults::standard().setString("storeCertificate", store->authorityPath());
}

void DownloadTest::TearDown() {
    DownloadController::uninitialize();
    // Notifications still queued belong to this test only.
    spin();
    store.reset();
    FreshEnvironmentTest::TearDown();
}

std::string DownloadTest::makeLesson(const std::string& name, std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string contents(size, '\0');
    for (char& byte : contents)
        byte = static_cast<char>(generator() & 0xff);
    writeFile(store->lessonsFolder() + "/" + name, contents);
    return store->lessonsFolder() + "/" + name;
}

EpisodeValues DownloadTest::episode(const std::string& filename) const {
    EpisodeValues values;
    values.filename = filename;
    values.link = store->lessonURL(filename);
    return values;
}

std::string DownloadTest::describe(const std::vector<std::vector<EpisodeValues>>& series) {
    pugi::xml_document document;
    pugi::xml_node root = document.append_child("Download");
    for (const auto& episodes : series) {
        pugi::xml_node seriesNode = root.append_child("Series");
        for (const EpisodeValues& values : episodes) {
            pugi::xml_node node = seriesNode.append_child("Episode");
            node.append_child("Instrument").text().set(values.instrument.c_str());
            node.append_child("Category").text().set(values.category.c_str());
            node.append_child("Sub-Category").text().set(values.subCategory.c_str());
            node.append_child("Filename").text().set(values.filename.c_str());
            node.append_child("Artist").text().set(values.artist.c_str());
            node.append_child("Level").text().set(values.level.c_str());
            node.append_child("Link").text().set(values.link.c_str());
        }
    }
    std::ostringstream out;
    document.save(out, "", pugi::format_raw);
    return out.str();
}

std::string DownloadTest::writeDescription(const std::string& xml) {
    std::string path = workFolder() + "/order=1.xml";
    writeFile(path, xml);
    return path;
}

std::string DownloadTest::libraryPath(const EpisodeValues& values) const {
    return purchases() + "/" + values.instrument + "/" + values.category + "/" +
           values.subCategory + "/" + values.filename;
}

std::string sha256OfFile(const std::string& path) {
    if (!fs::exists(path))
        return "missing";
    std::string bytes = readFile(path);
    gchar* digest = g_compute_checksum_for_data(
        G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
    std::string text = digest;
    g_free(digest);
    return text;
}

std::int64_t sizeOfFile(const std::string& path) {
    std::error_code error;
    auto size = fs::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

bool fileExists(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}
