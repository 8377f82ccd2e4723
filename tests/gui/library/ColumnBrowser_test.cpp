#include "GuiTest.h"
#include "library/FSBrowserCell.h"
#include "library/FSNodeInfo.h"
#include "platform/ui/BrowserRow.h"
#include "platform/ui/ColumnBrowser.h"
#include "support/TestEnvironment.h"

#include <filesystem>
#include <fstream>
#include <gtkmm/window.h>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace {

// Serves the browser from real folders the way the application does: each column is listed
// when its count is asked for, and its cells are filled from that listing.
class LibraryDelegate : public ColumnBrowserDelegate, public LibraryRoot {
public:
    explicit LibraryDelegate(std::string root) : root(std::move(root)) {}

    std::string getRootDirectory() override { return root; }

    int numberOfRowsInColumn(ColumnBrowser* browser, int column) override {
        ++countRequests[column];
        filledRows[column].clear();
        std::string folder = column == 0 ? root : root + browser->pathToColumn(column);
        listings[column] = FSNodeInfo::nodeWithParent(nullptr, folder, this)->visibleSubNodes();
        return static_cast<int>(listings[column].size());
    }

    void willDisplayCell(ColumnBrowser*, BrowserCell* cell, int row, int column) override {
        ++cellsFilled;
        if (!filledRows[column].insert(row).second)
            ++cellsFilledTwice;
        static_cast<FSBrowserCell*>(cell)->setAttributedStringValueFromFSNodeInfo(
            *listings[column].at(row));
    }

    std::map<int, int> countRequests;
    int cellsFilled = 0;
    int cellsFilledTwice = 0;
    std::map<int, std::set<int>> filledRows;

private:
    std::string root;
    std::map<int, FSNodeInfoArray> listings;
};

class ColumnBrowserTest : public FreshEnvironmentTest {
protected:
    void SetUp() override {
        FreshEnvironmentTest::SetUp();
        library = root() + "/Videos";
        fs::create_directories(library);
        delegate = std::make_unique<LibraryDelegate>(library);
        browser = Gtk::make_managed<ColumnBrowser>();
        browser->setDelegate(delegate.get());
        browser->setCellClass<FSBrowserCell>();
        browser->setAction([this](ColumnBrowser* sender) { clicks.push_back(sender->path()); });
        browser->setDoubleAction(
            [this](ColumnBrowser* sender) { doubleClicks.push_back(sender->path()); });
        window.set_default_size(900, 500);
        window.set_child(*browser);
    }

    void TearDown() override {
        window.unset_child();
        FreshEnvironmentTest::TearDown();
    }

    void make(const std::string& relative) { fs::create_directories(library + "/" + relative); }
    void touch(const std::string& relative) { writeFile(library + "/" + relative, "x"); }

    void makeLessonTree() {
        make("Get Started/Quickstart Video");
        touch("Get Started/Quickstart Video/Lesson 1.mov");
        make("Get Started/Theory");
        touch("Get Started/Theory/Scales.pdf");
        make("Blues & \"Jazz\"/Über Licks");
        make("Empty");
        make(".hidden");
        touch("loose.mov");
        make("Song.band");
    }

    std::vector<std::string> namesInColumn(int column) const {
        std::vector<std::string> names;
        for (int row = 0; row < browser->numberOfRowsInColumn(column); ++row)
            names.push_back(browser->loadedCellAtRow(row, column)->stringValue());
        return names;
    }

    BrowserCell* cellNamed(const std::string& name, int column) const {
        return browser->loadedCellAtRow(rowNamed(name, column), column);
    }

    int rowNamed(const std::string& name, int column) const {
        for (int row = 0; row < browser->numberOfRowsInColumn(column); ++row)
            if (browser->loadedCellAtRow(row, column)->stringValue() == name)
                return row;
        return -1;
    }

    // What a user's click on a row does to the column's list.
    void userSelects(const std::string& name, int column) {
        browser->matrixInColumn(column)->get_model()->select_item(rowNamed(name, column), true);
    }

    BrowserRow* rowWidgetShowing(const std::string& name, int column) {
        BrowserRow* found = nullptr;
        std::function<void(Gtk::Widget&)> search = [&](Gtk::Widget& widget) {
            for (auto* child = widget.get_first_child(); child && !found;
                 child = child->get_next_sibling()) {
                auto* row = dynamic_cast<BrowserRow*>(child);
                if (row && row->cell() && row->cell()->stringValue() == name)
                    found = row;
                else
                    search(*child);
            }
        };
        search(*browser->matrixInColumn(column));
        return found;
    }

