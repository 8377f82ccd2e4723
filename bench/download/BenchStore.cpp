#include "BenchStore.h"

#include "platform/Defaults.h"
#include "platform/MainThread.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

BenchStore::BenchStore() {
    std::string pattern = (fs::temp_directory_path() / "fretlark-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return;
    root = pattern;
    fs::create_directories(root + "/home");
    fs::create_directories(root + "/store/lessons");
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/home/.config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/home/.cache").c_str(), 1);
    MainThread::adopt();

    std::string storeFolder = root + "/store";
    std::vector<char*> argv{const_cast<char*>(DEMO_STORE_PROGRAM), const_cast<char*>("--folder"),
                            storeFolder.data(), nullptr};
    int output = -1;
    if (!g_spawn_async_with_pipes(nullptr, argv.data(), nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                                  nullptr, &pid, nullptr, &output, nullptr, nullptr))
        return;
    FILE* lines = fdopen(output, "r");
    char line[4096];
    while (fgets(line, sizeof line, lines)) {
        std::string text(line);
        if (text.back() == '\n')
            text.pop_back();
        if (text.rfind("port=", 0) == 0)
            port = std::atoi(text.c_str() + 5);
        if (text.rfind("certificate=", 0) == 0) {
            authorityPath = text.substr(12);
            break;
        }
    }
    fclose(lines);
    Defaults::resetStandard();
    Defaults::standard().setString("storeCertificate", authorityPath);
}

BenchStore::~BenchStore() {
    if (pid) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        g_spawn_close_pid(pid);
    }
    std::error_code ignored;
    if (!root.empty())
        fs::remove_all(root, ignored);
}

std::string BenchStore::makeLesson(const std::string& name, std::size_t megabytes) {
    std::ofstream out(root + "/store/lessons/" + name, std::ios::binary);
    std::mt19937_64 generator(42);
    std::vector<std::uint64_t> block(1 << 17);
    for (std::size_t written = 0; written < megabytes; ++written) {
        for (auto& word : block)
            word = generator();
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * sizeof(std::uint64_t)));
    }
    return "https://127.0.0.1:" + std::to_string(port) + "/lessons/" + name;
}

std::string BenchStore::descriptionFor(const std::string& name, const std::string& url) const {
    return "<Download><Series><Episode><Instrument>Bass</Instrument><Category>Bench</Category>"
           "<Sub-Category>Loopback</Sub-Category><Filename>" +
           name + "</Filename><Artist>Bench</Artist><Level>Any</Level><Link>" + url +
           "</Link></Episode></Series></Download>";
}

std::string BenchStore::libraryPath(const std::string& name) const {
    return root + "/home/Music/Fretlark/Purchases/Bass/Bench/Loopback/" + name;
}
