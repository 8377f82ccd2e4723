#include "LibraryWindowFixture.h"

#include "platform/Defaults.h"
#include "platform/Paths.h"
#include "platform/movie/QTMovieView.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"
#include "player/FrlQTMovie.h"

#include <filesystem>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/label.h>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using RobustnessTest = LibraryWindowFixture;

struct Lesson {
    std::string name;
    std::vector<std::string> inputs = {}, options = {};
    bool annotated = false;
};
const std::string clip = "testsrc2=s=64x48:r=25";

void make(const std::string& folder, const Lesson& lesson) {
    std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine"};
    for (const std::string& input : lesson.inputs)
        argv.insert(argv.end(), {"-f", "lavfi", "-i", input});
    argv.insert(argv.end(), {"-t", "2"});
    argv.insert(argv.end(), lesson.options.begin(), lesson.options.end());
    argv.push_back(folder + "/" + lesson.name);
    EXPECT_TRUE(MovieMedia::run(argv)) << lesson.name;
}

// QuickTime's compressed header: the movie atom (last in the file) zipped into moov/cmov.
const char* const compressHeaders = R"(import struct, sys, zlib
atom = lambda kind, body: struct.pack(">I", 8 + len(body)) + kind + body
data = open(sys.argv[1], "rb").read(); at = data.rindex(b"moov") - 4
packed = struct.pack(">I", len(data) - at) + zlib.compress(data[at:])
cmov = atom(b"cmov", atom(b"dcom", b"zlib") + atom(b"cmvd", packed))
open(sys.argv[1], "wb").write(data[:at] + atom(b"moov", cmov)))";

// The window's accessibility tree as a screen reader reads it, from a client process that this
// process answers meanwhile: depth, role and name of every object.
std::vector<std::vector<std::string>> readAccessibleTree() {
    std::string output;
    std::atomic<bool> done = false;
    std::thread reader([&] {
        MovieMedia::run({"/usr/bin/python3", READ_ACCESSIBLE_NAMES, std::to_string(getpid())},
                        &output);
        done = true;
    });
    ::spinUntil([&] { return done.load(); }, 60s);
    reader.join();
    std::vector<std::vector<std::string>> tree;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        for (std::string& field : tree.emplace_back(3))
            std::getline(fields, field, '\t');
    }
    return tree;
}

// A first start in the Download Store shows the Welcome picture and still lists Purchases. A
// folder from an old disk (Latin-1 names) holds a lesson in every format GStreamer plays, and two
// damaged ones: each plays with its time running or says why not, and a screen reader reads the
// window, an alert on top, with one name per control.
TEST_F(RobustnessTest, AWelcomeStartListsPurchasesPlaysEveryFormatAndReadsOutForeignNames) {
    std::string purchases = home() + "/Music/Fretlark/Purchases", folder = purchases + "/Le\xE7ons";
    start();
    EXPECT_TRUE(spinUntil([&] { return fs::is_directory(purchases); }));
    controller.reset();

    std::vector<Lesson> lessons = {{"01.webm", {clip}, {"-c:v", "libvpx"}},
                                   {"02.mkv", {clip}},
                                   {"03.avi", {clip}},
                                   {"04.mpg", {clip}},
                                   {"05.mp3",
                                    {"color=c=red:s=32x32"},
                                    {"-map", "0:a", "-map", "1:v", "-frames:v", "1", "-c:v", "png",
                                     "-disposition:v", "attached_pic"}},
                                   {"06.m4a", {}, {}, true},
                                   {"07.ogg"},
                                   {"08.flac"},
                                   {"09 \xE9t\xE9.wav"},
                                   {"10 padded.mov", {clip}, {}, true},
                                   {"11 junk.mov", {clip}},
                                   {"12 compressed.mov", {clip}},
                                   {"13 cut.webm", {clip}}};
    fs::create_directories(folder);
    for (const Lesson& lesson : lessons)
        make(folder, lesson);
    writeFile(folder + "/10 padded.mov", readFile(folder + "/10 padded.mov") + std::string(64, 0));
    writeFile(folder + "/11 junk.mov", readFile(folder + "/11 junk.mov") + std::string(64, 'j'));
    EXPECT_TRUE(MovieMedia::run(
        {"/usr/bin/python3", "-c", compressHeaders, folder + "/12 compressed.mov"}));
    writeFile(folder + "/13 cut.webm", readFile(folder + "/13 cut.webm").substr(0, 300));
    writeFile(folder + "/14 noise.mp4", std::string(4000, 'x'));

    AppController& app = start();
    ASSERT_TRUE(spinUntil([&] { return app.fsBrowser->numberOfRowsInColumn(0) == 1; }));
    clickBrowserPath(app, "/Le\xE7ons");
    ASSERT_EQ(app.resultsView->numberOfRows(), 14);
    for (int row = 0; row < 14; ++row) {
        SCOPED_TRACE(row);
        doubleClickRow(app, row);
        app.movieTime->set_text("");
        if (row >= 12) {
            EXPECT_TRUE(
                ::spinUntil([&] { return !app.movieView->unplayableMessage().empty(); }, 15s));
            continue;
        }
        EXPECT_TRUE(spinUntil([&] { return app.movieTime->get_text().find("00:01 / 00:0") == 0; }));
        EXPECT_EQ(app.currentMovie()->isSoundOnly(), lessons[row].inputs != std::vector{clip});
        EXPECT_EQ(app.currentMovie()->userData() != nullptr, lessons[row].annotated);
        EXPECT_EQ(app.currentMovie()->coverArt().empty(), row != 4) << "only the MP3 has a cover";
        EXPECT_TRUE(app.movieView->videoArea().get_paintable()) << "a frame, a cover or an icon";
    }

    Alert::setResponder({});
    Alert::beginAlertSheet(app.window(), {"Resume", "Resume?", {"Resume", "Later"}, {}, false}, {});
    auto tree = readAccessibleTree();
    std::regex announced("push button|toggle button|check box|slider|entry|label|image");
    std::regex unnamed("(Gtk|gtkmm__)[A-Za-z_]+|(.+) \\2");
    bool foreignNameRead = false;
    for (std::size_t i = 0; i < tree.size(); ++i) {
        foreignNameRead |= tree[i][2] == Paths::displayName("Le\xE7ons");
        if (!std::regex_match(tree[i][1], announced))
            continue;
        EXPECT_FALSE(std::regex_match(tree[i][2], unnamed)) << tree[i][1] << " " << tree[i][2];
        for (std::size_t j = i + 1; j < tree.size() && stoi(tree[j][0]) > stoi(tree[i][0]); ++j)
            EXPECT_TRUE(tree[i][2].empty() || tree[j][2] != tree[i][2] || tree[j][1] == "label")
                << "a control inside a control of the same name: " << tree[i][2];
    }
    EXPECT_TRUE(foreignNameRead);
    Defaults::resetStandard();
    EXPECT_EQ(Defaults::standard().stringForKey("saveUserPathDownloadStore"), "/Le\xE7ons");
}

} // namespace
