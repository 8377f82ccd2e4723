#include "DownloadTestSupport.h"

#include <csignal>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <vector>

namespace {

class DownloadCrashTest : public DownloadTest {
protected:
    GPid spawnEngine(const std::vector<std::string>& arguments) {
        std::vector<char*> argv{const_cast<char*>(DOWNLOAD_ENGINE_CHILD)};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        GPid pid = 0;
        EXPECT_TRUE(g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                                  nullptr, &pid, nullptr));
        return pid;
    }

    // The exit status, or -1 when the child did not end in time (it is then killed).
    int waitForExit(GPid pid, std::chrono::seconds timeout) {
        int status = 0;
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return -1;
            }
            g_usleep(10000);
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

} // namespace

TEST_F(DownloadCrashTest, AKilledEngineCompletesEveryLessonExactlyAfterARestart) {
    std::vector<std::string> names{"One.mov", "Two.mov", "Three.mov"};
    std::vector<std::string> sources;
    std::vector<EpisodeValues> episodes;
    for (unsigned i = 0; i < names.size(); ++i) {
        sources.push_back(makeLesson(names[i], 1500000, i + 7));
        episodes.push_back(episode(names[i]));
    }
    FaultPlan slow;
    slow.bytesPerSecond = 1000000;
    store->store().setFaults(slow);

    GPid engine = spawnEngine({"add", writeDescription(describe({episodes}))});
    ASSERT_TRUE(waitFor([&] { return sizeOfFile(libraryPath(episodes[0])) > 200000; }));
    kill(engine, SIGKILL);
    EXPECT_EQ(waitForExit(engine, std::chrono::seconds(10)), -1);
    std::int64_t partial = sizeOfFile(libraryPath(episodes[0]));
    EXPECT_LT(partial, 1500000);

    store->store().setFaults(FaultPlan());
    GPid restarted = spawnEngine({"resume"});
    ASSERT_EQ(waitForExit(restarted, std::chrono::seconds(120)), 0);
    for (unsigned i = 0; i < names.size(); ++i)
        EXPECT_EQ(sha256OfFile(libraryPath(episodes[i])), sha256OfFile(sources[i])) << names[i];
}
