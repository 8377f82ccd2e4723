#include "LibraryWindowFixture.h"

#include "platform/Defaults.h"
#include "platform/movie/NotificationCenter.h"
#include "platform/movie/QTMovieView.h"
#include "platform/ui/Alert.h"
#include "platform/ui/TableView.h"
#include "player/FrlQTMovie.h"

#include <gtkmm/applicationwindow.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/scale.h>

namespace {

using namespace std::chrono_literals;

void click(Gtk::Button* button) {
    g_signal_emit_by_name(button->gobj(), "clicked");
}

// Four lessons in the Quickstart folder, so the first start shows the first one's poster.
class TransportTest : public LibraryWindowFixture {
protected:
    AppController& startWithLessons(double seconds) {
        folder = strumwellRoot() + "/Get Started/Quickstart Video";
        for (const char* name : {"01 One.mov", "02 Two.mov", "03 Three.mov", "04 Four.mov"})
            rows.push_back(addLesson(folder, name, seconds));
        return startStrumwell();
    }
    static bool playedPast(AppController& app, double time) {
        return spinUntil([&] { return seconds(app.currentMovie()->currentTime()) > time; });
    }
    std::string folder;
    std::vector<std::string> rows;
};

TEST_F(TransportTest, ADoubleClickPlaysTheRowAtTheSliderRate) {
    auto& app = startWithLessons(2.0);
    app.movieRateSlider->set_value(1.5);
    doubleClickRow(app, 1);
    FrlQTMovie* movie = app.currentMovie();
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->movieFilePath(), rows[1]);
    EXPECT_FLOAT_EQ(movie->rate(), 1.5f);
    EXPECT_FALSE(movie->muted());
    EXPECT_FALSE(app.isMoviePaused);
    EXPECT_EQ(pictureOf(app.playButton), picture("pause_active"));
    EXPECT_EQ(app.window()->get_title(), "Strumwell (02 Two)");
    EXPECT_EQ(Defaults::standard().integerForKey("saveUserSelection"), 1);
    EXPECT_TRUE(playedPast(app, 0.3)) << "the pipeline really plays";
    EXPECT_TRUE(spinUntil([&] { return app.movieTime->get_text() == "00:01 / 00:02"; }))
        << "the playing callback keeps the time display current";
}

TEST_F(TransportTest, PlayFromThePosterPlaysThenPausesAndResumesWhereItStood) {
    auto& app = startWithLessons(2.0);
    FrlQTMovie* poster = app.currentMovie();
    ASSERT_NE(poster, nullptr);
    click(app.playButton);
    EXPECT_EQ(app.currentMovie(), poster) << "the shown lesson is reused";
    EXPECT_TRUE(app.isMoviePlaying());
    ASSERT_TRUE(playedPast(app, 0.5));

    click(app.playButton);
    EXPECT_FALSE(app.isMoviePlaying());
    EXPECT_TRUE(app.isMoviePaused);
    EXPECT_EQ(pictureOf(app.playButton), picture("play_active"));
    double stoodAt = seconds(poster->currentTime());
    EXPECT_GT(stoodAt, 0.4);

    click(app.playButton);
    EXPECT_TRUE(app.isMoviePlaying());
    EXPECT_FLOAT_EQ(poster->rate(), 1.0f);
    EXPECT_GE(seconds(poster->currentTime()), stoodAt - 0.1) << "resumes, does not restart";
    // The restart leaves the button to the next tick, which finds the movie running.
    EXPECT_TRUE(spinUntil([&] { return !app.isMoviePaused; }));
    EXPECT_EQ(pictureOf(app.playButton), picture("pause_active"));
}

