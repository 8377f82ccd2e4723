#include "LibraryWindowFixture.h"

#include "platform/Defaults.h"
#include "platform/Paths.h"
#include "platform/movie/QTMovieView.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"
#include "player/FrlQTMovie.h"

#include <filesystem>
#include <future>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/label.h>
#include <sstream>

namespace {

using RobustnessTest = LibraryWindowFixture;
using namespace std::chrono_literals;

const std::string clip = "testsrc2=s=64x48:r=25";

// QuickTime's compressed header: the movie atom (last in the file) zipped into moov/cmov.
const char* const compressHeaders = R"(import struct, sys, zlib
atom = lambda kind, body: struct.pack(">I", 8 + len(body)) + kind + body
data = open(sys.argv[1], "rb").read(); at = data.rindex(b"moov") - 4
packed = struct.pack(">I", len(data) - at) + zlib.compress(data[at:])
open(sys.argv[1], "wb").write(data[:at] + atom(b"moov", atom(b"cmov", atom(b"dcom", b"zlib") +
                                                              atom(b"cmvd", packed)))))";

// A first start in the Download Store shows the Welcome picture and still lists Purchases. A
// folder from an old disk (Latin-1 names) holds a lesson in every format GStreamer plays and two
// damaged ones: each plays with its time running or says why not; a screen reader reads it all.
TEST_F(RobustnessTest, AWelcomeStartListsPurchasesPlaysEveryFormatAndReadsOutForeignNames) {
    std::string purchases = home() + "/Music/Fretlark/Purchases", folder = purchases + "/Le\xE7ons";
    start();
    EXPECT_TRUE(spinUntil([&] { return std::filesystem::is_directory(purchases); }));
    controller.reset();
    std::filesystem::create_directories(folder);
    // A sine tone, with a test picture unless the name says "sound", and a cover where it says so.
    std::istringstream names(
        "01.webm,02.mkv,03.avi,04.mpg,05 sound cover.mp3,06 sound.m4a,07 sound.ogg,"
        "08 sound.flac,09 sound \xE9t\xE9.wav,10 padded.mov,11 junk.mov,"
        "12 compressed.mov,13 cut.webm");
    std::vector<std::string> lessons;
    for (std::string name; std::getline(names, name, ',');)
        lessons.push_back(name);
    auto has = [](const std::string& name, const char* word) {
        return name.find(word) != name.npos;
    };
    for (const std::string& name : lessons) {
        std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine"};
        if (!has(name, "sound"))
            argv.insert(argv.end(), {"-f", "lavfi", "-i", clip});
        if (has(name, "webm"))
            argv.insert(argv.end(), {"-c:v", "libvpx"});
        if (has(name, "cover"))
            argv.insert(argv.end(),
                        {"-f", "lavfi", "-i", "color=red:s=32x32", "-map", "0:a", "-map", "1:v",
                         "-frames:v", "1", "-c:v", "png", "-disposition:v", "attached_pic"});
        argv.insert(argv.end(), {"-t", "2", folder + "/" + name});
        EXPECT_TRUE(MovieMedia::run(argv)) << name;
    }
    writeFile(folder + "/10 padded.mov", readFile(folder + "/10 padded.mov") + std::string(64, 0));
    writeFile(folder + "/11 junk.mov", readFile(folder + "/11 junk.mov") + std::string(64, 'j'));
    EXPECT_TRUE(MovieMedia::run({"python3", "-c", compressHeaders, folder + "/12 compressed.mov"}));
    writeFile(folder + "/13 cut.webm", readFile(folder + "/13 cut.webm").substr(0, 300));
    writeFile(folder + "/14 noise.mp4", std::string(4000, 'x'));

    AppController& app = start();
    ASSERT_TRUE(spinUntil([&] { return app.fsBrowser->numberOfRowsInColumn(0) == 1; }));
    clickBrowserPath(app, "/Le\xE7ons");
    ASSERT_EQ(app.resultsView->numberOfRows(), 14);
    for (int row = 0; row < 14; ++row) {
        SCOPED_TRACE(row);
        std::string before = app.movieView->unplayableMessage();
        doubleClickRow(app, row);
        app.movieTime->set_text("");
        if (row >= 12) {
            EXPECT_TRUE(::spinUntil(
                [&] {
                    std::string now = app.movieView->unplayableMessage();
                    return now != before && now.starts_with("This file cannot be played: ");
                },
                15s));
            continue;
        }
        EXPECT_TRUE(spinUntil([&] { return app.movieTime->get_text().find("00:01 / 00:0") == 0; }));
        EXPECT_EQ(app.currentMovie()->isSoundOnly(), has(lessons[row], "sound"));
        EXPECT_EQ(app.currentMovie()->userData() != nullptr, row == 5 || row == 9)
            << "the atom reader understands the M4A and the padded movie only";
        EXPECT_EQ(app.currentMovie()->coverArt().empty(), !has(lessons[row], "cover"));
        auto picture = app.movieView->videoArea().get_paintable();
        bool icon = has(lessons[row], "sound") && !has(lessons[row], "cover");
        EXPECT_TRUE(picture && GTK_IS_ICON_PAINTABLE(picture->gobj()) == icon)
            << "frame, cover, icon";
    }
    Alert::setResponder({});
    Alert::beginAlertSheet(app.window(), {"Resume", "Resume?", {"Resume", "Later"}, {}, false}, {});
    // A screen reader reads the window from a process of its own, which this one answers meanwhile.
    std::string complaints, errors;
    auto reader = std::async(std::launch::async, [&] {
        return MovieMedia::run({"/usr/bin/python3", CHECK_ACCESSIBLE_NAMES,
                                std::to_string(getpid()), Paths::displayName("Le\xE7ons")},
                               &complaints, &errors);
    });
    ::spinUntil([&] { return reader.wait_for(0s) == std::future_status::ready; }, 60s);
    EXPECT_TRUE(reader.get()) << complaints << errors;
    Defaults::resetStandard();
    EXPECT_EQ(Defaults::standard().stringForKey("saveUserPathDownloadStore"), "/Le\xE7ons");
}

} // namespace
