#include "MovieMedia.h"
#include "RunningProgram.h"
#include "TestEnvironment.h"

#include "platform/Defaults.h"
#include "platform/Paths.h"

#include <csignal>
#include <filesystem>
#include <regex>
#include <sstream>

using namespace std::chrono_literals;

namespace {

struct Accessible {
    int depth = 0;
    std::string role, name, description;
};

// Every object of the program's accessibility tree, read over AT-SPI as a screen reader reads it.
std::vector<Accessible> readAccessibleTree(const std::string& window) {
    std::string pid;
    MovieMedia::run({"xdotool", "getwindowpid", window}, &pid);
    std::string output, errors;
    EXPECT_TRUE(MovieMedia::run({"/usr/bin/python3", READ_ACCESSIBLE_NAMES, pid}, &output, &errors))
        << errors;
    std::vector<Accessible> tree;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        Accessible node;
        std::string depth;
        std::getline(fields, depth, '\t');
        node.depth = std::stoi(depth);
        std::getline(fields, node.role, '\t');
        std::getline(fields, node.name, '\t');
        std::getline(fields, node.description, '\t');
        tree.push_back(node);
    }
    return tree;
}

// A session bus of the test's own: the accessibility bus it starts keeps its socket in this
// test's runtime folder, where no other session's can replace it.
class ScreenReaderTest : public FreshEnvironmentTest {
protected:
    void SetUp() override {
        FreshEnvironmentTest::SetUp();
        std::filesystem::create_directories(root() + "/run");
        setenv("XDG_RUNTIME_DIR", (root() + "/run").c_str(), 1);
        std::string variables;
        ASSERT_TRUE(MovieMedia::run({"dbus-launch"}, &variables));
        std::istringstream lines(variables);
        for (std::string line; std::getline(lines, line);) {
            std::size_t equals = line.find('=');
            if (line.substr(0, equals) == "DBUS_SESSION_BUS_PID")
                busProcess = std::stoi(line.substr(equals + 1));
            else
                setenv(line.substr(0, equals).c_str(), line.substr(equals + 1).c_str(), 1);
        }
    }
    void TearDown() override {
        kill(busProcess, SIGTERM);
        FreshEnvironmentTest::TearDown();
    }
    pid_t busProcess = 0;
};

// A lesson folder named in Latin-1 on an old disk, reopened from the saved folder and read
// by a screen reader with the delete question on screen.
TEST_F(ScreenReaderTest, ReadsAForeignFileNameAndOneNamePerControl) {
    const std::string folder = "Le\xE7ons", lesson = "Gamme \xE9t\xE9.mov";
    MovieMedia::copy(MovieMedia::lesson({.seconds = 1}),
                     home() + "/Music/Fretlark/Purchases/" + folder, lesson);
    Defaults::standard().setBool("showWelcomeSplash", false);
    Defaults::standard().setString("saveUserPathDownloadStore", "/" + folder);
    Defaults::standard().setInteger("saveUserSelectionDownloadStore", 0);
    RunningProgram program({FRETLARK_BINARY}, {"HOME=" + home(), "FRETLARK_SYSROOT=" + sysroot(),
                                               "XDG_CONFIG_HOME=" + home() + "/.config",
                                               "XDG_CACHE_HOME=" + home() + "/.cache",
                                               "GTK_A11Y=atspi", "NO_AT_BRIDGE=0"});
    std::string window = program.waitForWindow("Download Store \\(Gamme .*\\)", 20s);
    ASSERT_FALSE(window.empty());
    RunningProgram::pressKey(window, "Delete");
    ASSERT_FALSE(program.waitForWindow("Delete", 10s).empty());

    std::vector<Accessible> tree = readAccessibleTree(window);
    std::string shownFolder = Paths::displayName(folder);
    EXPECT_TRUE(std::any_of(tree.begin(), tree.end(),
                            [&](const Accessible& a) { return a.name == shownFolder; }));
    // Controls and what is read out, never announced by a widget class or twice.
    std::regex announced("push button|toggle button|check box|slider|entry|label|image");
    std::regex controls("push button|toggle button|check box|slider");
    std::regex typeName("(Gtk|gtkmm__)[A-Za-z_]+"), twice("(.+) \\1");
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const Accessible& node = tree[i];
        if (!std::regex_match(node.role, announced))
            continue;
        SCOPED_TRACE(node.role + " \"" + node.name + "\"");
        EXPECT_FALSE(std::regex_match(node.name, typeName) || std::regex_match(node.name, twice));
        for (std::size_t j = i + 1; j < tree.size() && tree[j].depth > node.depth; ++j)
            EXPECT_FALSE(std::regex_match(tree[j].role, controls) && !node.name.empty() &&
                         tree[j].name == node.name);
    }
    EXPECT_EQ(program.waitForExit(0s), -1) << "still running after the screen reader";
    RunningProgram::pressKey(window, "Escape");
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(20s), 0);
    Defaults::resetStandard();
    EXPECT_EQ(Defaults::standard().stringForKey("saveUserPathDownloadStore"), "/" + folder);
}

} // namespace
