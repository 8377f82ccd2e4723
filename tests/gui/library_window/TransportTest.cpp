#include "LibraryWindowFixture.h"

#include "platform/Defaults.h"
#include "platform/movie/NotificationCenter.h"
#include "platform/ui/Alert.h"
#include "platform/ui/TableView.h"
#include "player/FrlQTMovie.h"

#include <gtkmm/label.h>
#include <gtkmm/scale.h>

namespace {

using namespace std::chrono_literals;

// Presses a key on the file list as the keyboard would deliver it to the list's key handlers.
bool pressKeyOnFileList(AppController& app, guint key) {
    auto controllers = app.resultsView->observe_controllers();
    gboolean handled = FALSE;
    for (guint i = 0; i < controllers->get_n_items() && !handled; ++i) {
        gpointer controller = g_list_model_get_item(controllers->gobj(), i);
        if (GTK_IS_EVENT_CONTROLLER_KEY(controller))
            g_signal_emit_by_name(controller, "key-pressed", key, 0u, GdkModifierType(0), &handled);
        g_object_unref(controller);
    }
    return handled;
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

TEST_F(TransportTest, ADoubleClickPlaysTheRowAtTheSliderRateAndTheEndPlaysTheNext) {
    auto& app = startWithLessons(1.0);
    app.movieRateSlider->set_value(1.5);
    doubleClickRow(app, 1);
    FrlQTMovie* movie = app.currentMovie();
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->movieFilePath(), rows[1]);
    EXPECT_FLOAT_EQ(movie->rate(), 1.5f);
    EXPECT_FALSE(movie->muted());
    EXPECT_EQ(pictureOf(app.playButton), picture("pause_active"));
    EXPECT_EQ(app.window()->get_title(), "Strumwell (02 Two)");
    EXPECT_EQ(Defaults::standard().integerForKey("saveUserSelection"), 1);

    // A new selection shows no poster while a lesson plays; the end plays the row after it.
    selectRow(app, 2);
    EXPECT_EQ(app.currentMovie()->movieFilePath(), rows[1]);
    ASSERT_TRUE(spinUntil([&] { return app.resultsView->selectedRow() == 3; }));
    EXPECT_EQ(app.currentMovie()->movieFilePath(), rows[3]);
    EXPECT_TRUE(app.isMoviePlaying());
    EXPECT_FALSE(app.ignoreSelectionChange) << "the selection handler used the flag";
    EXPECT_EQ(Defaults::standard().integerForKey("saveUserSelection"), 3);
    EXPECT_EQ(app.window()->get_title(), "Strumwell (04 Four)");

    // The last row ends stopped at its beginning; the next tick shows the time again.
    ASSERT_TRUE(spinUntil([&] { return !app.isMoviePlaying(); }));
    spin();
    EXPECT_EQ(app.resultsView->selectedRow(), 3);
    EXPECT_EQ(app.currentMovie()->currentTime().timeValue, 0);
    EXPECT_TRUE(app.isMoviePaused);
    EXPECT_EQ(pictureOf(app.playButton), picture("play_active"));
    EXPECT_TRUE(spinUntil([&] { return app.movieTime->get_text() == "00:00 / 00:01"; }));
    EXPECT_TRUE(app.isMoviePaused) << "ticks of a stopped movie leave the play picture";
}

TEST_F(TransportTest, PlayFromThePosterPlaysThenPausesAndResumesWhereItStood) {
    auto& app = startWithLessons(2.0);
    FrlQTMovie* poster = app.currentMovie();
    ASSERT_NE(poster, nullptr);
    click(app.playButton);
    EXPECT_EQ(app.currentMovie(), poster) << "the shown lesson is reused";
    ASSERT_TRUE(playedPast(app, 0.5));
    EXPECT_TRUE(spinUntil([&] { return app.movieTime->get_text() == "00:01 / 00:02"; }))
        << "the playing callback keeps the time display current";

    click(app.playButton);
    EXPECT_FALSE(app.isMoviePlaying());
    EXPECT_TRUE(app.isMoviePaused);
    EXPECT_EQ(pictureOf(app.playButton), picture("play_active"));
    double stoodAt = seconds(poster->currentTime());
    EXPECT_GT(stoodAt, 0.4);

    click(app.playButton);
    EXPECT_FLOAT_EQ(poster->rate(), 1.0f);
    EXPECT_GE(seconds(poster->currentTime()), stoodAt - 0.1) << "resumes, does not restart";
    EXPECT_TRUE(spinUntil([&] { return !app.isMoviePaused; }));
    EXPECT_EQ(pictureOf(app.playButton), picture("pause_active"));
}

TEST_F(TransportTest, ReverseAndFastForwardTakeTurnsMutedAndGiveBackTheSliderRate) {
    auto& app = startWithLessons(2.0);
    doubleClickRow(app, 0);
    FrlQTMovie* movie = app.currentMovie();
    ASSERT_TRUE(playedPast(app, 1.0));
    click(app.playButton);
    ASSERT_TRUE(app.isMoviePaused);

    click(app.reverseButton);
    EXPECT_FLOAT_EQ(movie->rate(), -2.0f) << "reverse starts a paused movie";
    EXPECT_TRUE(movie->muted());
    EXPECT_EQ(pictureOf(app.reverseButton), picture("rewind_on"));
    EXPECT_TRUE(spinUntil([&] { return !app.isMoviePaused; }));

    click(app.fforwardButton);
    EXPECT_FLOAT_EQ(movie->rate(), 2.0f);
    EXPECT_TRUE(movie->muted());
    EXPECT_FALSE(app.isMovieReverse);
    EXPECT_EQ(pictureOf(app.reverseButton), picture("rewind_off"));
    EXPECT_EQ(pictureOf(app.fforwardButton), picture("fastfwd_on"));

    click(app.fforwardButton);
    EXPECT_FLOAT_EQ(movie->rate(), 1.0f);
    EXPECT_FALSE(movie->muted());
    EXPECT_FALSE(app.isMovieReverse || app.isMovieFForward);
    EXPECT_EQ(pictureOf(app.fforwardButton), picture("fastfwd_off"));
}

TEST_F(TransportTest, WithLoopOnTheEndDoesNotAdvance) {
    auto& app = startWithLessons(1.0);
    click(app.loopButton);
    EXPECT_EQ(pictureOf(app.loopButton), picture("loop_on"));
    EXPECT_TRUE(app.currentMovie()->loops()) << "the shown movie follows the loop button";
    doubleClickRow(app, 0);
    FrlQTMovie* movie = app.currentMovie();
    EXPECT_TRUE(movie->loops());
    spinFor(1800ms);
    EXPECT_EQ(app.currentMovie(), movie);
    EXPECT_EQ(app.resultsView->selectedRow(), 0);
    click(app.loopButton);
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
    EXPECT_TRUE(spinUntil([&] { return !app.isMoviePaused; }));
    EXPECT_EQ(pictureOf(app.playButton), picture("pause_active"));
}

TEST_F(TransportTest, StoppingAndReloadingKeepTheCallbacksOfTheSameMovie) {
    auto& app = startWithLessons(2.0);
    FrlQTMovie* movie = app.currentMovie();
    auto& center = NotificationCenter::defaultCenter();
    app.stopMovie();
    EXPECT_EQ(center.observationCount(movie), 2u) << "stopping a stopped movie keeps them";
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

    EXPECT_TRUE(app.playMovieFile(rows[0], false));
    app.stopMovie();
    EXPECT_EQ(center.observationCount(movie), 0u) << "stopping a running movie removes them";
    EXPECT_EQ(movie->quickTimeMovieController()->actionFilter(), nullptr);

    writeFile(folder + "/Broken.mov", "not a movie at all");
    EXPECT_TRUE(app.playMovieFile(rows[0], false));
    EXPECT_FALSE(app.playMovieFile(folder + "/Broken.mov", false));
    EXPECT_EQ(app.currentMovie(), movie) << "a file that is not a movie leaves the last one";
    EXPECT_FALSE(app.isMoviePlaying());
    EXPECT_EQ(movie->currentTime().timeValue, 0);
}

TEST_F(TransportTest, TheTimeDisplayShowsMinutesAndSecondsOnly) {
    LessonOptions hour{.seconds = 3725, .width = 32, .height = 32, .framesPerSecond = 1};
    hour.audio = false;
    MovieMedia::copy(MovieMedia::lesson(hour), strumwellRoot() + "/Long", "Hour.mov");
    auto& app = startWithLessons(1.0);
    clickBrowserPath(app, "/Long");
    selectRow(app, 0);
    FrlQTMovie* movie = app.currentMovie();
    ASSERT_EQ(movie->movieFilePath(), strumwellRoot() + "/Long/Hour.mov");
    for (auto [second, shown] : {std::pair{3723, "02:03 / 02:05"}, std::pair{65, "01:05 / 02:05"},
                                 std::pair{0, "00:00 / 02:05"}}) {
        movie->setCurrentTime(QTMakeTime(second * 600, 600));
        EXPECT_TRUE(spinUntil([&] {
            app.adjustTimeDisplayForCurrentMovie();
            return app.movieTime->get_text() == shown;
        })) << shown;
    }
}

TEST_F(TransportTest, SpaceInTheFileListPlaysAndPausesAndDeleteAsksFirst) {
    auto& app = startWithLessons(2.0);
    selectRow(app, 1);
    EXPECT_TRUE(pressKeyOnFileList(app, GDK_KEY_space));
    EXPECT_TRUE(spinUntil([&] { return app.isMoviePlaying(); }));
    EXPECT_TRUE(pressKeyOnFileList(app, GDK_KEY_space));
    EXPECT_FALSE(app.isMoviePlaying());

    answerAlerts([](const AlertRequest&) { return 1; });
    EXPECT_TRUE(pressKeyOnFileList(app, GDK_KEY_Delete));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, "Delete");
    EXPECT_FALSE(pressKeyOnFileList(app, GDK_KEY_a)) << "other keys stay with the list";
}

} // namespace