TEST_F(TransportTest, ReverseAndFastForwardTakeTurnsMutedAndGiveBackTheSliderRate) {
    auto& app = startWithLessons(2.0);
    doubleClickRow(app, 0);
    FrlQTMovie* movie = app.currentMovie();
    ASSERT_TRUE(playedPast(app, 1.0));

    click(app.reverseButton);
    EXPECT_FLOAT_EQ(movie->rate(), -2.0f);
    EXPECT_TRUE(movie->muted());
    EXPECT_TRUE(app.isMovieReverse);
    EXPECT_EQ(pictureOf(app.reverseButton), picture("rewind_on"));

    click(app.fforwardButton);
    EXPECT_FLOAT_EQ(movie->rate(), 2.0f);
    EXPECT_TRUE(movie->muted());
    EXPECT_FALSE(app.isMovieReverse);
    EXPECT_TRUE(app.isMovieFForward);
    EXPECT_EQ(pictureOf(app.reverseButton), picture("rewind_off"));
    EXPECT_EQ(pictureOf(app.fforwardButton), picture("fastfwd_on"));

    click(app.fforwardButton);
    EXPECT_FLOAT_EQ(movie->rate(), 1.0f);
    EXPECT_FALSE(movie->muted());
    EXPECT_FALSE(app.isMovieReverse || app.isMovieFForward);
    EXPECT_EQ(pictureOf(app.fforwardButton), picture("fastfwd_off"));
}

TEST_F(TransportTest, ReverseStartsAPausedMovieAndTheNextTickShowsItRunning) {
    auto& app = startWithLessons(2.0);
    doubleClickRow(app, 0);
    ASSERT_TRUE(playedPast(app, 1.0));
    click(app.playButton);
    ASSERT_TRUE(app.isMoviePaused);

    click(app.reverseButton);
    EXPECT_FLOAT_EQ(app.currentMovie()->rate(), -2.0f);
    EXPECT_TRUE(spinUntil([&] { return !app.isMoviePaused; }));
    EXPECT_EQ(pictureOf(app.playButton), picture("pause_active"));
}

TEST_F(TransportTest, WithLoopOnTheEndDoesNotAdvance) {
    auto& app = startWithLessons(1.0);
    click(app.loopButton);
    EXPECT_TRUE(app.isLooping);
    EXPECT_EQ(pictureOf(app.loopButton), picture("loop_on"));
    EXPECT_TRUE(app.currentMovie()->loops()) << "the shown movie follows the loop button";

    doubleClickRow(app, 0);
    FrlQTMovie* movie = app.currentMovie();
    EXPECT_TRUE(movie->loops());
    spinFor(1800ms);
    EXPECT_EQ(app.currentMovie(), movie);
    EXPECT_EQ(app.resultsView->selectedRow(), 0);
    EXPECT_TRUE(app.isMoviePlaying());

    click(app.loopButton);
    EXPECT_FALSE(app.isLooping);
    EXPECT_FALSE(movie->loops());
    EXPECT_EQ(pictureOf(app.loopButton), picture("loop_off"));
    EXPECT_TRUE(app.isMoviePlaying()) << "loop leaves the play state alone";
}

TEST_F(TransportTest, ASlowSliderFlickersThePlayPictureUntilTheNextTick) {
    auto& app = startWithLessons(2.0);
    click(app.playButton);
    click(app.playButton);
    ASSERT_TRUE(app.isMoviePaused);
    app.movieRateSlider->set_value(0.5);
    EXPECT_FALSE(app.isMoviePlaying()) << "the slider does not start a paused movie";

    app.tableDoubleClick(app.resultsView);
    EXPECT_FLOAT_EQ(app.currentMovie()->rate(), 0.5f);
    EXPECT_TRUE(app.isMoviePaused) << "a rate below 1 reports itself as stopped";
    EXPECT_EQ(pictureOf(app.playButton), picture("play_active"));
    EXPECT_TRUE(spinUntil([&] { return !app.isMoviePaused; }));
    EXPECT_EQ(pictureOf(app.playButton), picture("pause_active"));
    EXPECT_TRUE(app.isMoviePlaying());
}