    std::string library;
    std::unique_ptr<LibraryDelegate> delegate;
    Gtk::Window window;
    ColumnBrowser* browser = nullptr;
    std::vector<std::string> clicks;
    std::vector<std::string> doubleClicks;
};

TEST_F(ColumnBrowserTest, ColumnZeroShowsVisibleEntriesAsLeavesAndBranches) {
    makeLessonTree();
    fs::create_symlink(library + "/gone", library + "/Broken Link");
    browser->loadColumnZero();
    EXPECT_EQ(namesInColumn(0),
              (std::vector<std::string>{"Blues & \"Jazz\"", "Broken Link", "Empty", "Get Started",
                                        "loose.mov", "Song.band"}));
    // Folders holding only folders are branches; an empty folder is a leaf; plain files and
    // packages are branches that open onto nothing.
    EXPECT_FALSE(cellNamed("Blues & \"Jazz\"", 0)->isLeaf());
    EXPECT_TRUE(cellNamed("Empty", 0)->isLeaf());
    EXPECT_FALSE(cellNamed("loose.mov", 0)->isLeaf());
    EXPECT_FALSE(cellNamed("Song.band", 0)->isLeaf());
    EXPECT_FALSE(cellNamed("Broken Link", 0)->isEnabled());
    EXPECT_TRUE(cellNamed("Get Started", 0)->isEnabled());
    EXPECT_EQ(browser->selectedColumn(), -1);
    EXPECT_EQ(browser->path(), "/");

    window.present();
    ASSERT_TRUE(GuiTest::runUntil([&] { return rowWidgetShowing("Empty", 0) != nullptr; }));
    EXPECT_FALSE(rowWidgetShowing("Empty", 0)->showsBranchArrow());
    EXPECT_TRUE(rowWidgetShowing("Get Started", 0)->showsBranchArrow());
    EXPECT_EQ(rowWidgetShowing("Blues & \"Jazz\"", 0)->textLabel().get_text(), "Blues & \"Jazz\"");
    EXPECT_FALSE(rowWidgetShowing("Broken Link", 0)->textLabel().get_sensitive());
}

TEST_F(ColumnBrowserTest, APathSelectsAndOpensColumnsUpToItsDeepestPartThatExists) {
    makeLessonTree();
    browser->setTitle("Library", 0);
    browser->loadColumnZero();
    EXPECT_TRUE(browser->setPath("/Get Started/Quickstart Video"));
    EXPECT_EQ(browser->path(), "/Get Started/Quickstart Video");
    EXPECT_EQ(browser->selectedColumn(), 1);
    EXPECT_EQ(browser->selectedRowInColumn(0), rowNamed("Get Started", 0));
    EXPECT_EQ(browser->lastColumn(), 1) << "a folder of files is a leaf: no third column";
    EXPECT_EQ(browser->titleOfColumn(0), "Library");
    EXPECT_EQ(browser->titleOfColumn(1), "Get Started");
    EXPECT_EQ(browser->pathToColumn(1), "/Get Started");
    ASSERT_EQ(browser->selectedCells().size(), 1u);
    EXPECT_EQ(browser->selectedCell()->stringValue(), "Quickstart Video");
    EXPECT_TRUE(clicks.empty());

    EXPECT_FALSE(browser->setPath("/Get Started/Gone/Deeper"));
    EXPECT_EQ(browser->path(), "/Get Started");
    EXPECT_EQ(browser->lastColumn(), 1);
    EXPECT_FALSE(browser->setPath("/Nowhere"));
    EXPECT_EQ(browser->selectedColumn(), -1);
    EXPECT_TRUE(browser->selectedCells().empty());
    EXPECT_EQ(browser->lastColumn(), 0);
    EXPECT_TRUE(browser->setPath("/"));
    EXPECT_EQ(browser->path(), "/");
}

