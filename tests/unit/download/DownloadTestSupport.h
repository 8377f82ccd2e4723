#pragma once

#include "StoreThread.h"
#include "TestEnvironment.h"
#include "download/DownloadProgressDelegate.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Records the engine's notifications in the order the main thread receives them.
class ProgressRecorder : public DownloadProgressDelegate {
public:
    void startDownloadProgress(const std::string& path) override { started.push_back(path); }
    void updateDownloadProgress(double percent) override { updates.push_back(percent); }
    void endDownloadProgress() override { ++ended; }

    std::vector<std::string> started;
    std::vector<double> updates;
    int ended = 0;
};

struct EpisodeValues {
    std::string instrument = "Bass";
    std::string category = "Grooves";
    std::string subCategory = "Walking";
    std::string filename;
    std::string artist = "Demo Artist";
    std::string level = "Beginner";
    std::string link;
};

// A fresh HOME and a demo store on 127.0.0.1 whose authority the engine trusts.
class DownloadTest : public FreshEnvironmentTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes pseudo-random content, different for every seed, into the store's lessons folder.
    std::string makeLesson(const std::string& name, std::size_t size, unsigned seed = 1);
    EpisodeValues episode(const std::string& filename) const;
    // A description with one Series per group of episodes.
    static std::string describe(const std::vector<std::vector<EpisodeValues>>& series);
    std::string writeDescription(const std::string& xml);

    std::string purchases() const { return home() + "/Music/Fretlark/Purchases"; }
    std::string cacheFolder() const { return home() + "/.cache/FretlarkDownloads"; }
    std::string workFolder() const { return cacheFolder() + "/download"; }
    std::string libraryPath(const EpisodeValues& values) const;

    std::unique_ptr<StoreThread> store;
    ProgressRecorder recorder;
};

// Transfers take their time under load, so the engine's waits allow half a minute.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    return spinUntil(condition, timeout);
}
std::string sha256OfFile(const std::string& path);
std::int64_t sizeOfFile(const std::string& path);
bool fileExists(const std::string& path);
