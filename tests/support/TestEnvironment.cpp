#include "TestEnvironment.h"

#include "platform/Defaults.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

void FreshEnvironmentTest::SetUp() {
    std::string pattern = (fs::temp_directory_path() / "fretlark-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    tempRoot = pattern;
    fs::create_directories(home());
    fs::create_directories(sysroot());
    setenv("HOME", home().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home() + "/.config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home() + "/.cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (home() + "/.local/share").c_str(), 1);
    setenv("FRETLARK_SYSROOT", sysroot().c_str(), 1);
    unsetenv("FRETLARK_SYSTEM_VERSION");
    unsetenv("FRETLARK_QUICKTIME_VERSION");
    if (const char* resources = std::getenv("FRETLARK_RESOURCES"))
        savedResources = resources;
    Defaults::resetStandard();
}

void FreshEnvironmentTest::TearDown() {
    if (savedResources)
        setenv("FRETLARK_RESOURCES", savedResources->c_str(), 1);
    else
        unsetenv("FRETLARK_RESOURCES");
    Defaults::resetStandard();
    std::error_code error;
    fs::remove_all(tempRoot, error);
}

std::string FreshEnvironmentTest::makeSystemFolder(const std::string& absolutePath) const {
    std::string path = sysroot() + absolutePath;
    fs::create_directories(path);
    return path;
}

std::string FreshEnvironmentTest::useOwnResources() {
    std::string resources = root() + "/resources";
    fs::create_directories(resources);
    setenv("FRETLARK_RESOURCES", resources.c_str(), 1);
    return resources;
}

void FreshEnvironmentTest::writeFile(const std::string& path, const std::string& contents) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << contents;
}

std::string FreshEnvironmentTest::readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}