TEST_F(TransportTest, TheEndPlaysTheNextRow) {
    auto& app = startWithLessons(1.0);
    doubleClickRow(app, 0);
    ASSERT_TRUE(spinUntil([&] { return app.resultsView->selectedRow() == 1; }));
    EXPECT_EQ(app.currentMovie()->movieFilePath(), rows[1]);
    EXPECT_TRUE(app.isMoviePlaying());
    EXPECT_FALSE(app.isMoviePaused);
    EXPECT_FALSE(app.ignoreSelectionChange) << "the selection handler used the flag";
    EXPECT_EQ(Defaults::standard().integerForKey("saveUserSelection"), 1);
    EXPECT_EQ(app.window()->get_title(), "Strumwell (02 Two)");
}

TEST_F(TransportTest, AfterANewSelectionTheEndPlaysTheRowAfterIt) {
    auto& app = startWithLessons(1.0);
    doubleClickRow(app, 0);
    selectRow(app, 2);
    EXPECT_EQ(app.currentMovie()->movieFilePath(), rows[0]) << "no poster while a lesson plays";
    EXPECT_TRUE(app.isMoviePlaying());
    ASSERT_TRUE(spinUntil([&] { return app.resultsView->selectedRow() == 3; }));
    EXPECT_EQ(app.currentMovie()->movieFilePath(), rows[3]);
    EXPECT_TRUE(app.isMoviePlaying());
}

TEST_F(TransportTest, TheLastRowEndsStoppedAtItsBeginning) {
    auto& app = startWithLessons(1.0);
    doubleClickRow(app, 3);
    FrlQTMovie* last = app.currentMovie();
    ASSERT_TRUE(app.isMoviePlaying());
    ASSERT_TRUE(spinUntil([&] { return !app.isMoviePlaying(); }));
    spin();
    EXPECT_EQ(app.currentMovie(), last);
    EXPECT_EQ(app.resultsView->selectedRow(), 3);
    EXPECT_EQ(last->currentTime().timeValue, 0);
    EXPECT_TRUE(app.isMoviePaused);
    EXPECT_EQ(pictureOf(app.playButton), picture("play_active"));
    // The end empties the display; the next tick shows the beginning again.
    EXPECT_TRUE(spinUntil([&] { return app.movieTime->get_text() == "00:00 / 00:01"; }));
    EXPECT_TRUE(app.isMoviePaused) << "ticks of a stopped movie leave the play picture";
}

TEST_F(TransportTest, StoppingAStoppedMovieKeepsItsCallbacksAndReloadingReusesIt) {
    auto& app = startWithLessons(2.0);
    FrlQTMovie* movie = app.currentMovie();
    auto& center = NotificationCenter::defaultCenter();
    ASSERT_EQ(center.observationCount(movie), 2u);
    app.stopMovie();
    EXPECT_EQ(center.observationCount(movie), 2u);
    EXPECT_NE(movie->quickTimeMovieController()->actionFilter(), nullptr);

    doubleClickRow(app, 0);
    ASSERT_TRUE(playedPast(app, 0.5));
    click(app.playButton);
    app.window()->set_title("Marker");
    EXPECT_TRUE(app.playMovieFile(rows[0], true));
    EXPECT_EQ(app.currentMovie(), movie);
    EXPECT_EQ(center.observationCount(movie), 2u) << "registered once";
    EXPECT_EQ(app.window()->get_title(), "Marker") << "the same file is not reopened";
    EXPECT_EQ(movie->currentTime().timeValue, 0) << "but it goes back to the beginning";
    EXPECT_FALSE(app.isMoviePaused);

    EXPECT_TRUE(app.playMovieFile(rows[0], false));
    EXPECT_TRUE(app.isMoviePlaying());
    app.stopMovie();
    EXPECT_EQ(center.observationCount(movie), 0u) << "stopping a running movie removes them";
    EXPECT_EQ(movie->quickTimeMovieController()->actionFilter(), nullptr);
}

