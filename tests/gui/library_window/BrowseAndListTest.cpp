#include "LibraryWindowFixture.h"

#include "platform/Defaults.h"
#include "platform/movie/NotificationCenter.h"
#include "platform/movie/QTMovieView.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"
#include "player/FrlQTMovie.h"

#include <filesystem>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>

namespace fs = std::filesystem;

namespace {

std::string title(AppController& app) {
    return app.window()->get_title();
}

// ---- The first start and restarts ----

class StartInLibraryTest : public LibraryWindowFixture {
protected:
    void SetUp() override {
        LibraryWindowFixture::SetUp();
        quickstart = strumwellRoot() + "/Get Started/Quickstart Video";
        first = addLesson(quickstart, "01 Welcome.mov", 1.0, "Ann Strum", "Bass Advanced");
        second = addLesson(quickstart, "02 Tuning.mov");
    }
    std::string quickstart, first, second;
};

TEST_F(StartInLibraryTest, AFirstStartShowsThePosterOfTheFirstQuickstartLesson) {
    auto& app = startStrumwell();
    EXPECT_EQ(app.fsBrowser->path(), "/Get Started/Quickstart Video");
    EXPECT_EQ(app.resultsView->selectedRow(), 0);
    EXPECT_EQ(app.getCurrentSelectionPath(), first);
    EXPECT_EQ(app.searchResults->get_text(), "2 items");
    EXPECT_EQ(app.resultsTitle->get_text(), "Quickstart Video");

    FrlQTMovie* movie = app.currentMovie();
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->movieFilePath(), first);
    EXPECT_FALSE(movie->isPlaying()) << "a selection shows the poster, it does not play";
    EXPECT_EQ(movie->currentTime().timeValue, 0);
    EXPECT_EQ(title(app), "Strumwell (01 Welcome)");
    // The poster state: the play button offers pause, no toggle is on.
    EXPECT_FALSE(app.isMoviePaused || app.isMovieReverse || app.isMovieFForward || app.isLooping);
    EXPECT_EQ(pictureOf(app.playButton), picture("pause_active"));
    EXPECT_EQ(pictureOf(app.reverseButton), picture("rewind_off"));
    EXPECT_EQ(pictureOf(app.fforwardButton), picture("fastfwd_off"));
    // The callbacks are on the movie: did-end and rate change observed, the idle filter set.
    EXPECT_EQ(NotificationCenter::defaultCenter().observationCount(movie), 2u);
    EXPECT_NE(movie->quickTimeMovieController()->actionFilter(), nullptr);
    // Showing the row saved it again.
    Defaults::resetStandard();
    EXPECT_EQ(Defaults::standard().integerForKey("saveUserSelection"), 0);
    EXPECT_EQ(Defaults::standard().stringForKey("saveUserPath"), "/Get Started/Quickstart Video");
}

TEST_F(StartInLibraryTest, TheShownFolderAndRowComeBackAtTheNextStart) {
    std::string lessons = strumwellRoot() + "/Bass/Lesson One";
    for (const char* name : {"a.mov", "b.mov", "c.mov"})
        addLesson(lessons, name);
    auto& app = startStrumwell();
    clickBrowserPath(app, "/Bass/Lesson One");
    selectRow(app, 2);
    ASSERT_NE(app.currentMovie(), nullptr);
    EXPECT_EQ(app.currentMovie()->movieFilePath(), lessons + "/c.mov");
    controller.reset();
    Defaults::resetStandard();

    auto& again = startStrumwell();
    EXPECT_EQ(again.fsBrowser->path(), "/Bass/Lesson One");
    EXPECT_EQ(again.resultsView->selectedRow(), 2);
    ASSERT_NE(again.currentMovie(), nullptr);
    EXPECT_EQ(again.currentMovie()->movieFilePath(), lessons + "/c.mov");
    EXPECT_EQ(title(again), "Strumwell (c)");
}

TEST_F(StartInLibraryTest, AFolderClickedButNoRowShownRestoresTheFolderOnly) {
    addLesson(strumwellRoot() + "/Bass", "a.mov");
    auto& app = startStrumwell();
    clickBrowserPath(app, "/Bass");
    controller.reset();
    Defaults::resetStandard();
    EXPECT_EQ(Defaults::standard().integerForKey("saveUserSelection"), -1);

    auto& again = startStrumwell();
    EXPECT_EQ(again.fsBrowser->path(), "/Bass");
    EXPECT_EQ(again.resultsView->numberOfRows(), 1);
    EXPECT_EQ(again.resultsView->selectedRow(), -1);
    EXPECT_EQ(again.currentMovie(), nullptr);
}

