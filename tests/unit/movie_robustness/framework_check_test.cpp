#include "TestEnvironment.h"

#include "platform/VersionQuery.h"

#include <filesystem>
#include <sys/wait.h>

namespace {

using MovieFrameworkCheckTest = FreshEnvironmentTest;

// The start-up check in a new process that sees only these plug-ins: 7 passes, 6 is refused.
int versionWithPlugins(const std::string& folder, const std::vector<std::string>& plugins) {
    std::filesystem::create_directories(folder);
    for (const std::string& plugin : plugins)
        std::filesystem::create_symlink(std::string(GST_PLUGINS_DIR) + "/libgst" + plugin + ".so",
                                        folder + "/libgst" + plugin + ".so");
    if (pid_t child = fork(); child != 0) {
        int status = 0;
        waitpid(child, &status, 0);
        return WEXITSTATUS(status);
    }
    setenv("GST_PLUGIN_SYSTEM_PATH_1_0", folder.c_str(), 1);
    setenv("GST_REGISTRY_1_0", (folder + "/registry.bin").c_str(), 1);
    unsetenv("GST_PLUGIN_PATH_1_0");
    unsetenv("GST_PLUGIN_PATH");
    _exit(static_cast<int>(VersionQuery::gestalt("qtim").value_or(0) >> 24));
}

TEST_F(MovieFrameworkCheckTest, RequiresDecodersForH264AndAac) {
    std::vector<std::string> plugins = {"coreelements", "playback", "app",
                                        "audiofx",      "isomp4",   "videoconvertscale",
                                        "audioconvert", "faad"};
    EXPECT_EQ(versionWithPlugins(root() + "/aac-only", plugins), 6);
    plugins.push_back("openh264");
    EXPECT_EQ(versionWithPlugins(root() + "/both", plugins), 7);
}

} // namespace