TEST_F(TransportTest, AFileThatIsNotAMovieLeavesThePreviousOneStopped) {
    auto& app = startWithLessons(2.0);
    doubleClickRow(app, 0);
    FrlQTMovie* movie = app.currentMovie();
    ASSERT_TRUE(playedPast(app, 0.3));
    writeFile(folder + "/Broken.mov", "not a movie at all");
    EXPECT_FALSE(app.playMovieFile(folder + "/Broken.mov", false));
    EXPECT_EQ(app.currentMovie(), movie);
    EXPECT_FALSE(app.isMoviePlaying());
    EXPECT_EQ(movie->currentTime().timeValue, 0);
    EXPECT_EQ(app.window()->get_title(), "Strumwell (01 One)");
}

TEST_F(TransportTest, TheTimeDisplayShowsMinutesAndSecondsOnly) {
    LessonOptions hour;
    hour.seconds = 3725; // 1:02:05
    hour.width = 32;
    hour.height = 32;
    hour.framesPerSecond = 1;
    hour.audio = false;
    MovieMedia::copy(MovieMedia::lesson(hour), strumwellRoot() + "/Long", "Hour.mov");
    auto& app = startWithLessons(1.0);
    clickBrowserPath(app, "/Long");
    selectRow(app, 0);
    FrlQTMovie* movie = app.currentMovie();
    ASSERT_EQ(movie->movieFilePath(), strumwellRoot() + "/Long/Hour.mov");

    struct Case {
        std::int64_t second;
        const char* shown;
    };
    for (const Case& at :
         {Case{3723, "02:03 / 02:05"}, Case{65, "01:05 / 02:05"}, Case{0, "00:00 / 02:05"}}) {
        movie->setCurrentTime(QTMakeTime(at.second * 600, 600));
        EXPECT_TRUE(spinUntil([&] {
            app.adjustTimeDisplayForCurrentMovie();
            return app.movieTime->get_text() == at.shown;
        })) << at.shown
            << " but shows " << app.movieTime->get_text();
    }
}

} // namespace

namespace {

// Presses a key on the file list as the keyboard would deliver it to the list's key handlers.
bool pressKeyOnFileList(AppController& app, guint key) {
    auto controllers = app.resultsView->observe_controllers();
    for (guint i = 0; i < controllers->get_n_items(); ++i) {
        gpointer controller = g_list_model_get_item(controllers->gobj(), i);
        bool isKeyController = GTK_IS_EVENT_CONTROLLER_KEY(controller);
        gboolean handled = FALSE;
        if (isKeyController)
            g_signal_emit_by_name(controller, "key-pressed", key, 0u, GdkModifierType(0), &handled);
        g_object_unref(controller);
        if (handled)
            return true;
    }
    return false;
}

TEST_F(TransportTest, SpaceInTheFileListPlaysAndPausesAndDeleteAsksFirst) {
    auto& app = startWithLessons(2.0);
    selectRow(app, 1);
    EXPECT_TRUE(pressKeyOnFileList(app, GDK_KEY_space));
    ASSERT_NE(app.currentMovie(), nullptr);
    EXPECT_TRUE(spinUntil([&] { return app.isMoviePlaying(); }));
    EXPECT_TRUE(pressKeyOnFileList(app, GDK_KEY_space));
    EXPECT_FALSE(app.isMoviePlaying());
    EXPECT_TRUE(spinUntil([&] { return app.isMoviePaused; }));

    alerts.clear();
    Alert::setResponder([this](const AlertRequest& request) {
        alerts.push_back(request);
        return std::optional<AlertAnswer>(AlertAnswer{1, false});
    });
    EXPECT_TRUE(pressKeyOnFileList(app, GDK_KEY_Delete));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, "Delete");
    EXPECT_FALSE(pressKeyOnFileList(app, GDK_KEY_a)) << "other keys stay with the list";
}

} // namespace
