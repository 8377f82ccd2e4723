#include "AppControllerFixture.h"

#include "app/ProductChooser.h"
#include "platform/Defaults.h"
#include "platform/Resources.h"

#include "drawing/FrameView.h"
#include "drawing/StatusView.h"
#include "platform/movie/QTMovieView.h"
#include <cstdlib>
#include <filesystem>
#include <giomm/simpleaction.h>
#include <glibmm/main.h>

#include <gtkmm/applicationwindow.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/label.h>
#include <gtkmm/progressbar.h>
#include <gtkmm/searchentry.h>
#include <gtkmm/togglebutton.h>

namespace fs = std::filesystem;

namespace {

const char* const refusedTitle = "Can't run Fretlark applicaion";

// A click as the user makes it: the button toggles and then reports the click.
void click(Gtk::Button* button) {
    g_signal_emit_by_name(button->gobj(), "clicked");
}

void chooseJamcroft(AppController& app) {
    app.pChooser->jamcroftButton->activate();
}
void chooseStrumwell(AppController& app) {
    app.pChooser->strumwellButton->activate();
}
void chooseDownloadStore(AppController& app) {
    app.pChooser->downloadStoreButton->activate();
}

// ---- Version gates ----

using VersionGateTest = AppControllerFixture;

TEST_F(VersionGateTest, AnOldSystemIsRefusedWithTheExactAlertBeforeAnythingElse) {
    installStrumwell();
    setenv("FRETLARK_SYSTEM_VERSION", "0x1039", 1);
    auto& app = start();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, refusedTitle);
    EXPECT_EQ(alerts[0].message,
              "You must upgrade your Mac OS X system software to version 10.4 or "
              "later to run Fretlark.");
    EXPECT_EQ(alerts[0].buttons, std::vector<std::string>{"Quit"});
    EXPECT_TRUE(app.isTerminating());
    EXPECT_FALSE(chooserWasShown);
    EXPECT_FALSE(app.window()->is_visible());
}

TEST_F(VersionGateTest, TenFourPassesAndAFailedQueryPassesWithoutTheSearch) {
    setenv("FRETLARK_SYSTEM_VERSION", "0x1040", 1);
    auto& passed = start();
    EXPECT_TRUE(alerts.empty());
    EXPECT_TRUE(passed.isTigerOrLater);
    EXPECT_TRUE(passed.searchField->get_sensitive());
    controller.reset();

    setenv("FRETLARK_SYSTEM_VERSION", "fail", 1);
    auto& failed = start();
    EXPECT_TRUE(alerts.empty());
    EXPECT_FALSE(failed.isTerminating());
    EXPECT_FALSE(failed.isTigerOrLater);
    EXPECT_FALSE(failed.searchField->get_sensitive());
    EXPECT_TRUE(failed.window()->is_visible());
}

TEST_F(VersionGateTest, TheMovieFrameworkGateLooksAtTheUpperHalf) {
    setenv("FRETLARK_QUICKTIME_VERSION", "0x06FFFFFF", 1);
    auto& refused = start();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, refusedTitle);
    EXPECT_EQ(alerts[0].message, "You must upgrade your QuickTime system software to version 7.0.0 "
                                 "or later to run Fretlark.");
    EXPECT_TRUE(refused.isTerminating());
    controller.reset();
    alerts.clear();

    setenv("FRETLARK_QUICKTIME_VERSION", "0x07000000", 1);
    EXPECT_FALSE(start().isTerminating());
    EXPECT_TRUE(alerts.empty());
    controller.reset();

    setenv("FRETLARK_QUICKTIME_VERSION", "fail", 1);
    EXPECT_FALSE(start().isTerminating());
}

// ---- Products and the chooser ----

using ProductTest = AppControllerFixture;

TEST_F(ProductTest, WithoutLessonProductsTheStoreOpensWithoutAChooser) {
    auto& app = start();
    EXPECT_FALSE(chooserWasShown);
    EXPECT_EQ(app.detectProducts(), 4u);
    EXPECT_EQ(app.prodState, AppController::downloadStoreProduct);
    EXPECT_EQ(app.getRootDirectory(), home() + "/Music/Fretlark/Purchases");
    EXPECT_TRUE(fs::is_directory(home() + "/Music/Fretlark/Purchases"));
    EXPECT_TRUE(app.shopButton->is_visible());
    EXPECT_TRUE(app.shopButton->get_sensitive());
    EXPECT_FALSE(app.createButton->get_sensitive());
    // The first start in the store shows the Welcome picture.
    ASSERT_NE(app.movieView->movie(), nullptr);
    EXPECT_EQ(app.movieView->movie()->movieFilePath(), Resources::pathForImageResource("Welcome"));
    EXPECT_EQ(std::string(app.window()->get_title()), "Download Store (Welcome)");
}

