// The practice tools in the real window: sections, the speed trainer, the mirror, practice kept
// across a restart, the keys and the media-player service on a private session bus.
#include "FrameNumberLesson.h"
#include "LibraryWindowFixture.h"

#include "platform/movie/QTMovieView.h"
#include "platform/ui/TableView.h"
#include "player/FrlQTMovie.h"
#include "practice/MprisService.h"
#include "practice/SectionBand.h"
#include "practice/SectionList.h"

#include <csignal>
#include <filesystem>
#include <glib.h>
#include <gtk/gtk.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/label.h>
#include <gtkmm/scale.h>
#include <gtkmm/searchentry.h>
#include <gtkmm/shortcutswindow.h>
#include <gtkmm/spinbutton.h>
#include <gtkmm/togglebutton.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

class PracticeWindowTest : public LibraryWindowFixture {
protected:
    // Two lessons of twelve seconds whose frames show their number, annotated with an artist.
    AppController& startWithLessons() {
        std::string folder = strumwellRoot() + "/Get Started/Quickstart Video";
        for (const char* name : {"01 One.mov", "02 Two.mov"}) {
            rows.push_back(MovieMedia::copy(frameNumberLesson(12, 10), folder, name));
            FrlQTMovie movie;
            EXPECT_TRUE(movie.initWithFile(rows.back(), nullptr) &&
                        movie.setArtistAnnotation("Mara Quill") && movie.updateMovieFile());
        }
        return startStrumwell();
    }
    static void play(AppController& app, int row) {
        doubleClickRow(app, row);
        ASSERT_TRUE(::spinUntil([&] { return app.currentMovie() && app.isMoviePlaying(); }, 5s));
    }
    static void goTo(AppController& app, double at) {
        app.currentMovie()->setCurrentTime(QTMakeTime(static_cast<std::int64_t>(at * 600), 600));
    }
    // Presses a key as the keyboard sends it: the window's key handler sees symbol and key code.
    static bool press(AppController& app, guint key, GdkModifierType state = GdkModifierType(0)) {
        GdkKeymapKey* keys = nullptr;
        gint count = 0;
        gdk_display_map_keyval(gdk_display_get_default(), key, &keys, &count);
        guint keycode = count > 0 ? keys[0].keycode : 0;
        g_free(keys);
        gboolean handled = FALSE;
        g_signal_emit_by_name(app.practiceKeys->gobj(), "key-pressed", key, keycode, state,
                              &handled);
        spin();
        return handled;
    }
    static GPid spawn(const std::string& line) {
        const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
        GPid pid = 0;
        EXPECT_TRUE(g_spawn_async(nullptr, const_cast<char**>(argv), nullptr,
                                  GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                                  nullptr, nullptr, &pid, nullptr));
        return pid;
    }
    // Runs a program while the main loop turns, since it may talk back to this process.
    std::string run(const std::string& command) {
        std::string output = root() + "/output";
        GPid pid = spawn(command + " > '" + output + "' 2>&1");
        ::spinUntil([&] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 20s);
        return readFile(output);
    }
    std::string mpris(const std::string& call) {
        return run(std::string("gdbus call --session --dest ") + MprisService::busName +
                   " --object-path " + MprisService::objectPath + " --method " + call);
    }
    std::string property(const std::string& name) {
        return mpris("org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player " + name);
    }
    static bool mirrorShown(AppController& app) {
        auto image = app.currentMovie()->currentFrameImage();
        return image && isMirrored(*image);
    }
    static int frameShown(AppController& app) {
        auto image = app.currentMovie()->currentFrameImage();
        return image ? frameNumber(*image) : -1;
    }

    std::vector<std::string> rows;
};

