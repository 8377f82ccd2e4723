#include "RunningProgram.h"
#include "TestEnvironment.h"

#include <csignal>
#include <filesystem>

using namespace std::chrono_literals;

namespace {

class ProcessTest : public FreshEnvironmentTest {
protected:
    std::vector<std::string> environment(const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> env{"HOME=" + home(), "FRETLARK_SYSROOT=" + sysroot(),
                                     "XDG_CONFIG_HOME=" + home() + "/.config",
                                     "XDG_CACHE_HOME=" + home() + "/.cache",
                                     "XDG_DATA_HOME=" + home() + "/.local/share"};
        env.insert(env.end(), extra.begin(), extra.end());
        return env;
    }
    std::string defaultsFile() const { return home() + "/.config/fretlark/defaults.ini"; }
};

TEST_F(ProcessTest, TerminationSignalsEndTheProgramInOrder) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        std::filesystem::remove(defaultsFile());
        RunningProgram program({FRETLARK_BINARY}, environment());
        ASSERT_FALSE(program.waitForWindow("Download Store.*", 20s).empty()) << signal;
        program.signal(signal);
        EXPECT_EQ(program.waitForExit(20s), 0) << "signal " << signal;
        EXPECT_TRUE(std::filesystem::exists(defaultsFile())) << "settings written on the way out";
    }
}

TEST_F(ProcessTest, ASecondStartHandsOverToTheRunningInstance) {
    RunningProgram first({FRETLARK_BINARY}, environment());
    ASSERT_FALSE(first.waitForWindow("Download Store.*", 20s).empty());
    RunningProgram second({FRETLARK_BINARY}, environment());
    EXPECT_EQ(second.waitForExit(20s), 0);
    EXPECT_EQ(first.waitForExit(1s), -1) << "the first instance keeps running";
    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(20s), 0);
}

TEST_F(ProcessTest, AnOldSystemIsToldWhyAndTheProgramEnds) {
    RunningProgram program({FRETLARK_BINARY}, environment({"FRETLARK_SYSTEM_VERSION=0x1039"}));
    std::string alert = program.waitForWindow("Can.t run Fretlark applicaion", 20s);
    ASSERT_FALSE(alert.empty());
    EXPECT_TRUE(program.waitForWindow("Download Store.*", 0s).empty());
    RunningProgram::pressKey(alert, "Return");
    EXPECT_EQ(program.waitForExit(20s), 0);
}

} // namespace
