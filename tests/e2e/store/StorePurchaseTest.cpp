#include "MovieMedia.h"
#include "RequestLog.h"
#include "RunningProgram.h"
#include "TestEnvironment.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Where things are in the main window at its default size (1180 by 760), from its top left.
struct Spot {
    int x;
    int y;
};
const Spot shopButton{967, 25};
const Spot signInButton{1128, 75};
const Spot homeButton{667, 75};
// The store page's top left corner: the banner's margin, where a click takes the focus into the
// page without following anything.
const Spot pageCorner{585, 106};
const Spot browserFirstColumnRow{46, 135};
const Spot browserSecondColumnRow{265, 135};
const Spot browserThirdColumnRow{472, 135};
const Spot firstFileRow{173, 390};

void xdotool(const std::string& arguments) {
    std::string command = "xdotool " + arguments + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

void click(const std::string& window, Spot spot, int clicks = 1) {
    xdotool("mousemove --sync --window " + window + " " + std::to_string(spot.x) + " " +
            std::to_string(spot.y) + " click --repeat " + std::to_string(clicks) + " 1");
}

void type(const std::string& window, const std::string& text) {
    xdotool("windowfocus --sync " + window + " type --delay 20 '" + text + "'");
}

class StorePurchaseTest : public FreshEnvironmentTest {
protected:
    std::vector<std::string> environment() const {
        return {"HOME=" + home(), "FRETLARK_SYSROOT=" + sysroot(),
                "XDG_CONFIG_HOME=" + home() + "/.config", "XDG_CACHE_HOME=" + home() + "/.cache",
                "XDG_DATA_HOME=" + home() + "/.local/share"};
    }

    // The demo store with one lesson for sale, as `make run` starts it.
    std::unique_ptr<RunningProgram> startStore() {
        std::string folder = root() + "/store";
        fs::create_directories(folder + "/lessons");
        lessonFile = MovieMedia::copy(MovieMedia::lesson(), folder + "/lessons", "Slap Basics.mov");
        std::ofstream(folder + "/lessons/Slap Basics - Sheet.pdf") << "%PDF-1.4\n";
        auto store = std::make_unique<RunningProgram>(
            std::vector<std::string>{DEMO_STORE_PROGRAM, "--folder", folder, "--request-log",
                                     requestLog()},
            environment());
        std::string info;
        for (int tries = 0; tries < 100 && info.find("certificate=") == std::string::npos;
             ++tries) {
            std::this_thread::sleep_for(100ms);
            info = readFile(folder + "/store.info");
        }
        auto value = [&](const std::string& key) {
            auto at = info.find(key + "=") + key.size() + 1;
            return info.substr(at, info.find('\n', at) - at);
        };
        writeFile(home() + "/.config/fretlark/defaults.ini",
                  "[Defaults]\nstoreHost=127.0.0.1:" + value("port") +
                      "\nstoreCertificate=" + value("certificate") + "\n");
        return store;
    }
    std::string requestLog() const { return root() + "/requests.log"; }
    std::vector<StoreRequest> requestsFor(const std::string& path) const {
        std::vector<StoreRequest> found;
        for (const auto& request : RequestLog::read(requestLog()))
            if (request.path == path)
                found.push_back(request);
        return found;
    }

    std::string lessonFile;
};

TEST_F(StorePurchaseTest, ANewcomerSignsInBuysALessonAndPlaysIt) {
    auto store = startStore();
    RunningProgram program({FRETLARK_BINARY}, environment());
    std::string window = program.waitForWindow("Download Store \\(Welcome\\)", 30s);
    ASSERT_FALSE(window.empty()) << "a first start shows the Welcome picture";

    click(window, shopButton);
    ASSERT_FALSE(program.waitForWindow("Download Store \\(Lessons\\)", 30s).empty());
    click(window, signInButton);
    std::string panel = program.waitForWindow("Sign In", 10s);
    ASSERT_FALSE(panel.empty());
    type(panel, "student@example.com");
    RunningProgram::pressKey(panel, "Tab");
    type(panel, "scales");
    RunningProgram::pressKey(panel, "Return");
    ASSERT_FALSE(program.waitForWindow("My Account \\(Ada Student\\)", 30s).empty());
    auto posts = requestsFor("/downloadStore/login.php");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].body, "email_address=student@example.com&password=scales");

    click(window, homeButton);
    ASSERT_FALSE(program.waitForWindow("Lessons \\(Ada Student\\)", 30s).empty());
    // Into the page, then by keyboard: the banner's three links, the first lesson's Preview, Buy.
    click(window, pageCorner);
    xdotool("key --delay 100 Tab Tab Tab Tab Tab Return");
    std::string sheet = program.waitForWindow("Fretlark Download Store", 30s);
    ASSERT_FALSE(sheet.empty());
    RunningProgram::pressKey(sheet, "Return");
    // The lesson, then its sheet: once the sheet is in, the lesson is complete and annotated.
    std::string slap = home() + "/Music/Fretlark/Purchases/Bass/Technique/Slap/";
    for (int tries = 0; tries < 300 && !fs::exists(slap + "Slap Basics - Sheet.pdf"); ++tries)
        std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(fs::exists(slap + "Slap Basics - Sheet.pdf"));
    std::this_thread::sleep_for(1s);
    EXPECT_GE(fs::file_size(slap + "Slap Basics.mov"), fs::file_size(lessonFile));

    click(window, shopButton);
    click(window, browserFirstColumnRow);
    click(window, browserSecondColumnRow);
    click(window, browserThirdColumnRow);
    // The folder lists its lessons and shows the first one's poster before the double click.
    std::this_thread::sleep_for(3s);
    click(window, firstFileRow, 2);
    EXPECT_FALSE(program.waitForWindow("Download Store \\(Slap Basics\\)", 30s).empty());
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(30s), 0);
}

} // namespace
