#include "LibraryWindowFixture.h"

#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"
#include "player/FrlQTMovie.h"

#include <filesystem>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/label.h>
#include <gtkmm/searchentry.h>

namespace {

class SearchWindowTest : public LibraryWindowFixture {
protected:
    void SetUp() override {
        LibraryWindowFixture::SetUp();
        folder = strumwellRoot() + "/Bass/Walking Lines";
        movie = addLesson(folder, "01 Walking Bass.mov", 1.0, "Theo Vance");
        writeFile(folder + "/Notes.txt", "walking drills");
        std::filesystem::create_directories(strumwellRoot() + "/Only Folder/Walking Folder");
        for (int i = 1; i <= 27; ++i)
            writeFile(strumwellRoot() + "/Ticks/tick " + std::to_string(i) + ".txt",
                      std::string(i <= 7 ? "seven " : "") + (i <= 25 ? "quarter" : ""));
        app = &startStrumwell();
    }

    // Types the text as the user does and waits for the list of hits.
    void type(const std::string& text) {
        app->searchField->set_text(text);
        ASSERT_TRUE(spinUntil([&] {
            return app->lastSearchText == text && !app->query && app->appMode == 1;
        })) << text;
    }

    std::string title() const { return app->resultsTitle->get_text(); }
    std::string itemCount() const { return app->searchResults->get_text(); }

    std::vector<std::string> rows() const {
        std::vector<std::string> names;
        for (const auto& node : app->lastVisNodes.value_or(FSNodeInfoArray()))
            names.push_back(node->lastPathComponent());
        return names;
    }

    std::string folder, movie;
    AppController* app = nullptr;
};

TEST_F(SearchWindowTest, HitsReplaceTheFolderUntilTheNextBrowserClick) {
    std::string before = title();
    app->search(nullptr);
    EXPECT_EQ(title(), before) << "an empty text is not searched for";
    app->searchField->set_text("theo");
    app->search(app->searchField);
    EXPECT_EQ(title(), "Searching...");
    EXPECT_EQ(itemCount(), "");
    EXPECT_EQ(app->fsBrowser->path(), "/");

    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"walking", {"01 Walking Bass.mov", "Notes.txt"}}, // the folder of that name is left out
        {"drills", {"Notes.txt"}},
        {"folder", {}},
        {"tick 2",
         {"tick 2.txt", "tick 20.txt", "tick 21.txt", "tick 22.txt", "tick 23.txt", "tick 24.txt",
          "tick 25.txt", "tick 26.txt", "tick 27.txt"}},
    };
    for (const auto& [text, expected] : cases) {
        type(text);
        EXPECT_EQ(rows(), expected) << text;
        std::size_t count = expected.size();
        EXPECT_EQ(itemCount(), std::to_string(count) + (count == 1 ? " item" : " items"));
        EXPECT_EQ(title(), "Results of search: ");
    }

    type("walking");
    doubleClickRow(*app, 0);
    ASSERT_NE(app->currentMovie(), nullptr);
    EXPECT_EQ(app->currentMovie()->movieFilePath(), movie);
    EXPECT_TRUE(app->currentMovie()->isPlaying());
    clickBrowserPath(*app, "/Ticks");
    EXPECT_EQ(app->appMode, 0);
    EXPECT_EQ(title(), "Ticks");
}

TEST_F(SearchWindowTest, ANewerSearchWinsAndClearingTheFieldShowsTheBrowsedFolder) {
    clickBrowserPath(*app, "/Bass/Walking Lines");
    for (const char* text : {"walking", "drills"}) {
        app->searchField->set_text(text);
        app->search(app->searchField);
    }
    ASSERT_TRUE(spinUntil([&] { return !app->query; }));
    spinFor(std::chrono::milliseconds(500));
    EXPECT_EQ(rows(), (std::vector<std::string>{"Notes.txt"}));

    app->searchField->set_text("");
    spinUntil([&] { return app->appMode == 0; });
    EXPECT_EQ(app->appMode, 0);
    EXPECT_EQ(app->fsBrowser->path(), "/Bass/Walking Lines");
    EXPECT_EQ(rows(), (std::vector<std::string>{"01 Walking Bass.mov", "Notes.txt"}));

    type("drills");
    g_signal_emit_by_name(app->searchField->gobj(), "stop-search"); // Escape
    EXPECT_EQ(std::string(app->searchField->get_text()), "");
    EXPECT_EQ(rows(), (std::vector<std::string>{"01 Walking Bass.mov", "Notes.txt"}));

    app->resultsView->grab_focus();
    app->application->activate_action("find");
    ASSERT_NE(app->window()->get_focus(), nullptr);
    EXPECT_TRUE(app->window()->get_focus()->is_ancestor(*app->searchField));
}

TEST_F(SearchWindowTest, TheProgressTitleGainsADotPerHitAndStartsAgainAfter25) {
    // "tick" finds 27 files and the folder "Ticks": the running count is the index's own.
    const std::vector<std::pair<std::string, std::size_t>> cases = {
        {"nothing", 1}, {"seven", 7}, {"quarter", 1}, {"tick", 3}};
    for (const auto& [text, dots] : cases) {
        app->searchField->set_text(text);
        app->search(app->searchField);
        // Kept from finishing, the search shows its last progress.
        app->query->finishObserver = [](LibraryQuery*) {};
        ASSERT_TRUE(spinUntil([&] { return app->query->isFinished(); }));
        EXPECT_EQ(title(), "Searching..." + std::string(dots, '.')) << text;
    }
}

} // namespace
