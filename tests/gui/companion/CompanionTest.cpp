#include "AppControllerFixture.h"
#include "MovieMedia.h"

#include "app/ProductChooser.h"
#include "export/ExportDialog.h"
#include "platform/Defaults.h"
#include "player/FrlQTMovie.h"

#include <filesystem>
#include <gtk/gtk.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/entry.h>
#include <gtkmm/scale.h>
#include <plist/plist.h>

namespace fs = std::filesystem;

namespace {

// What the stand-ins of this folder's resources (the script and "GarageBand") were asked, one
// call a line, arguments separated by "|".
std::string recorded() {
    return MovieMedia::readFile(std::getenv("FRETLARK_SCRIPT_LOG"));
}

class CompanionTest : public AppControllerFixture {
protected:
    void SetUp() override {
        AppControllerFixture::SetUp();
        fs::remove(std::getenv("FRETLARK_SCRIPT_LOG"));
    }
    std::string library() const { return sysroot() + "/Library/Application Support/Fretlark"; }

    static std::string addLesson(const std::string& path, const std::string& album = {}) {
        MovieMedia::copy(MovieMedia::lesson({.seconds = 2}), fs::path(path).parent_path(),
                         fs::path(path).filename());
        FrlQTMovie movie;
        bool annotated =
            album.empty() || (movie.initWithFile(path, nullptr) &&
                              movie.setAlbumAnnotation(album) && movie.updateMovieFile());
        EXPECT_TRUE(annotated) << path;
        return path;
    }

    void installGarageBand(const std::string& version, bool binary = false) {
        plist_t info = plist_new_dict();
        plist_dict_set_item(info, "CFBundleShortVersionString", plist_new_string(version.c_str()));
        char* data = nullptr;
        std::uint32_t length = 0;
        binary ? plist_to_bin(info, &data, &length) : plist_to_xml(info, &data, &length);
        writeFile(sysroot() + "/Applications/GarageBand.app/Contents/Info.plist",
                  std::string(data, length));
        free(data);
        plist_free(info);
    }

    // Starts on the Strumwell library with the file list showing the folder, its first row
    // selected.
    AppController& startIn(const std::string& folder) {
        installStrumwell();
        Defaults::standard().setString("saveUserPath", folder);
        Defaults::standard().synchronize();
        return start([](AppController& app) { app.pChooser->strumwellButton->activate(); });
    }
};

TEST_F(CompanionTest, CompanionPathsReplaceEveryVideosAndTheExtension) {
    struct Case {
        std::string folder, name, project, portable;
        bool projectIsPackage;
    };
    const Case cases[] = {
        {"/Lesson 3", "Chords.mov", "/GarageBand/Lesson 3/Chords.band", "/iPod/Lesson 3/Chords.m4v",
         true},
        {"/More videos", "Scales.mp4", "/GarageBand/More GarageBand/Scales.band",
         "/iPod/More iPod/Scales.m4v", false},
        {"/Bare", "Alone.mov", "", "", false},
    };
    installGarageBand("4.1");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        addLesson(library() + "/Videos" + c.folder + "/" + c.name);
        if (!c.project.empty()) {
            c.projectIsPackage ? void(fs::create_directories(library() + c.project + "/Media"))
                               : writeFile(library() + c.project, "project");
            writeFile(library() + c.portable, "portable");
        }
        AppController& app = startIn(c.folder);
        EXPECT_EQ(app.getGarageBandPathForCurrentSelection(),
                  c.project.empty() ? "" : library() + c.project);
        EXPECT_EQ(app.getiPodPathForCurrentSelection(),
                  c.portable.empty() ? "" : library() + c.portable);
        EXPECT_EQ(app.createButton->get_sensitive(), !c.project.empty());
        EXPECT_EQ(app.iPodButton->get_sensitive(), !c.portable.empty());
        controller.reset();
    }
}