TEST_F(ColumnBrowserTest, NamesThatAreNotUtf8AreShownReadablyAndFoundByPath) {
    std::string rawName = "Take \xff\xfe 1";
    make(rawName);
    touch(rawName + "/a.mov");
    browser->loadColumnZero();
    window.present();
    EXPECT_TRUE(browser->setPath("/" + rawName));
    EXPECT_EQ(browser->path(), "/" + rawName);
    ASSERT_TRUE(GuiTest::runUntil([&] { return rowWidgetShowing(rawName, 0) != nullptr; }));
    Glib::ustring shown = rowWidgetShowing(rawName, 0)->textLabel().get_text();
    EXPECT_TRUE(shown.validate());
    EXPECT_EQ(shown.substr(0, 5), "Take ");

    auto focusIsIn = [&](int column) {
        for (Gtk::Widget* focus = window.get_focus(); focus; focus = focus->get_parent())
            if (focus == browser->matrixInColumn(column))
                return true;
        return false;
    };
    browser->focusSelectedColumn();
    EXPECT_TRUE(focusIsIn(0)) << "focus goes to the column of the selection";
}

TEST_F(ColumnBrowserTest, UserSelectionOpensTheNextColumnAndRunsTheActions) {
    makeLessonTree();
    browser->loadColumnZero();
    window.present();

    userSelects("Get Started", 0);
    EXPECT_EQ(clicks, std::vector<std::string>{"/Get Started"});
    EXPECT_EQ(browser->lastColumn(), 1);
    EXPECT_EQ(namesInColumn(1), (std::vector<std::string>{"Quickstart Video", "Theory"}));

    userSelects("Theory", 1);
    EXPECT_EQ(clicks.back(), "/Get Started/Theory");
    EXPECT_EQ(browser->lastColumn(), 1);

    // Choosing another folder on the left closes the columns to its right.
    userSelects("Empty", 0);
    EXPECT_EQ(clicks.back(), "/Empty");
    EXPECT_EQ(browser->lastColumn(), 0);

    userSelects("loose.mov", 0);
    EXPECT_EQ(browser->lastColumn(), 1);
    EXPECT_EQ(browser->numberOfRowsInColumn(1), 0);

    GuiTest::settle();
    gtk_widget_activate_action(GTK_WIDGET(browser->matrixInColumn(0)->gobj()), "list.activate-item",
                               "u", static_cast<guint>(rowNamed("loose.mov", 0)));
    EXPECT_EQ(doubleClicks, std::vector<std::string>{"/loose.mov"});
    EXPECT_EQ(clicks.size(), 4u);
}

TEST_F(ColumnBrowserTest, AColumnIsListedOncePerLoadAndReloadingKeepsTheSelection) {
    for (int index = 0; index < 10000; ++index)
        std::ofstream(library + "/Lesson " + std::to_string(index) + ".mov") << "x";
    make("Lesson 7000.mov.d/Sub");
    browser->loadColumnZero();
    window.present();
    ASSERT_TRUE(GuiTest::runUntil([&] { return rowWidgetShowing("Lesson 0.mov", 0) != nullptr; }));
    EXPECT_LT(delegate->cellsFilled, 1000) << "only the rows on screen are filled";

    // Scrolling fills the rows that come into view from the one listing.
    gtk_widget_activate_action(GTK_WIDGET(browser->matrixInColumn(0)->gobj()),
                               "list.scroll-to-item", "u", 9999u);
    ASSERT_TRUE(
        GuiTest::runUntil([&] { return rowWidgetShowing("Lesson 9999.mov", 0) != nullptr; }));
    EXPECT_EQ(browser->loadedCellAtRow(5000, 0)->stringValue(), "Lesson 5000.mov");
    EXPECT_TRUE(browser->setPath("/Lesson 7000.mov.d"));
    EXPECT_EQ(delegate->countRequests[0], 1);
    EXPECT_EQ(delegate->cellsFilledTwice, 0);

    make("Lesson 7000.mov.d/Another");
    browser->reloadColumn(1);
    EXPECT_EQ(namesInColumn(1), (std::vector<std::string>{"Another", "Sub"}));
    EXPECT_EQ(browser->path(), "/Lesson 7000.mov.d");
    browser->reloadColumn(0);
    EXPECT_EQ(delegate->countRequests[0], 2);
    EXPECT_EQ(browser->path(), "/Lesson 7000.mov.d");
    browser->loadColumnZero();
    EXPECT_EQ(browser->path(), "/");
}