TEST_F(StartInLibraryTest, ASavedPathThatIsPartlyGoneOpensTheDeepestFolderThatIsThere) {
    Defaults::standard().setString("saveUserPath", "/Get Started/Removed Folder");
    auto& app = startStrumwell();
    EXPECT_EQ(app.fsBrowser->path(), "/Get Started");
    EXPECT_EQ(app.resultsView->numberOfRows(), 0) << "Get Started holds only a folder";
    EXPECT_EQ(app.searchResults->get_text(), "0 items");
    EXPECT_EQ(app.resultsTitle->get_text(), "");
    EXPECT_EQ(app.currentMovie(), nullptr);
    EXPECT_EQ(Defaults::standard().stringForKey("saveUserPath"), "/Get Started");
    EXPECT_EQ(Defaults::standard().integerForKey("saveUserSelection"), -1);
}

TEST_F(StartInLibraryTest, ASavedPathThatIsWhollyGoneSelectsNothing) {
    Defaults::standard().setString("saveUserPath", "/Nowhere/At All");
    auto& app = startStrumwell();
    EXPECT_EQ(app.fsBrowser->path(), "/");
    EXPECT_EQ(app.resultsView->numberOfRows(), 0);
    EXPECT_EQ(app.currentMovie(), nullptr);
    EXPECT_EQ(title(app), "Strumwell");
    EXPECT_EQ(Defaults::standard().stringForKey("saveUserPath"), "/Nowhere/At All")
        << "a click that selected nothing saves nothing";
}

// ---- The browser ----

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

    static BrowserCell* cellNamed(AppController& app, const std::string& name, int column) {
        for (int row = 0; row < app.fsBrowser->numberOfRowsInColumn(column); ++row) {
            if (BrowserCell* cell = app.fsBrowser->loadedCellAtRow(row, column);
                cell->stringValue() == name)
                return cell;
        }
        return nullptr;
    }
};

TEST_F(BrowserTest, FoldersOfFilesAndEmptyFoldersAreLeavesOtherEntriesAreBranches) {
    auto& app = startWithLibrary();
    app.fsBrowser->loadColumnZero();
    ASSERT_NE(cellNamed(app, "Empty", 0), nullptr);
    EXPECT_TRUE(cellNamed(app, "Empty", 0)->isLeaf());
    EXPECT_FALSE(cellNamed(app, "Bass", 0)->isLeaf()) << "a folder of folders";
    EXPECT_FALSE(cellNamed(app, "Loose.mov", 0)->isLeaf()) << "a plain file";

    clickBrowserPath(app, "/Bass/Scales");
    EXPECT_TRUE(cellNamed(app, "Scales", 1)->isLeaf());
    EXPECT_EQ(app.fsBrowser->lastColumn(), 1) << "a leaf opens no further column";

    clickBrowserPath(app, "/Loose.mov");
    EXPECT_EQ(app.fsBrowser->lastColumn(), 1);
    EXPECT_EQ(app.fsBrowser->numberOfRowsInColumn(1), 0);
    EXPECT_EQ(app.resultsView->numberOfRows(), 0);
    EXPECT_EQ(app.searchResults->get_text(), "0 items");
    EXPECT_EQ(app.resultsTitle->get_text(), "");
}

TEST_F(BrowserTest, AClickListsTheFolderCountsItAndSavesItForTheProduct) {
    auto& app = startWithLibrary();
    struct Case {
        const char* path;
        int rows;
        const char* count;
        const char* title;
    };
    for (const Case& click :
         {Case{"/Bass/Scales", 3, "3 items", "Scales"}, Case{"/Bass/Slap", 1, "1 item", "Slap"},
          Case{"/Empty", 0, "0 items", ""}}) {
        Defaults::standard().setInteger("saveUserSelectionJamcroft", 5);
        clickBrowserPath(app, click.path);
        EXPECT_EQ(app.lastPath, click.path);
        EXPECT_EQ(app.lastRowCount, click.rows) << click.path;
        EXPECT_EQ(app.resultsView->numberOfRows(), click.rows) << click.path;
        EXPECT_EQ(app.resultsView->selectedRow(), -1) << click.path;
        EXPECT_EQ(app.searchResults->get_text(), click.count);
        EXPECT_EQ(app.resultsTitle->get_text(), click.title);
        EXPECT_EQ(title(app), "Jamcroft");
        Defaults::resetStandard();
        EXPECT_EQ(Defaults::standard().stringForKey("saveUserPathJamcroft"), click.path);
        EXPECT_EQ(Defaults::standard().integerForKey("saveUserSelectionJamcroft"), -1);
    }
    EXPECT_EQ(Defaults::standard().stringForKey("saveUserPath"), "/Get Started/Quickstart Video")
        << "the other product's folder is left alone";
}