TEST_F(CompanionTest, InTheDownloadStoreTheSelectionIsItsOwnPortableVersion) {
    std::string folder = home() + "/Music/Fretlark/Purchases/Bass";
    std::string lesson = addLesson(folder + "/Slap.mov");
    fs::create_directories(folder + "/Slap.band");
    Defaults::standard().setBool("showWelcomeSplash", false);
    Defaults::standard().setString("saveUserPathDownloadStore", "/Bass");
    Defaults::standard().setInteger("saveUserSelectionDownloadStore", 1);
    AppController& app = start();
    ASSERT_TRUE(spinUntil([&] { return !app.getCurrentSelectionPath().empty(); }));
    EXPECT_EQ(app.getGarageBandPathForCurrentSelection(), folder + "/Slap.band");
    EXPECT_FALSE(app.createButton->get_sensitive()) << "no version check in the store";
    fs::remove(lesson);
    EXPECT_EQ(app.getiPodPathForCurrentSelection(), lesson);
}

TEST_F(CompanionTest, GarageBandOlderThanThreeWarnsUntilTheBoxIsTicked) {
    auto warning = [](const std::string& version) {
        return "It has been detected that you have GarageBand version " + version +
               " installed.  You need to upgrade to GarageBand 3.0.0 or later in order to use the "
               "supplied GarageBand projects.  Until you do, the Create button will be disabled in "
               "the application.";
    };
    struct Case {
        std::optional<std::string> version;
        bool binary, enabled, warns;
    };
    const Case cases[] = {{"3.0.0", false, true, false},
                          {"4.1", true, true, false},
                          {"2.1.1", true, false, true},
                          {"GB3.1", false, false, true},
                          {std::nullopt, false, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version.value_or("no GarageBand"));
        fs::remove_all(sysroot() + "/Applications");
        if (c.version)
            installGarageBand(*c.version, c.binary);
        alerts.clear();
        AppController& app = startIn("/");
        EXPECT_EQ(app.hasGarageBand3, c.enabled);
        ASSERT_EQ(alerts.size(), c.warns ? 1u : 0u);
        if (c.warns) {
            EXPECT_EQ(alerts[0].title, "Create in GarageBand");
            EXPECT_EQ(alerts[0].message, warning(*c.version));
            EXPECT_EQ(alerts[0].checkboxLabel, "Don't show this message again.");
        }
        controller.reset();
    }
    Alert::setResponder([this](const AlertRequest& request) -> std::optional<AlertAnswer> {
        alerts.push_back(request);
        return AlertAnswer{0, true};
    });
    installGarageBand("2.1.1");
    for (std::size_t expectedAlerts : {1u, 0u}) {
        startIn("/");
        controller.reset();
        EXPECT_EQ(alerts.size(), expectedAlerts) << "the ticked box ends the warning for good";
        alerts.clear();
    }
    Defaults::resetStandard();
    EXPECT_FALSE(Defaults::standard().boolForKey("showWarningGBDialog"));
}

TEST_F(CompanionTest, CreateOpensTheProjectInGarageBandOnlyAfterTheSaveWarning) {
    installGarageBand("10.4");
    addLesson(library() + "/Videos/Lesson 3/Chords.mov");
    std::string project = library() + "/GarageBand/Lesson 3/Chords.band";
    fs::create_directories(project);
    bool openedBeforeAnswer = true;
    // Escape first (no button, box ticked), then Continue.
    Alert::setResponder([&](const AlertRequest& request) -> std::optional<AlertAnswer> {
        alerts.push_back(request);
        openedBeforeAnswer = !recorded().empty();
        return AlertAnswer{alerts.size() == 1 ? -1 : 0, true};
    });
    AppController& app = startIn("/Lesson 3");
    ASSERT_TRUE(app.createButton->get_sensitive());
    for (std::size_t opened : {0u, 1u, 2u}) {
        app.createButton->activate();
        ASSERT_TRUE(spinUntil([&] {
            return alerts.size() == std::min(opened + 1, std::size_t{2}) &&
                   std::size_t(std::ranges::count(recorded(), '\n')) == opened;
        }));
    }
    ASSERT_EQ(alerts.size(), 2u) << "Escape keeps the warning; the ticked box turns it off";
    EXPECT_FALSE(openedBeforeAnswer);
    EXPECT_EQ(alerts[0].message.substr(0, 59),
              "You are about to launch a GarageBand project file.  In orde");
    EXPECT_EQ(recorded(), "open|" + project + "|\nopen|" + project + "|\n");
    EXPECT_FALSE(Defaults::standard().boolForKey("showCreateGBDialog"));
}