TEST_F(ColumnBrowserTest, ColumnsShareTheWidthThreeToAViewAndTheLastIsScrolledIntoView) {
    make("A/B/C/D");
    browser->loadColumnZero();
    window.present();
    ASSERT_TRUE(browser->setPath("/A/B"));
    ASSERT_TRUE(GuiTest::runUntil([&] {
        return browser->get_width() > 0 &&
               std::abs(browser->columnWidth() - browser->get_width() / 3) <= 2;
    }));
    GuiTest::settle();
    EXPECT_NEAR(browser->matrixInColumn(1)->get_width(), browser->columnWidth(), 4);

    // Narrower than the minimum, columns keep the minimum width and the browser scrolls.
    browser->setMinColumnWidth(400);
    EXPECT_EQ(browser->columnWidth(), 400);
    ASSERT_TRUE(browser->setPath("/A/B/C"));
    auto* scroller = dynamic_cast<Gtk::ScrolledWindow*>(browser->get_first_child());
    ASSERT_NE(scroller, nullptr);
    auto adjustment = scroller->get_hadjustment();
    auto lastColumnShown = [&] {
        double left = 0, top = 0;
        Gtk::Widget* list = browser->matrixInColumn(3);
        if (list->get_width() <= 0 || !list->translate_coordinates(*scroller, 0, 0, left, top))
            return false;
        return left >= 0 && left + list->get_width() <= adjustment->get_page_size() + 2;
    };
    ASSERT_TRUE(GuiTest::runUntil(lastColumnShown));
    EXPECT_NEAR(browser->matrixInColumn(3)->get_width(), 400, 4);
    EXPECT_GT(adjustment->get_value(), 0);
    browser->scrollColumnToVisible(0);
    ASSERT_TRUE(GuiTest::runUntil([&] { return adjustment->get_value() == 0; }));
}

TEST_F(ColumnBrowserTest, PointerClicksRunTheActions) {
    if (!GuiTest::canClickWithPointer())
        GTEST_SKIP() << "needs an X11 display and xdotool";
    makeLessonTree();
    browser->loadColumnZero();
    window.present();
    ASSERT_TRUE(GuiTest::runUntil([&] { return rowWidgetShowing("Get Started", 0) != nullptr; }));
    GuiTest::settle(300);

    ASSERT_TRUE(GuiTest::clickWidget(*rowWidgetShowing("Get Started", 0), 1));
    ASSERT_TRUE(GuiTest::runUntil([&] { return clicks.size() == 1; }));
    EXPECT_EQ(clicks[0], "/Get Started");
    EXPECT_EQ(browser->lastColumn(), 1);

    // A click on the row already selected is still a click (made after the double-click time).
    GuiTest::settle(800);
    ASSERT_TRUE(GuiTest::clickWidget(*rowWidgetShowing("Get Started", 0), 1));
    ASSERT_TRUE(GuiTest::runUntil([&] { return clicks.size() == 2; }));
    EXPECT_EQ(clicks[1], "/Get Started");

    GuiTest::settle(300);
    ASSERT_TRUE(GuiTest::runUntil([&] { return rowWidgetShowing("Theory", 1) != nullptr; }));
    ASSERT_TRUE(GuiTest::clickWidget(*rowWidgetShowing("Theory", 1), 2));
    ASSERT_TRUE(GuiTest::runUntil([&] { return doubleClicks.size() == 1; }));
    EXPECT_EQ(doubleClicks[0], "/Get Started/Theory");
    EXPECT_EQ(clicks.back(), "/Get Started/Theory");
}

TEST_F(ColumnBrowserTest, ArrowKeysMoveBetweenColumns) {
    if (!GuiTest::canClickWithPointer())
        GTEST_SKIP() << "needs an X11 display and xdotool";
    makeLessonTree();
    browser->loadColumnZero();
    window.present();
    browser->setPath("/Get Started");
    GuiTest::settle(300);
    browser->focusSelectedColumn();
    GuiTest::settle();

    ASSERT_TRUE(GuiTest::pressKey(*browser, "Right"));
    ASSERT_TRUE(GuiTest::runUntil([&] { return clicks.size() == 1; }));
    EXPECT_EQ(clicks[0], "/Get Started/Quickstart Video");

    ASSERT_TRUE(GuiTest::pressKey(*browser, "Down"));
    ASSERT_TRUE(GuiTest::runUntil([&] { return clicks.size() == 2; }));
    EXPECT_EQ(clicks[1], "/Get Started/Theory");

    ASSERT_TRUE(GuiTest::pressKey(*browser, "Left"));
    ASSERT_TRUE(GuiTest::runUntil([&] { return clicks.size() == 3; }));
    EXPECT_EQ(clicks[2], "/Get Started");
    EXPECT_EQ(browser->lastColumn(), 1);
    EXPECT_EQ(browser->selectedRowInColumn(1), -1);
}

} // namespace
