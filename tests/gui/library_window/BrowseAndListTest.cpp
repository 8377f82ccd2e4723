#include "LibraryWindowFixture.h"

#include "platform/Defaults.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"
#include "player/FrlQTMovie.h"

#include <filesystem>
#include <gtkmm/label.h>

namespace fs = std::filesystem;

namespace {

class StartInLibraryTest : public LibraryWindowFixture {
protected:
    void SetUp() override {
        LibraryWindowFixture::SetUp();
        quickstart = strumwellRoot() + "/Get Started/Quickstart Video";
        first = addLesson(quickstart, "01 Welcome.mov", 1.0, "Ann Strum", "Bass Advanced");
        addLesson(quickstart, "02 Tuning.mov");
        for (const char* name : {"a.mov", "b.mov", "c.mov"})
            addLesson(strumwellRoot() + "/Bass/Lesson One", name);
    }
    std::string quickstart, first;
};

TEST_F(StartInLibraryTest, AFirstStartShowsThePosterOfTheFirstQuickstartLesson) {
    auto& app = startStrumwell();
    EXPECT_EQ(app.fsBrowser->path(), "/Get Started/Quickstart Video");
    EXPECT_EQ(app.searchResults->get_text(), "2 items");
    EXPECT_EQ(app.resultsTitle->get_text(), "Quickstart Video");
    FrlQTMovie* movie = app.currentMovie();
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->movieFilePath(), first);
    EXPECT_FALSE(movie->isPlaying()) << "a selection shows the poster, it does not play";
    EXPECT_EQ(title(app), "Strumwell (01 Welcome)");
    EXPECT_EQ(pictureOf(app.playButton), picture("play_active"));
    Defaults::resetStandard();
    EXPECT_EQ(Defaults::standard().integerForKey("saveUserSelection"), 0);
    EXPECT_EQ(Defaults::standard().stringForKey("saveUserPath"), "/Get Started/Quickstart Video");
}

TEST_F(StartInLibraryTest, TheShownFolderAndRowComeBackAtTheNextStart) {
    std::string lessons = strumwellRoot() + "/Bass/Lesson One";
    auto& app = startStrumwell();
    clickBrowserPath(app, "/Bass/Lesson One");
    selectRow(app, 2);
    controller.reset();
    Defaults::resetStandard();
    auto& again = startStrumwell();
    EXPECT_EQ(again.fsBrowser->path(), "/Bass/Lesson One");
    EXPECT_EQ(again.resultsView->selectedRow(), 2);
    ASSERT_NE(again.currentMovie(), nullptr);
    EXPECT_EQ(again.currentMovie()->movieFilePath(), lessons + "/c.mov");
    EXPECT_EQ(title(again), "Strumwell (c)");

    // A folder clicked but no row shown comes back without a selection.
    clickBrowserPath(again, "/Get Started/Quickstart Video");
    controller.reset();
    Defaults::resetStandard();
    EXPECT_EQ(Defaults::standard().integerForKey("saveUserSelection"), -1);
    auto& third = startStrumwell();
    EXPECT_EQ(third.fsBrowser->path(), "/Get Started/Quickstart Video");
    EXPECT_EQ(third.resultsView->numberOfRows(), 2);
    EXPECT_EQ(third.resultsView->selectedRow(), -1);
    EXPECT_EQ(third.currentMovie(), nullptr);
}

TEST_F(StartInLibraryTest, ASavedPathThatIsGoneOpensTheDeepestFolderThatIsThere) {
    const struct {
        const char* saved;
        const char* shown;
        const char* kept;
    } cases[] = {{"/Get Started/Removed Folder", "/Get Started", "/Get Started"},
                 {"/Nowhere/At All", "/", "/Nowhere/At All"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.saved);
        Defaults::standard().setString("saveUserPath", c.saved);
        auto& app = startStrumwell();
        EXPECT_EQ(app.fsBrowser->path(), c.shown);
        EXPECT_EQ(app.resultsView->numberOfRows(), 0);
        EXPECT_EQ(app.currentMovie(), nullptr);
        EXPECT_EQ(title(app), "Strumwell");
        EXPECT_EQ(Defaults::standard().stringForKey("saveUserPath"), c.kept)
            << "a click that selected nothing saves nothing";
        controller.reset();
    }
}