TEST_F(PracticeWindowTest, SectionsMirrorAndRateComeBackAfterARestart) {
    auto& app = startWithLessons();
    play(app, 0);
    goTo(app, 2.0);
    click(app.sectionStartButton);
    goTo(app, 4.0);
    click(app.sectionEndButton);
    app.renameSection(0, "Riff");
    click(app.mirrorButton);
    EXPECT_TRUE(::spinUntil([&] { return mirrorShown(app); }, 5s)) << "the picture flips";
    app.movieRateSlider->set_value(0.8);
    EXPECT_TRUE(app.sectionLoopButton->get_active());
    EXPECT_EQ(app.sectionBand->section(), std::optional(std::pair{2.0, 4.0}));
    ASSERT_TRUE(::spinUntil([&] { return seconds(app.currentMovie()->currentTime()) > 2.3; }, 5s));

    app.applicationWillTerminate();
    controller.reset();
    auto& again = startStrumwell();
    ASSERT_EQ(again.currentMovie()->movieFilePath(), rows[0]) << "the saved row shows its poster";
    EXPECT_EQ(again.sectionList->rowNames(), std::vector<std::string>{"Riff"});
    EXPECT_TRUE(again.sectionLoopButton->get_active());
    EXPECT_TRUE(again.mirrorButton->get_active());
    EXPECT_DOUBLE_EQ(again.movieRateSlider->get_value(), 0.8);
    EXPECT_FALSE(again.isMoviePlaying()) << "restoring the rate does not start the poster";
    play(again, 0);
    double resumed = seconds(again.currentMovie()->currentTime());
    EXPECT_GE(resumed, 1.95);
    EXPECT_LE(resumed, 4.05) << "plays on from where it was left, inside the section";
    EXPECT_TRUE(::spinUntil([&] { return mirrorShown(again); }, 5s));
    click(again.mirrorButton);
    EXPECT_TRUE(::spinUntil([&] { return !mirrorShown(again); }, 5s));
}

TEST_F(PracticeWindowTest, TheSpeedTrainerRaisesTheRateEachPassUpToTheTarget) {
    auto& app = startWithLessons();
    EXPECT_FALSE(app.trainerButton->get_sensitive()) << "a section first";
    play(app, 0);
    goTo(app, 1.0);
    click(app.sectionStartButton);
    goTo(app, 1.4);
    click(app.sectionEndButton);
    app.trainerStartField->set_value(60);
    app.trainerStepField->set_value(20);
    app.trainerTargetField->set_value(100);
    std::vector<double> rates;
    app.movieRateSlider->signal_value_changed().connect(
        [&] { rates.push_back(app.movieRateSlider->get_value()); });
    click(app.trainerButton);
    ASSERT_TRUE(::spinUntil([&] { return app.practice.trainer.passes() >= 3; }, 20s));
    EXPECT_EQ(rates, (std::vector<double>{0.6, 0.8, 1.0}));
    EXPECT_FLOAT_EQ(app.currentMovie()->rate(), 1.0f);
    EXPECT_EQ(app.trainerStatus->get_text().raw(),
              "Pass " + std::to_string(app.practice.trainer.passes() + 1) + " at 100 %");
}

TEST_F(PracticeWindowTest, KeysSeekStepLoopAndChangeTheRate) {
    auto& app = startWithLessons();
    play(app, 0);
    click(app.playButton);
    auto position = [&] { return seconds(app.currentMovie()->currentTime()); };
    goTo(app, 2.05);
    struct Case {
        guint key;
        GdkModifierType state;
        std::function<bool()> holds;
    };
    const Case cases[] = {
        {GDK_KEY_Right, {}, [&] { return frameShown(app) == 70; }},
        {GDK_KEY_Left, {}, [&] { return frameShown(app) == 20; }},
        {GDK_KEY_bracketleft,
         {},
         [&] { return std::abs(app.practice.current()->startNs - 2.05e9) < 5e7; }},
        {GDK_KEY_Right, GDK_SHIFT_MASK, [&] { return frameShown(app) == 21; }},
        {GDK_KEY_Right, GDK_SHIFT_MASK, [&] { return frameShown(app) == 22; }},
        {GDK_KEY_Left, GDK_SHIFT_MASK, [&] { return frameShown(app) == 21; }},
        {GDK_KEY_Right, {}, [&] { return frameShown(app) == 71; }},
        {GDK_KEY_bracketright, {}, [&] { return app.sectionLoopButton->get_active(); }},
        {GDK_KEY_backslash, {}, [&] { return !app.sectionLoopButton->get_active(); }},
        {GDK_KEY_Home, {}, [&] { return std::abs(position() - 2.05) < 0.05; }},
        {GDK_KEY_minus, {}, [&] { return app.movieRateSlider->get_value() == 0.95; }},
        {GDK_KEY_minus, GDK_SHIFT_MASK, [&] { return app.movieRateSlider->get_value() == 0.94; }},
        {GDK_KEY_plus, {}, [&] { return app.movieRateSlider->get_value() == 0.99; }},
        {GDK_KEY_0, {}, [&] { return app.movieRateSlider->get_value() == 1.0; }},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(press(app, c.key, c.state)) << "case " << &c - cases;
        EXPECT_TRUE(::spinUntil(c.holds, 5s))
            << "case " << &c - cases << ": at " << position() << ", frame " << frameShown(app);
    }
    EXPECT_EQ(app.rateDisplay->get_text(), "100 %");

    app.searchField->grab_focus();
    EXPECT_FALSE(press(app, GDK_KEY_0)) << "typing in a text field stays typing";
    app.application->activate_action("shortcuts");
    spin();
    ASSERT_TRUE(app.shortcutsWindow);
    EXPECT_TRUE(app.shortcutsWindow->is_visible());
    EXPECT_EQ(app.application->get_accels_for_action("app.shortcuts"),
              std::vector<Glib::ustring>{Glib::ustring("<Control>question")});
}