TEST_F(BrowserTest, AClickDuringASearchGoesBackToBrowsing) {
    auto& app = startWithLibrary();
    app.appMode = AppController::searchResultsMode;
    clickBrowserPath(app, "/Bass/Slap");
    EXPECT_EQ(app.appMode, AppController::browseMode);
    EXPECT_EQ(app.resultsView->numberOfRows(), 1);
    EXPECT_EQ(app.getCurrentSelectionPath(), "");
}

TEST_F(BrowserTest, APlayingMovieKeepsItsTitleAcrossClicks) {
    auto& app = startWithLibrary();
    clickBrowserPath(app, "/Bass/Slap");
    doubleClickRow(app, 0);
    ASSERT_TRUE(app.isMoviePlaying());
    EXPECT_EQ(title(app), "Jamcroft (Thumb)");
    clickBrowserPath(app, "/Bass/Scales");
    EXPECT_EQ(title(app), "Jamcroft (Thumb)");
    EXPECT_TRUE(app.isMoviePlaying()) << "a click does not stop the lesson";

    app.togglePlay(nullptr);
    clickBrowserPath(app, "/Empty");
    EXPECT_EQ(title(app), "Jamcroft");
}

TEST_F(BrowserTest, ADoubleClickOnAFilePlaysItAndOnAFolderOnlyClicks) {
    auto& app = startWithLibrary();
    FrlQTMovie* poster = app.currentMovie();
    doubleClickBrowserRow(app, "Empty", 0);
    EXPECT_EQ(app.currentMovie(), poster);
    EXPECT_FALSE(app.isMoviePlaying());
    EXPECT_EQ(app.lastPath, "/Empty");

    doubleClickBrowserRow(app, "Loose.mov", 0);
    ASSERT_NE(app.currentMovie(), nullptr);
    EXPECT_EQ(app.currentMovie()->movieFilePath(), jamcroftRoot() + "/Loose.mov");
    EXPECT_TRUE(app.isMoviePlaying());
    EXPECT_EQ(title(app), "Jamcroft (Loose)");
    EXPECT_EQ(app.resultsView->numberOfRows(), 0);
}

// ---- The file list ----

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