class BrowserTest : public LibraryWindowFixture {
protected:
    // Jamcroft, so that the clicks are saved under that product's keys.
    AppController& startWithLibrary() {
        std::string root = jamcroftRoot();
        addLesson(root + "/Get Started/Quickstart Video", "01 Welcome.mov");
        for (const char* name : {"1.mov", "2.mov", "3.mov"})
            addLesson(root + "/Bass/Scales", name);
        addLesson(root + "/Bass/Slap", "Thumb.mov", 3.0);
        fs::create_directories(root + "/Empty");
        addLesson(root, "Loose.mov", 3.0);
        return startJamcroft();
    }
};

TEST_F(BrowserTest, AClickListsTheFolderCountsItAndSavesItForTheProduct) {
    auto& app = startWithLibrary();
    const struct {
        const char* path;
        int rows;
        const char* count;
        const char* title;
        bool leaf;
    } cases[] = {{"/Bass/Scales", 3, "3 items", "Scales", true},
                 {"/Bass/Slap", 1, "1 item", "Slap", true},
                 {"/Empty", 0, "0 items", "", true},
                 {"/Loose.mov", 0, "0 items", "", false}};
    for (const auto& click : cases) {
        SCOPED_TRACE(click.path);
        Defaults::standard().setInteger("saveUserSelectionJamcroft", 5);
        clickBrowserPath(app, click.path);
        EXPECT_EQ(app.lastPath, click.path);
        EXPECT_EQ(app.resultsView->numberOfRows(), click.rows);
        EXPECT_EQ(app.resultsView->selectedRow(), -1);
        EXPECT_EQ(app.searchResults->get_text(), click.count);
        EXPECT_EQ(app.resultsTitle->get_text(), click.title);
        EXPECT_EQ(title(app), "Jamcroft");
        EXPECT_EQ(app.fsBrowser->selectedCell()->isLeaf(), click.leaf);
        EXPECT_EQ(app.fsBrowser->lastColumn(), app.fsBrowser->selectedColumn() + !click.leaf);
        Defaults::resetStandard();
        EXPECT_EQ(Defaults::standard().stringForKey("saveUserPathJamcroft"), click.path);
        EXPECT_EQ(Defaults::standard().integerForKey("saveUserSelectionJamcroft"), -1);
    }
    EXPECT_EQ(Defaults::standard().stringForKey("saveUserPath"), "/Get Started/Quickstart Video")
        << "the other product's folder is left alone";

    app.appMode = AppController::searchResultsMode;
    clickBrowserPath(app, "/Bass/Slap");
    EXPECT_EQ(app.appMode, AppController::browseMode) << "a click ends a search";
}

TEST_F(BrowserTest, APlayingMovieKeepsItsTitleAcrossClicksAndADoubleClickOnAFilePlaysIt) {
    auto& app = startWithLibrary();
    FrlQTMovie* poster = app.currentMovie();
    doubleClickBrowserRow(app, "Empty", 0);
    EXPECT_EQ(app.currentMovie(), poster) << "a double click on a folder only clicks";
    EXPECT_FALSE(app.isMoviePlaying());

    doubleClickBrowserRow(app, "Loose.mov", 0);
    ASSERT_NE(app.currentMovie(), nullptr);
    EXPECT_EQ(app.currentMovie()->movieFilePath(), jamcroftRoot() + "/Loose.mov");
    EXPECT_TRUE(app.isMoviePlaying());
    EXPECT_EQ(title(app), "Jamcroft (Loose)");
    clickBrowserPath(app, "/Bass/Scales");
    EXPECT_EQ(title(app), "Jamcroft (Loose)");
    EXPECT_TRUE(app.isMoviePlaying()) << "a click does not stop the lesson";
    app.togglePlay(nullptr);
    clickBrowserPath(app, "/Empty");
    EXPECT_EQ(title(app), "Jamcroft");
}

class FileListTest : public LibraryWindowFixture {
protected:
    void SetUp() override {
        LibraryWindowFixture::SetUp();
        folder = strumwellRoot() + "/Sheets";
        addLesson(folder, "01 Welcome.mov", 1.0, "Ann Strum", "Bass Advanced");
        addLesson(folder, "02 Scales.mov", 1.0, {}, "Bass");
        addLesson(folder, "03 Chords.mov");
        writeFile(folder + "/04 Sheet.pdf", "%PDF-1.4\n%%EOF\n");
        writeFile(folder + "/05 Reserved.mov", "");
    }
    std::string folder;
};