TEST_F(ProductTest, AFileWhereAProductFolderShouldBeStillCountsAsInstalled) {
    writeFile(sysroot() + "/Library/Application Support/Fretlark/Videos", "not a folder");
    controller = std::make_unique<AppController>(application());
    EXPECT_EQ(controller->detectProducts(), 5u);
}

struct ChooserCase {
    bool strumwell;
    bool jamcroft;
    unsigned mask;
};

class ChooserTest : public AppControllerFixture,
                    public ::testing::WithParamInterface<ChooserCase> {};

TEST_P(ChooserTest, TheChooserShowsTheInstalledProductsAndTheStore) {
    const auto& installed = GetParam();
    if (installed.strumwell)
        installStrumwell();
    if (installed.jamcroft)
        installJamcroft();
    bool strumwellShown = false, jamcroftShown = false, storeShown = false;
    auto& app = start([&](AppController& chooserOwner) {
        auto& chooser = *chooserOwner.pChooser;
        strumwellShown = chooser.strumwellButton->is_visible();
        jamcroftShown = chooser.jamcroftButton->is_visible();
        storeShown = chooser.downloadStoreButton->is_visible();
        chooseDownloadStore(chooserOwner);
    });
    EXPECT_EQ(app.detectProducts(), installed.mask);
    EXPECT_TRUE(chooserWasShown);
    EXPECT_EQ(strumwellShown, installed.strumwell);
    EXPECT_EQ(jamcroftShown, installed.jamcroft);
    EXPECT_TRUE(storeShown);
    EXPECT_EQ(app.prodState, AppController::downloadStoreProduct);
}

INSTANTIATE_TEST_SUITE_P(Installed, ChooserTest,
                         ::testing::Values(ChooserCase{true, false, 5}, ChooserCase{false, true, 6},
                                           ChooserCase{true, true, 7}));

TEST_F(ProductTest, EachChoiceGivesItsRootFolderAndTitle) {
    installStrumwell();
    installJamcroft();
    auto& jamcroft = start(chooseJamcroft);
    EXPECT_EQ(jamcroft.prodState, AppController::jamcroftProduct);
    EXPECT_EQ(jamcroft.getRootDirectory(),
              sysroot() + "/Library/Application Support/Fretlark/Jamcroft/Videos");
    EXPECT_EQ(std::string(jamcroft.window()->get_title()), "Jamcroft");
    EXPECT_FALSE(jamcroft.shopButton->is_visible());
    EXPECT_FALSE(fs::exists(home() + "/Music/Fretlark")) << "only the store makes its folder";
    controller.reset();

    auto& strumwell = start(chooseStrumwell);
    EXPECT_EQ(strumwell.prodState, AppController::strumwellProduct);
    EXPECT_EQ(strumwell.getRootDirectory(),
              sysroot() + "/Library/Application Support/Fretlark/Videos");
    EXPECT_EQ(std::string(strumwell.window()->get_title()), "Strumwell");
}

TEST_F(ProductTest, TheRootIsComputedOnceAndNeverChanges) {
    installStrumwell();
    auto& app = start(chooseStrumwell);
    std::string first = app.getRootDirectory();
    app.prodState = AppController::downloadStoreProduct;
    EXPECT_EQ(app.getRootDirectory(), first);
}

TEST_F(ProductTest, ClosingTheChooserQuitsBeforeTheMainWindowIsSetUp) {
    installJamcroft();
    auto& app = start([](AppController& owner) { owner.pChooser->window()->close(); });
    EXPECT_TRUE(app.isTerminating());
    EXPECT_FALSE(app.window()->is_visible());
}

TEST_F(ProductTest, QuitInTheChooserQuits) {
    installJamcroft();
    auto& app = start([](AppController& owner) { owner.pChooser->quit(nullptr); });
    EXPECT_TRUE(app.isTerminating());
    EXPECT_FALSE(app.window()->is_visible());
}

TEST_F(ProductTest, TheChooserFlagsAreSetOnlyWhenItIsCreated) {
    installStrumwell();
    auto& app = start(chooseStrumwell);
    Glib::signal_timeout().connect_once([&app] { chooseDownloadStore(app); }, 50);
    app.showProductChooser(AppController::jamcroftBit | AppController::downloadStoreBit);
    EXPECT_TRUE(app.pChooser->showStrumwell) << "kept from the first mask";
    EXPECT_FALSE(app.pChooser->jamcroftButton->is_visible());
    EXPECT_EQ(app.prodState, AppController::downloadStoreProduct);
}

// ---- The window after start-up ----

using StartUpTest = AppControllerFixture;

