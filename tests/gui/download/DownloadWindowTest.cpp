#include "StoreAppFixture.h"

#include "download/DownloadController.h"
#include "drawing/FrameView.h"
#include "platform/ui/Alert.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"
#include "rowviews/ImageView.h"

#include <filesystem>
#include <gtkmm/label.h>
#include <gtkmm/progressbar.h>
#include <gtkmm/spinner.h>

namespace fs = std::filesystem;

namespace {

// The store window of the Download Store product.
class DownloadWindowTest : public StoreAppFixture {
protected:
    void lesson(const std::string& name, std::size_t size) {
        writeFile(store->lessonsFolder() + "/" + name, std::string(size, 'L'));
    }

    // Leaves a record of an unstarted lesson, as a run that ended early would.
    void leaveUnfinishedLesson(const std::string& name) {
        lesson(name, 1000);
        publishDescription("leftover", {name});
        writeFile(root() + "/leftover.xml", description({name}));
        DownloadController::sharedInstance(nullptr).addDownload(root() + "/leftover.xml");
        DownloadController::uninitialize();
    }
};

TEST_F(DownloadWindowTest, TheProgressDisplayShowsTheLessonAndHidesAtTheEnd) {
    auto& app = start();
    app.startDownloadProgress(purchases() + "/Bass/Chords/Lesson 3 - Chords.mov");
    for (Gtk::Widget* shown : std::initializer_list<Gtk::Widget*>{
             app.downloadBar, app.downloadFrame, app.downloadStatus})
        EXPECT_TRUE(shown->is_visible());
    EXPECT_EQ(std::string(app.downloadStatus->get_text()), "Downloading: Lesson 3 - Chords");
    app.updateDownloadProgress(42.5);
    EXPECT_DOUBLE_EQ(app.downloadBar->get_fraction(), 0.425);
    app.endDownloadProgress();
    EXPECT_FALSE(app.downloadBar->is_visible() || app.downloadFrame->is_visible());
    EXPECT_EQ(std::string(app.downloadStatus->get_text()), "");
    EXPECT_DOUBLE_EQ(app.downloadBar->get_fraction(), 0.0);
}

TEST_F(DownloadWindowTest, WithNothingLeftOverAnIdleWorkerWaitsWithoutAQuestion) {
    auto& app = start();
    EXPECT_TRUE(alerts.empty());
    app.deleteFile(nullptr);
    EXPECT_TRUE(alerts.empty()) << "without a selection delete asks nothing";
    EXPECT_FALSE(app.validateMenuItem("delete"));
    EXPECT_TRUE(app.canPauseDownloads());
    EXPECT_EQ(app.toggleDownloadTitle(), "Pause Download");
    app.toggleDownload(nullptr);
    EXPECT_FALSE(app.canPauseDownloads());
    EXPECT_EQ(app.toggleDownloadTitle(), "Resume Download");
}

TEST_F(DownloadWindowTest, LeftoversAreOfferedUnlessTheWelcomePictureIsShown) {
    leaveUnfinishedLesson("Walk.mov");
    Defaults::standard().setBool("showWelcomeSplash", true);
    EXPECT_FALSE(start().canPauseDownloads());
    EXPECT_TRUE(alerts.empty()) << "the Welcome picture instead of the question";
    controller.reset();

    Defaults::standard().setBool("showWelcomeSplash", false);
    for (int answer : {1, 0}) {
        answerAlerts([answer](const AlertRequest&) { return answer; });
        auto& app = start();
        ASSERT_TRUE(spinUntil([&] { return !alerts.empty(); }));
        EXPECT_EQ(alerts[0].title, "Fretlark Download Store");
        EXPECT_EQ(alerts[0].message, "You have incomplete downloads. Do you wish to resume now?");
        EXPECT_EQ(alerts[0].buttons, (std::vector<std::string>{"Resume", "Later"}));
        EXPECT_EQ(app.canPauseDownloads(), answer == 0) << "Later starts nothing";
        EXPECT_EQ(spinUntil([&] { return !fs::exists(workFolder() + "/Walk.plist"); }),
                  answer == 0);
        alerts.clear();
        controller.reset();
    }
    EXPECT_EQ(fs::file_size(purchases() + "/Bass/Grooves/Walking/Walk.mov"), 1000u);
}

TEST_F(DownloadWindowTest, AHandOffFetchesTheDescriptionAndASecondCancelsTheFirst) {
    lesson("One.mov", 2000);
    lesson("Two.mov", 3000);
    publishDescription("order=17", {"One.mov", "Two.mov"});
    publishDescription("order=18", {"Three.mov"});
    auto& app = start();
    EXPECT_FALSE(app.beginDownload("a/")) << "a query that names no file";
    ASSERT_TRUE(app.beginDownload("order=18"));
    std::string first = app.outputPath;
    ASSERT_TRUE(app.beginDownload("order=17"));
    EXPECT_EQ(app.outputPath, home() + "/.cache/FretlarkDownloads/download/order=17.xml");
    std::string two = purchases() + "/Bass/Grooves/Walking/Two.mov";
    ASSERT_TRUE(spinUntil([&] { return fs::exists(two) && fs::file_size(two) == 3000; }));
    EXPECT_EQ(fs::file_size(purchases() + "/Bass/Grooves/Walking/One.mov"), 2000u);
    EXPECT_TRUE(fs::is_symlink(purchases() + "/Downloads/One.mov"));
    EXPECT_FALSE(fs::exists(app.outputPath)) << "the description is used up";
    EXPECT_TRUE(spinUntil([&] { return !app.downloader; }));
    EXPECT_FALSE(fs::exists(purchases() + "/Bass/Grooves/Walking/Three.mov"));
    EXPECT_FALSE(fs::exists(first));
}

class DeleteTest : public DownloadWindowTest {
protected:
    // Starts a slow purchase of Long.mov followed by Later.mov and waits for Long.mov to begin.
    AppController& startSlowPurchase() {
        lesson("Long.mov", 400000);
        lesson("Later.mov", 1000);
        FaultPlan slow;
        slow.bytesPerSecond = 20000;
        store->store().setFaults(slow);
        publishDescription("order=9", {"Long.mov", "Later.mov"});
        auto& app = start();
        EXPECT_TRUE(app.beginDownload("order=9"));
        EXPECT_TRUE(spinUntil([&] {
            return fs::exists(lessonPath("Long.mov")) && fs::file_size(lessonPath("Long.mov")) > 0;
        }));
        return app;
    }