TEST_F(FileListTest, ColumnsShowTheNameAndTheLessonsAnnotationsAndAnEmptyFileReadsGrey) {
    auto& app = startStrumwell();
    clickBrowserPath(app, "/Sheets");
    ASSERT_EQ(app.resultsView->numberOfRows(), 5);
    using Text = std::optional<std::string>;
    const struct {
        Text name, artist, instrument, level;
    } expected[] = {
        {"01 Welcome", "Ann Strum", "Bass", "Advanced"},
        {"02 Scales", std::nullopt, "Bass", std::nullopt},
        {"03 Chords", std::nullopt, std::nullopt, std::nullopt},
        {"04 Sheet", "", "", ""},
        {"05 Reserved", "", "", ""},
    };
    for (int row = 0; row < 5; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(cellText(app, row, "Name"), expected[row].name);
        EXPECT_EQ(cellText(app, row, "Artist"), expected[row].artist);
        EXPECT_EQ(cellText(app, row, "Instrument"), expected[row].instrument);
        EXPECT_EQ(cellText(app, row, "Level"), expected[row].level);
        EXPECT_EQ(cellText(app, row, "Status"), std::nullopt);
    }
    EXPECT_EQ(cellText(app, 0, "Name"), "01 Welcome") << "asked again after other rows";

    auto* name = app.resultsView->tableColumnWithIdentifier("Name");
    ASSERT_TRUE(spinUntil([&] { return app.resultsView->cellAt(4, name) != nullptr; }));
    auto* welcome = dynamic_cast<Gtk::Label*>(app.resultsView->cellAt(0, name));
    auto* reserved = dynamic_cast<Gtk::Label*>(app.resultsView->cellAt(4, name));
    ASSERT_TRUE(welcome && reserved);
    EXPECT_EQ(welcome->get_text(), "01 Welcome");
    EXPECT_TRUE(welcome->get_sensitive());
    EXPECT_FALSE(reserved->get_sensitive());
    EXPECT_EQ(app.resultsView->tableColumns().front(), app.subviewTableColumn) << "Status first";
}

TEST_F(FileListTest, SelectingShowsThePosterAndDeselectingClearsTheTimeAndButtons) {
    auto& app = startStrumwell();
    clickBrowserPath(app, "/Sheets");
    selectRow(app, 1);
    EXPECT_EQ(app.getCurrentSelectionPath(), folder + "/02 Scales.mov");
    ASSERT_NE(app.currentMovie(), nullptr);
    EXPECT_EQ(app.currentMovie()->movieFilePath(), folder + "/02 Scales.mov");
    EXPECT_FALSE(app.isMoviePlaying());
    app.adjustTimeDisplayForCurrentMovie();
    EXPECT_EQ(app.movieTime->get_text(), "00:00 / 00:01");

    selectRow(app, 4);
    EXPECT_EQ(app.getCurrentSelectionPath(), folder + "/05 Reserved.mov");
    EXPECT_EQ(app.currentMovie()->movieFilePath(), folder + "/02 Scales.mov") << "not a movie";

    app.createButton->set_sensitive(true);
    app.iPodButton->set_sensitive(true);
    app.resultsView->deselectAll();
    EXPECT_EQ(app.getCurrentSelectionPath(), "");
    EXPECT_EQ(app.movieTime->get_text(), "");
    EXPECT_FALSE(app.createButton->get_sensitive());
    EXPECT_FALSE(app.iPodButton->get_sensitive());
}

TEST_F(FileListTest, OnlyMoviesOpenInThePlayerWhateverTheCaseOfTheirExtension) {
    auto& app = startStrumwell();
    clickBrowserPath(app, "/Sheets");
    selectRow(app, 0);
    FrlQTMovie* shown = app.currentMovie();
    ASSERT_NE(shown, nullptr);
    makeTree(folder, {"Notes.txt", "Song.band/", "Clip.mov/"});
    // Companion files asked for a poster, folders and missing paths change nothing.
    for (const char* name : {"04 Sheet.pdf", "Notes.txt", "Song.band", "Clip.mov", "Missing.mov"}) {
        EXPECT_FALSE(app.launchFile(folder + "/" + name, true)) << name;
        EXPECT_EQ(app.currentMovie(), shown) << name;
        EXPECT_EQ(title(app), "Strumwell (01 Welcome)") << name;
    }
    EXPECT_FALSE(app.launchFileNoPoster(folder + "/Missing.mov"));

    std::string sheet = addLesson(folder, "Sheet.PDF");
    EXPECT_FALSE(app.launchFile(sheet, true)) << "the player answers NO";
    EXPECT_EQ(app.currentMovie()->movieFilePath(), sheet);
    EXPECT_FALSE(app.isMoviePlaying());
    EXPECT_FALSE(app.launchFile(sheet, false));
    EXPECT_TRUE(app.isMoviePlaying());
    EXPECT_EQ(title(app), "Strumwell (Sheet)");
}

} // namespace