TEST_F(StartUpTest, ControlsAreInTheirStartingState) {
    installStrumwell();
    auto& app = start(chooseStrumwell);
    EXPECT_TRUE(app.window()->is_visible());
    EXPECT_FALSE(app.webView->widget().is_visible());
    EXPECT_TRUE(app.movieView->is_visible());
    for (Gtk::Widget* hidden : std::initializer_list<Gtk::Widget*>{
             app.backButton, app.forwardButton, app.homeButton, app.printButton, app.progressBar,
             app.storeStatus, app.searchStore, app.signInButton,
             static_cast<Gtk::Widget*>(app.statusView), app.stopButton, app.iconButton,
             app.downloadBar, static_cast<Gtk::Widget*>(app.downloadFrame), app.downloadStatus})
        EXPECT_FALSE(hidden->is_visible()) << hidden->get_name();
    EXPECT_FALSE(app.backButton->get_sensitive());
    EXPECT_FALSE(app.forwardButton->get_sensitive());
    EXPECT_TRUE(app.homeButton->get_sensitive());
    EXPECT_FALSE(app.createButton->get_sensitive());
    EXPECT_FALSE(app.iPodButton->get_sensitive());
    EXPECT_TRUE(app.searchField->is_visible());
    EXPECT_EQ(app.downloadStatus->get_text(), "");
    EXPECT_EQ(app.appMode, AppController::browseMode);
    EXPECT_FALSE(app.isLooping || app.isMoviePaused || app.isMovieFForward || app.isMovieReverse);
}

TEST_F(StartUpTest, TheFrameStaysOneUnitOutsideTheMovieView) {
    auto& app = start();
    ASSERT_TRUE(spinUntil([&] { return app.movieView->get_width() > 0; }));
    spin();
    Gdk::Rectangle content = app.contentFrame();
    EXPECT_GT(content.get_width(), 100);
    app.window()->set_default_size(900, 600);
    ASSERT_TRUE(spinUntil([&] { return app.contentFrame().get_width() != content.get_width(); }));
    spin();
    Gdk::Rectangle resized = app.contentFrame();
    ASSERT_TRUE(app.frameView->frameRect().has_value());
    EXPECT_TRUE(*app.frameView->frameRect() ==
                (Gdk::Rectangle(resized.get_x() - 1, resized.get_y() - 1, resized.get_width() + 2,
                                resized.get_height() + 2)));
}

TEST_F(StartUpTest, DefaultsAreRegisteredWithTheirTypes) {
    start();
    auto& defaults = Defaults::standard();
    EXPECT_TRUE(defaults.boolForKey("showCreateGBDialog"));
    EXPECT_TRUE(defaults.boolForKey("showWarningGBDialog"));
    EXPECT_TRUE(defaults.boolForKey("showWelcomeSplash"));
    EXPECT_FALSE(defaults.boolForKey("FrlsaveApplicationMode"));
    EXPECT_EQ(defaults.stringForKey("saveUserPath"), "/Get Started/Quickstart Video");
    EXPECT_EQ(defaults.stringForKey("saveUserPathJamcroft"), "/Get Started/Quickstart Video");
    EXPECT_EQ(defaults.stringForKey("saveUserPathDownloadStore"), "/");
    EXPECT_EQ(defaults.stringForKey("saveUserNameDownloadStore"), "");
    for (const char* key :
         {"saveUserSelection", "saveUserSelectionJamcroft", "saveUserSelectionDownloadStore"})
        EXPECT_EQ(defaults.integerForKey(key), 0) << key;
}

TEST_F(StartUpTest, AMissingMainWindowLayoutIsAnErrorNotACrash) {
    std::string empty = root() + "/no-resources";
    fs::create_directories(empty);
    setenv("FRETLARK_RESOURCES", empty.c_str(), 1);
    EXPECT_THROW(AppController{application()}, std::runtime_error);
    setenv("FRETLARK_RESOURCES", FRETLARK_SOURCE_RESOURCE_DIR, 1);
}

TEST_F(StartUpTest, AMissingChooserLayoutOpensTheFirstInstalledLibrary) {
    std::string resources = root() + "/resources";
    fs::copy(FRETLARK_SOURCE_RESOURCE_DIR, resources, fs::copy_options::recursive);
    fs::remove(resources + "/ProductChooser.ui");
    setenv("FRETLARK_RESOURCES", resources.c_str(), 1);
    installJamcroft();
    auto& app = start();
    setenv("FRETLARK_RESOURCES", FRETLARK_SOURCE_RESOURCE_DIR, 1);
    EXPECT_FALSE(app.isTerminating());
    EXPECT_EQ(app.prodState, AppController::jamcroftProduct);
}