    std::string lessonPath(const std::string& name) const {
        return purchases() + "/Bass/Grooves/Walking/" + name;
    }

    // Shows the lesson's folder (through the Downloads links, as a user finds purchases) and
    // selects the lesson.
    void selectLesson(AppController& app, const std::string& name) {
        app.fsBrowser->setPath("/Downloads");
        app.browserSingleClick(app.fsBrowser);
        ASSERT_TRUE(app.lastVisNodes.has_value());
        for (std::size_t row = 0; row < app.lastVisNodes->size(); ++row)
            if ((*app.lastVisNodes)[row]->lastPathComponent() == name)
                app.resultsView->selectRow(static_cast<int>(row), false);
        ASSERT_EQ(fs::path(app.getCurrentSelectionPath()).filename(), name);
    }

    // The status view of the selected row: a spinner while downloading, else its picture.
    static Gtk::Widget* selectedRowLook(AppController& app) {
        auto* view = app.viewForRow(app.resultsView, app.resultsView->selectedRow());
        for (auto* child = view ? view->get_first_child() : nullptr; child;
             child = child->get_next_sibling())
            if (child->get_visible())
                return child;
        return nullptr;
    }
};

// Quitting pauses the transfer so that the next run can continue it or delete it.
TEST_F(DeleteTest, APausedLessonGoesWithItsLinkAndLeftovers) {
    auto& first = startSlowPurchase();
    first.terminate(nullptr);
    ASSERT_FALSE(first.canPauseDownloads());
    ASSERT_TRUE(fs::exists(home() + "/.cache/FretlarkDownloads/ResumeData"));
    ASSERT_TRUE(fs::exists(workFolder() + "/Long.plist"));
    controller.reset();

    // The next run: "Later" to the resume question, "Delete" to the confirmation.
    answerAlerts(
        [](const AlertRequest& alert) { return alert.title == "Fretlark Download Store"; });
    auto& app = start();
    selectLesson(app, "Long.mov");
    auto* look = dynamic_cast<ImageView*>(selectedRowLook(app));
    ASSERT_NE(look, nullptr);
    EXPECT_TRUE(look->isPartial());
    alerts.clear();
    app.deleteFile(nullptr);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].message, "Confirm deletion of 'Long' ?");
    EXPECT_EQ(alerts[0].buttons, (std::vector<std::string>{"Delete", "Cancel"}));
    EXPECT_FALSE(fs::exists(lessonPath("Long.mov")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(purchases() + "/Downloads/Long.mov")));
    EXPECT_FALSE(fs::exists(home() + "/.cache/FretlarkDownloads/ResumeData"));
    EXPECT_FALSE(fs::exists(workFolder() + "/Long.plist"));
    EXPECT_TRUE(fs::exists(workFolder() + "/Later.plist")) << "the other lesson stays queued";
}

