#include "TestEnvironment.h"

#include "platform/VersionQuery.h"

#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using MovieFrameworkCheckTest = FreshEnvironmentTest;

// The start-up check in a fresh process that sees only the given plug-ins; answers the major
// version it reports (7 passes, 6 is refused).
int versionWithPlugins(const std::string& folder, const std::vector<std::string>& plugins) {
    fs::create_directories(folder);
    for (const std::string& plugin : plugins)
        fs::create_symlink(std::string(GST_PLUGINS_DIR) + "/libgst" + plugin + ".so",
                           folder + "/libgst" + plugin + ".so");
    pid_t child = fork();
    if (child == 0) {
        setenv("GST_PLUGIN_SYSTEM_PATH_1_0", folder.c_str(), 1);
        setenv("GST_REGISTRY_1_0", (folder + "/registry.bin").c_str(), 1);
        unsetenv("GST_PLUGIN_PATH_1_0");
        unsetenv("GST_PLUGIN_PATH");
        _exit(static_cast<int>(VersionQuery::gestalt("qtim").value_or(0) >> 24));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(MovieFrameworkCheckTest, RequiresDecodersForH264AndAac) {
    std::vector<std::string> base = {"coreelements", "playback",          "app",         "audiofx",
                                     "isomp4",       "videoconvertscale", "audioconvert"};
    EXPECT_EQ(versionWithPlugins(root() + "/no-decoders", base), 6);
    std::vector<std::string> aacOnly = base;
    aacOnly.push_back("faad");
    EXPECT_EQ(versionWithPlugins(root() + "/aac-only", aacOnly), 6);
    base.push_back("libav");
    EXPECT_EQ(versionWithPlugins(root() + "/libav", base), 7);
}

} // namespace