// ---- Application modes ----

using ModeTest = AppControllerFixture;

TEST_F(ModeTest, ARunThatEndedInTheStoreStartsInTheStore) {
    Defaults::standard().setBool("FrlsaveApplicationMode", true);
    auto& app = start();
    app.restoreApplicationMode();
    EXPECT_EQ(app.appMode, AppController::shopMode);
    EXPECT_TRUE(app.webView->widget().is_visible());
    EXPECT_FALSE(app.movieView->is_visible());
    EXPECT_TRUE(app.statusView->is_visible());
    EXPECT_TRUE(app.signInButton->is_visible());
    EXPECT_TRUE(dynamic_cast<Gtk::ToggleButton*>(app.shopButton)->get_active());
}

TEST_F(ModeTest, ARunThatEndedBrowsingStaysBrowsing) {
    auto& app = start();
    app.restoreApplicationMode();
    EXPECT_EQ(app.appMode, AppController::browseMode);
    EXPECT_TRUE(app.movieView->is_visible());
    EXPECT_FALSE(app.statusView->is_visible());
}

TEST_F(ModeTest, TheShopButtonSwitchesModesAndEveryStepIsSaved) {
    auto& app = start();
    click(app.shopButton);
    EXPECT_EQ(app.appMode, AppController::shopMode);
    EXPECT_TRUE(dynamic_cast<Gtk::ToggleButton*>(app.shopButton)->get_active());
    Defaults::resetStandard();
    EXPECT_TRUE(Defaults::standard().boolForKey("FrlsaveApplicationMode"));
    EXPECT_FALSE(Defaults::standard().boolForKey("showWelcomeSplash"));

    click(app.shopButton);
    EXPECT_EQ(app.appMode, AppController::browseMode);
    EXPECT_FALSE(dynamic_cast<Gtk::ToggleButton*>(app.shopButton)->get_active());
    EXPECT_TRUE(app.movieView->is_visible());
    EXPECT_FALSE(app.webView->widget().is_visible());
    Defaults::resetStandard();
    EXPECT_FALSE(Defaults::standard().boolForKey("FrlsaveApplicationMode"));
    EXPECT_FALSE(Defaults::standard().boolForKey("showWelcomeSplash")) << "stays off for good";
}

// ---- Menus and termination ----

using MenuTest = AppControllerFixture;

TEST_F(MenuTest, SelectionCommandsNeedASelectionAndTheRestAreAlwaysOn) {
    auto& app = start();
    EXPECT_FALSE(app.validateMenuItem("export"));
    EXPECT_FALSE(app.validateMenuItem("delete"));
    for (const char* always : {"toggle-download", "check-for-updates", "support", "quit"})
        EXPECT_TRUE(app.validateMenuItem(always)) << always;
    app.validateMenus();
    auto exportAction =
        std::dynamic_pointer_cast<Gio::SimpleAction>(app.application->lookup_action("export"));
    ASSERT_TRUE(exportAction);
    EXPECT_FALSE(exportAction->get_enabled());
}

TEST_F(MenuTest, ValidationRetitlesThePauseCommandInPlace) {
    auto& app = start();
    for (int shown = 0; shown < 3; ++shown)
        app.validateMenus();
    ASSERT_EQ(app.fileMenu->get_n_items(), 3);
    auto label = app.fileMenu->get_item_attribute(2, Gio::MenuModel::Attribute::LABEL,
                                                  Glib::VariantType("s"));
    auto action = app.fileMenu->get_item_attribute(2, Gio::MenuModel::Attribute::ACTION,
                                                   Glib::VariantType("s"));
    EXPECT_EQ(Glib::VariantBase::cast_dynamic<Glib::Variant<Glib::ustring>>(label).get().raw(),
              app.toggleDownloadTitle());
    EXPECT_EQ(Glib::VariantBase::cast_dynamic<Glib::Variant<Glib::ustring>>(action).get(),
              "app.toggle-download");
}

TEST_F(MenuTest, QuitTerminatesOnceAndKeepsTheSettings) {
    auto& app = start();
    Defaults::standard().setString("saveUserPathDownloadStore", "/Bass");
    app.application->activate_action("quit");
    spin();
    EXPECT_TRUE(app.isTerminating());
    app.terminate(nullptr);
    Defaults::resetStandard();
    EXPECT_EQ(Defaults::standard().stringForKey("saveUserPathDownloadStore"), "/Bass");
}

TEST_F(MenuTest, ClosingTheMainWindowQuitsWithoutAQuestion) {
    auto& app = start();
    app.window()->close();
    spin();
    EXPECT_TRUE(app.isTerminating());
    EXPECT_TRUE(alerts.empty());
}

} // namespace