TEST_F(DeleteTest, OnlyAPausedOrUnstartedLessonGoesAndCancelKeepsEverything) {
    auto& app = startSlowPurchase();
    selectLesson(app, "Long.mov");
    auto* spinner = dynamic_cast<Gtk::Spinner*>(selectedRowLook(app));
    ASSERT_NE(spinner, nullptr);
    EXPECT_TRUE(spinner->get_spinning());
    alerts.clear();
    app.deleteFile(nullptr);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].message,
              "You can't delete a file while it is being downloaded. You must first pause the "
              "download by using the 'Pause Download' command under the File menu (Command-R), "
              "and then delete the file.");
    EXPECT_EQ(alerts[0].buttons, std::vector<std::string>{"OK"});
    EXPECT_TRUE(fs::exists(lessonPath("Long.mov")));

    app.toggleDownload(nullptr);
    selectLesson(app, "Later.mov");
    answerAlerts([](const AlertRequest&) { return 1; });
    app.deleteFile(nullptr);
    EXPECT_TRUE(fs::exists(lessonPath("Later.mov"))) << "Cancel deletes nothing";
    EXPECT_TRUE(fs::exists(workFolder() + "/Later.plist"));

    answerAlerts([](const AlertRequest&) { return 0; });
    app.deleteFile(nullptr);
    EXPECT_FALSE(fs::exists(lessonPath("Later.mov")));
    EXPECT_FALSE(fs::exists(workFolder() + "/Later.plist"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(purchases() + "/Downloads/Later.mov")));
    EXPECT_TRUE(fs::exists(lessonPath("Long.mov")));
}

TEST_F(DeleteTest, ALessonWhoseTransferResumedWhileTheQuestionWasOpenIsKept) {
    auto& app = startSlowPurchase();
    app.toggleDownload(nullptr);
    selectLesson(app, "Long.mov");
    alerts.clear();
    Alert::setResponder([&](const AlertRequest& request) {
        alerts.push_back(request);
        if (alerts.size() == 1) {
            app.toggleDownload(nullptr);
            spinUntil([&] {
                return DownloadController::sharedInstance(&app).fileIsDownloading(
                    lessonPath("Long.mov"));
            });
        }
        return std::optional<AlertAnswer>(AlertAnswer{0, false});
    });
    app.deleteFile(nullptr);
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[1].buttons, std::vector<std::string>{"OK"});
    EXPECT_TRUE(fs::exists(lessonPath("Long.mov")));
}

} // namespace