TEST_F(PracticeWindowTest, MediaKeysReachThePlayerThroughTheSessionBus) {
    auto& app = startWithLessons();
    ASSERT_TRUE(::spinUntil([&] { return app.mprisService->ownsName(); }, 5s));
    std::string signals = root() + "/signals";
    GPid monitor = spawn(std::string("exec stdbuf -oL gdbus monitor --session --dest ") +
                         MprisService::busName + " > '" + signals + "'");
    ::spinUntil([&] { return readFile(signals).find("Monitoring") != std::string::npos; }, 5s);

    EXPECT_NE(property("Metadata").find("'xesam:artist': <['Mara Quill']>"), std::string::npos);
    mpris("org.mpris.MediaPlayer2.Player.PlayPause");
    EXPECT_TRUE(app.isMoviePlaying());
    EXPECT_NE(property("PlaybackStatus").find("Playing"), std::string::npos);
    mpris("org.mpris.MediaPlayer2.Player.PlayPause");
    EXPECT_FALSE(app.isMoviePlaying());

    mpris("org.freedesktop.DBus.Properties.Set org.mpris.MediaPlayer2.Player Rate '<0.5>'");
    EXPECT_DOUBLE_EQ(app.movieRateSlider->get_value(), 0.5);
    app.movieRateSlider->set_value(1.25);
    EXPECT_NE(property("Rate").find("1.25"), std::string::npos);

    mpris("org.mpris.MediaPlayer2.Player.Next");
    EXPECT_EQ(app.currentMovie()->movieFilePath(), rows[1]);
    EXPECT_TRUE(app.isMoviePlaying());
    if (g_find_program_in_path("playerctl")) {
        run("playerctl -p fretlark play-pause");
        EXPECT_FALSE(app.isMoviePlaying());
    }

    EXPECT_TRUE(::spinUntil(
        [&] { return readFile(signals).find("PropertiesChanged") != std::string::npos; }, 5s));
    EXPECT_NE(readFile(signals).find("'Rate': <1.25>"), std::string::npos);
    kill(monitor, SIGTERM);
    waitpid(monitor, nullptr, 0);
}

} // namespace

// The program runs on a session bus of its own, so no other program's player holds the name.
int main(int argc, char** argv) {
    if (!g_getenv("FRETLARK_PRIVATE_BUS")) {
        g_setenv("FRETLARK_PRIVATE_BUS", "1", TRUE);
        std::vector<char*> arguments{const_cast<char*>("dbus-run-session"),
                                     const_cast<char*>("--")};
        arguments.insert(arguments.end(), argv, argv + argc);
        arguments.push_back(nullptr);
        execvp("dbus-run-session", arguments.data());
        return 127;
    }
    ::testing::InitGoogleTest(&argc, argv);
    gtk_init();
    return RUN_ALL_TESTS();
}