TEST_F(FileListTest, ColumnsShowTheNameAndTheLessonsAnnotations) {
    auto& app = startStrumwell();
    clickBrowserPath(app, "/Sheets");
    ASSERT_EQ(app.resultsView->numberOfRows(), 5);
    using Text = std::optional<std::string>;
    struct Row {
        Text name, artist, instrument, level;
    };
    const Row expected[] = {
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
    EXPECT_EQ(app.lastMoviePath, folder + "/01 Welcome.mov");
}

TEST_F(FileListTest, TheCellsOnScreenShowTheTextAndAnEmptyFileReadsGrey) {
    auto& app = startStrumwell();
    clickBrowserPath(app, "/Sheets");
    auto* name = app.resultsView->tableColumnWithIdentifier("Name");
    auto* level = app.resultsView->tableColumnWithIdentifier("Level");
    ASSERT_TRUE(spinUntil([&] { return app.resultsView->cellAt(4, name) != nullptr; }));
    auto* welcome = dynamic_cast<Gtk::Label*>(app.resultsView->cellAt(0, name));
    auto* reserved = dynamic_cast<Gtk::Label*>(app.resultsView->cellAt(4, name));
    auto* welcomeLevel = dynamic_cast<Gtk::Label*>(app.resultsView->cellAt(0, level));
    ASSERT_TRUE(welcome && reserved && welcomeLevel);
    EXPECT_EQ(welcome->get_text(), "01 Welcome");
    EXPECT_EQ(welcomeLevel->get_text(), "Advanced");
    EXPECT_EQ(reserved->get_text(), "05 Reserved");
    EXPECT_TRUE(welcome->get_sensitive());
    EXPECT_FALSE(reserved->get_sensitive());
    EXPECT_EQ(app.resultsView->tableColumns().front(), app.subviewTableColumn) << "Status first";
}

TEST_F(FileListTest, SelectingShowsThePosterAndDeselectingClearsTheTimeAndButtons) {
    auto& app = startStrumwell();
    clickBrowserPath(app, "/Sheets");
    EXPECT_EQ(app.getCurrentSelectionPath(), "");
    selectRow(app, 1);
    EXPECT_EQ(app.getCurrentSelectionPath(), folder + "/02 Scales.mov");
    ASSERT_NE(app.currentMovie(), nullptr);
    EXPECT_EQ(app.currentMovie()->movieFilePath(), folder + "/02 Scales.mov");
    EXPECT_FALSE(app.isMoviePlaying());
    app.adjustTimeDisplayForCurrentMovie();
    EXPECT_EQ(app.movieTime->get_text(), "00:00 / 00:01");

    // A row that is not a movie leaves the poster shown before.
    selectRow(app, 4);
    EXPECT_EQ(app.getCurrentSelectionPath(), folder + "/05 Reserved.mov");
    EXPECT_EQ(app.currentMovie()->movieFilePath(), folder + "/02 Scales.mov");

    app.createButton->set_sensitive(true);
    app.iPodButton->set_sensitive(true);
    app.resultsView->deselectAll();
    EXPECT_EQ(app.getCurrentSelectionPath(), "");
    EXPECT_EQ(app.movieTime->get_text(), "");
    EXPECT_FALSE(app.createButton->get_sensitive());
    EXPECT_FALSE(app.iPodButton->get_sensitive());
}

// ---- Opening items ----

class OpeningItemsTest : public LibraryWindowFixture {
protected:
    void SetUp() override {
        LibraryWindowFixture::SetUp();
        folder = strumwellRoot() + "/Get Started/Quickstart Video";
        shown = addLesson(folder, "01 Welcome.mov");
    }
    std::string folder, shown;
};

TEST_F(OpeningItemsTest, CompanionFilesAskedForAPosterAnswerNoAndChangeNothing) {
    auto& app = startStrumwell();
    FrlQTMovie* before = app.currentMovie();
    ASSERT_NE(before, nullptr);
    writeFile(folder + "/Sheet.pdf", "%PDF-1.4\n%%EOF\n");
    writeFile(folder + "/Notes.txt", "Practise slowly.\n");
    fs::create_directories(folder + "/Song.band");
    for (const char* name : {"Sheet.pdf", "Notes.txt", "Song.band"}) {
        EXPECT_FALSE(app.launchFile(folder + "/" + name, true)) << name;
        EXPECT_EQ(app.currentMovie(), before) << name;
        EXPECT_EQ(title(app), "Strumwell (01 Welcome)") << name;
    }
}

TEST_F(OpeningItemsTest, AnUpperCaseExtensionGoesToThePlayer) {
    auto& app = startStrumwell();
    std::string sheet = addLesson(folder, "Sheet.PDF");
    EXPECT_FALSE(app.launchFile(sheet, true)) << "the player answers NO";
    ASSERT_NE(app.currentMovie(), nullptr);
    EXPECT_EQ(app.currentMovie()->movieFilePath(), sheet);
    EXPECT_FALSE(app.isMoviePlaying());

    EXPECT_FALSE(app.launchFile(sheet, false));
    EXPECT_TRUE(app.isMoviePlaying());
    EXPECT_EQ(title(app), "Strumwell (Sheet)");
}

TEST_F(OpeningItemsTest, FoldersAndMissingPathsAreRefused) {
    auto& app = startStrumwell();
    FrlQTMovie* before = app.currentMovie();
    fs::create_directories(folder + "/Scores.pdf");
    fs::create_directories(folder + "/Clip.mov");
    for (const std::string& path :
         {folder + "/Scores.pdf", folder + "/Clip.mov", folder + "/Missing.mov"}) {
        EXPECT_FALSE(app.launchFile(path, false)) << path;
        EXPECT_FALSE(app.launchFile(path, true)) << path;
        EXPECT_EQ(app.currentMovie(), before) << path;
        EXPECT_FALSE(app.isMoviePlaying()) << path;
    }
    EXPECT_FALSE(app.launchFileNoPoster(folder + "/Missing.mov"));
}

} // namespace