TEST_F(CompanionTest, IPodAndAlbumPageHandTheirTextToTheScript) {
    std::string folder = library() + "/Videos/Lesson 3";
    addLesson(folder + "/Chords.mov", "https://store.example/albums/chords");
    writeFile(library() + "/iPod/Lesson 3/Chords.m4v", "portable");
    AppController& app = startIn("/Lesson 3");
    ASSERT_TRUE(app.albumButton->get_sensitive());
    // One call at a time, so the record keeps their order.
    auto calls = [] { return std::ranges::count(recorded(), '\n'); };
    app.iPodButton->activate();
    ASSERT_TRUE(spinUntil([&] { return calls() == 1; }));
    app.albumButton->activate();
    ASSERT_TRUE(spinUntil([&] { return calls() == 2; }));
    app.callAddToiTunes("Process_ITEMS", "any text");
    ASSERT_TRUE(spinUntil([&] { return calls() == 3; }));
    EXPECT_EQ(recorded(), "process_items|" + library() + "/iPod/Lesson 3/Chords.m4v|\n" +
                              "open_url|https://store.example/albums/chords|\n" +
                              "process_items|any text|\n");
}

TEST_F(CompanionTest, ExportDialogStartsFromTheLessonAndReportsErrorsInItself) {
    std::string folder = library() + "/Videos/Lesson 3";
    addLesson(folder + "/Chords.mov");
    AppController& app = startIn("/Lesson 3");
    app.exportFile(nullptr);
    ExportDialog& dialog = *app.exportDialog;
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.settings().destinationPath, folder + "/Chords.mp4");
    dialog.selectFormat(ExportFormatId::mp3);
    dialog.speedScale->set_value(75);
    EXPECT_EQ(dialog.nameEntry->get_text(), "Chords at 75%.mp3");
    // A button's click lands a moment after its activation.
    dialog.setFolder("/sys");
    dialog.exportButton->activate();
    ASSERT_TRUE(spinUntil([&] { return !dialog.statusText().empty(); }));
    EXPECT_NE(dialog.statusText().find("permission to save in the folder"), std::string::npos);
    dialog.setFolder(folder);
    dialog.exportButton->activate();
    ASSERT_TRUE(spinUntil([&] { return dialog.isExporting(); }));
    ASSERT_TRUE(spinUntil([&] { return !dialog.isExporting(); }));
    EXPECT_EQ(dialog.statusText(), "Saved “Chords at 75%.mp3” in “Lesson 3”.");
    EXPECT_TRUE(MovieMedia::decodesCleanly(folder + "/Chords at 75%.mp3"));
    EXPECT_EQ(app.fileListRowCount(), 2) << "the new file is listed";
    EXPECT_EQ(app.getCurrentSelectionPath(), folder + "/Chords.mov");
    dialog.cancelButton->activate();
    EXPECT_TRUE(spinUntil([&] { return !dialog.isVisible(); }));
}

} // namespace

// The stand-ins take the place of the script and of GarageBand before GLib reads its folders.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string scratch = MovieMedia::folder();
    std::string resources = scratch + "/resources", applications = scratch + "/data/applications";
    fs::create_directories(resources);
    fs::create_directories(applications);
    for (const auto& entry : fs::directory_iterator(FRETLARK_SOURCE_RESOURCE_DIR))
        fs::create_symlink(entry.path(), resources + "/" + entry.path().filename().string());
    fs::remove(resources + "/Add_to_iTunes");
    fs::create_symlink(COMPANION_STAND_INS "/Add_to_iTunes", resources + "/Add_to_iTunes");
    MovieMedia::writeFile(applications + "/GarageBand.desktop",
                          "[Desktop Entry]\nType=Application\nName=GarageBand\nExec=\"" +
                              std::string(COMPANION_STAND_INS) + "/Add_to_iTunes\" open %f\n");
    setenv("FRETLARK_RESOURCES", resources.c_str(), 1);
    setenv("FRETLARK_SCRIPT_LOG", (scratch + "/calls.log").c_str(), 1);
    setenv("XDG_DATA_DIRS", (scratch + "/data:/usr/local/share:/usr/share").c_str(), 1);
    gtk_init();
    return RUN_ALL_TESTS();
}
