#include "LibraryWindowFixture.h"

#include "platform/movie/QTMovieView.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"

#include <filesystem>
#include <gtkmm/label.h>

namespace fs = std::filesystem;

namespace {

using WelcomeAndFormatsTest = LibraryWindowFixture;

std::string make(const std::string& path, const std::vector<std::string>& inputs) {
    std::vector<std::string> argv = {"ffmpeg", "-v", "error"};
    for (const std::string& input : inputs)
        argv.insert(argv.end(), {"-f", "lavfi", "-i", input});
    argv.insert(argv.end(), {"-t", "3", path});
    EXPECT_TRUE(MovieMedia::run(argv));
    return path;
}

// The Welcome picture fills the movie view at a first start in the Download Store; the browser
// lists the Purchases folder all the same, and every lesson there plays or says why it cannot.
TEST_F(WelcomeAndFormatsTest, AWelcomeStartListsPurchasesAndEveryLessonPlaysOrSaysWhy) {
    std::string purchases = home() + "/Music/Fretlark/Purchases";
    start();
    EXPECT_TRUE(spinUntil([&] { return fs::is_directory(purchases); }));
    controller.reset();

    fs::create_directories(purchases + "/Lessons");
    make(purchases + "/Lessons/Lesson.webm", {"testsrc2=s=64x48:r=25", "sine"});
    make(purchases + "/Lessons/Track.mp3", {"sine"});
    writeFile(purchases + "/Lessons/Broken.mp4", std::string(4000, 'x'));
    AppController& app = start();
    ASSERT_TRUE(spinUntil([&] { return app.fsBrowser->numberOfRowsInColumn(0) == 1; }));
    EXPECT_EQ(app.fsBrowser->loadedCellAtRow(0, 0)->stringValue(), "Lessons");

    clickBrowserPath(app, "/Lessons");
    ASSERT_EQ(app.resultsView->numberOfRows(), 3);
    doubleClickRow(app, 0);
    EXPECT_EQ(app.movieView->unplayableMessage().rfind("This file cannot be played: ", 0), 0u);
    for (int row : {1, 2}) {
        doubleClickRow(app, row);
        EXPECT_EQ(app.movieView->unplayableMessage(), "");
        EXPECT_TRUE(spinUntil([&] { return app.movieTime->get_text() == "00:01 / 00:03"; }))
            << row << ": " << app.movieTime->get_text();
    }
}

} // namespace
