#include "AppControllerFixture.h"

#include "app/ProductChooser.h"
#include "drawing/FrameView.h"
#include "drawing/StatusView.h"
#include "platform/Defaults.h"
#include "platform/Resources.h"
#include "platform/movie/QTMovieView.h"

#include <filesystem>
#include <giomm/simpleaction.h>
#include <gtkmm/searchentry.h>
#include <gtkmm/togglebutton.h>

namespace fs = std::filesystem;

namespace {

using VersionGateTest = AppControllerFixture;

TEST_F(VersionGateTest, AnOldSystemOrMovieFrameworkIsRefusedBeforeAnythingElse) {
    const struct {
        const char* variable;
        const char* value;
        const char* refusal; // empty when the start goes on
        bool search;
    } cases[] = {
        {"FRETLARK_SYSTEM_VERSION", "0x1039",
         "You must upgrade your Mac OS X system software to version 10.4 or later to run "
         "Fretlark.",
         false},
        {"FRETLARK_SYSTEM_VERSION", "0x1040", "", true},
        {"FRETLARK_SYSTEM_VERSION", "fail", "", false},
        {"FRETLARK_QUICKTIME_VERSION", "0x06FFFFFF",
         "You must upgrade your QuickTime system software to version 7.0.0 or later to run "
         "Fretlark.",
         false},
        {"FRETLARK_QUICKTIME_VERSION", "0x07000000", "", true},
        {"FRETLARK_QUICKTIME_VERSION", "fail", "", true},
    };
    installStrumwell();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.variable) + "=" + c.value);
        unsetenv("FRETLARK_SYSTEM_VERSION");
        unsetenv("FRETLARK_QUICKTIME_VERSION");
        setenv(c.variable, c.value, 1);
        alerts.clear();
        chooserWasShown = false;
        auto& app = start([](AppController& a) { a.pChooser->strumwellButton->activate(); });
        bool refused = *c.refusal != '\0';
        EXPECT_EQ(app.isTerminating(), refused);
        EXPECT_EQ(chooserWasShown, !refused);
        EXPECT_EQ(app.window()->is_visible(), !refused);
        ASSERT_EQ(alerts.size(), refused ? 1u : 0u);
        if (refused) {
            EXPECT_EQ(alerts[0].title, "Can't run Fretlark applicaion");
            EXPECT_EQ(alerts[0].message, c.refusal);
            EXPECT_EQ(alerts[0].buttons, std::vector<std::string>{"Quit"});
        } else {
            EXPECT_EQ(app.searchField->get_sensitive(), c.search) << "search needs 10.4";
        }
        controller.reset();
    }
}

using ProductTest = AppControllerFixture;

TEST_F(ProductTest, WithoutLessonProductsTheStoreOpensWithItsWelcomePicture) {
    auto& app = start();
    EXPECT_FALSE(chooserWasShown);
    EXPECT_EQ(app.detectProducts(), 4u);
    EXPECT_EQ(app.prodState, AppController::downloadStoreProduct);
    EXPECT_EQ(app.getRootDirectory(), home() + "/Music/Fretlark/Purchases");
    EXPECT_TRUE(fs::is_directory(home() + "/Music/Fretlark/Purchases"));
    EXPECT_TRUE(app.shopButton->is_visible());
    ASSERT_NE(app.movieView->movie(), nullptr);
    EXPECT_EQ(app.movieView->movie()->movieFilePath(), Resources::pathForImageResource("Welcome"));
    EXPECT_EQ(title(app), "Download Store (Welcome)");
    controller.reset();

    writeFile(sysroot() + "/Library/Application Support/Fretlark/Videos", "not a folder");
    EXPECT_EQ(AppController(application()).detectProducts(), 5u) << "a file counts as installed";
}

TEST_F(ProductTest, TheChooserShowsTheInstalledProductsAndEachChoiceGivesItsRoot) {
    const struct {
        bool strumwell, jamcroft;
        Gtk::Button* ProductChooser::*choice;
        int product;
        std::string root, title;
    } cases[] = {
        {false, true, &ProductChooser::jamcroftButton, AppController::jamcroftProduct,
         "/Library/Application Support/Fretlark/Jamcroft/Videos", "Jamcroft"},
        {true, true, &ProductChooser::strumwellButton, AppController::strumwellProduct,
         "/Library/Application Support/Fretlark/Videos", "Strumwell"},
        {true, false, &ProductChooser::downloadStoreButton, AppController::downloadStoreProduct,
         "/Music/Fretlark/Purchases", "Download Store"},
    };
    for (const auto& c : cases) {
        fs::remove_all(sysroot() + "/Library");
        if (c.strumwell)
            installStrumwell();
        if (c.jamcroft)
            installJamcroft();
        bool strumwellShown = false, jamcroftShown = false, storeShown = false;
        auto& app = start([&](AppController& owner) {
            strumwellShown = owner.pChooser->strumwellButton->is_visible();
            jamcroftShown = owner.pChooser->jamcroftButton->is_visible();
            storeShown = owner.pChooser->downloadStoreButton->is_visible();
            ((*owner.pChooser).*c.choice)->activate();
        });
        SCOPED_TRACE(c.title);
        EXPECT_TRUE(chooserWasShown);
        EXPECT_EQ(strumwellShown, c.strumwell);
        EXPECT_EQ(jamcroftShown, c.jamcroft);
        EXPECT_TRUE(storeShown);
        EXPECT_EQ(app.prodState, c.product);
        std::string root = c.product == AppController::downloadStoreProduct ? home() : sysroot();
        EXPECT_EQ(app.getRootDirectory(), root + c.root);
        app.prodState = AppController::downloadStoreProduct;
        EXPECT_EQ(app.getRootDirectory(), root + c.root) << "computed once";
        EXPECT_EQ(title(app).substr(0, c.title.size()), c.title);
        EXPECT_EQ(app.shopButton->is_visible(), c.product == AppController::downloadStoreProduct);
        EXPECT_EQ(fs::exists(home() + "/Music/Fretlark"), !c.jamcroft) << "only the store's";
        controller.reset();
    }
}

TEST_F(ProductTest, ClosingOrQuittingTheChooserQuitsBeforeTheMainWindowIsSetUp) {
    installJamcroft();
    for (auto leave : {+[](AppController& owner) { owner.pChooser->window()->close(); },
                       +[](AppController& owner) { owner.pChooser->quit(nullptr); }}) {
        auto& app = start(leave);
        EXPECT_TRUE(app.isTerminating());
        EXPECT_FALSE(app.window()->is_visible());
        controller.reset();
    }
}

using StartUpTest = AppControllerFixture;

TEST_F(StartUpTest, TheFrameStaysOneUnitOutsideTheMovieView) {
    auto& app = start();
    ASSERT_TRUE(spinUntil([&] { return app.movieView->get_width() > 0; }));
    spin();
    Gdk::Rectangle content = app.contentFrame();
    app.window()->set_default_size(900, 600);
    ASSERT_TRUE(spinUntil([&] { return app.contentFrame().get_width() != content.get_width(); }));
    spin();
    Gdk::Rectangle resized = app.contentFrame();
    ASSERT_TRUE(app.frameView->frameRect().has_value());
    EXPECT_TRUE(*app.frameView->frameRect() ==
                (Gdk::Rectangle(resized.get_x() - 1, resized.get_y() - 1, resized.get_width() + 2,
                                resized.get_height() + 2)));
}

TEST_F(StartUpTest, MissingLayoutsAreAnErrorForTheWindowAndSkipTheChooser) {
    std::string resources = useOwnResources();
    EXPECT_THROW(AppController{application()}, std::runtime_error);

    fs::copy(FRETLARK_SOURCE_RESOURCE_DIR, resources, fs::copy_options::recursive);
    fs::remove(resources + "/ProductChooser.ui");
    installJamcroft();
    auto& app = start();
    EXPECT_FALSE(app.isTerminating());
    EXPECT_EQ(app.prodState, AppController::jamcroftProduct) << "the first installed library";
}

using ModeTest = AppControllerFixture;

TEST_F(ModeTest, TheShopButtonSwitchesModesAndTheNextRunStartsInTheLastOne) {
    auto& app = start();
    app.restoreApplicationMode();
    EXPECT_EQ(app.appMode, AppController::browseMode);
    EXPECT_FALSE(app.statusView->is_visible());
    for (bool shop : {true, false}) {
        click(app.shopButton);
        EXPECT_EQ(app.appMode, shop ? AppController::shopMode : AppController::browseMode);
        EXPECT_EQ(dynamic_cast<Gtk::ToggleButton*>(app.shopButton)->get_active(), shop);
        EXPECT_EQ(app.webView->widget().is_visible(), shop);
        EXPECT_EQ(app.movieView->is_visible(), !shop);
        Defaults::resetStandard();
        EXPECT_EQ(Defaults::standard().boolForKey("FrlsaveApplicationMode"), shop);
        EXPECT_FALSE(Defaults::standard().boolForKey("showWelcomeSplash")) << "off for good";
    }
    Defaults::standard().setBool("FrlsaveApplicationMode", true);
    controller.reset();
    auto& again = start();
    again.restoreApplicationMode();
    EXPECT_EQ(again.appMode, AppController::shopMode);
    EXPECT_TRUE(again.statusView->is_visible());
    EXPECT_TRUE(again.signInButton->is_visible());
}

using MenuTest = AppControllerFixture;

TEST_F(MenuTest, MenusNeedASelectionWhereItCountsAndKeepThePauseTitleCurrent) {
    auto& app = start();
    EXPECT_FALSE(app.validateMenuItem("export"));
    EXPECT_FALSE(app.validateMenuItem("delete"));
    for (const char* always : {"toggle-download", "check-for-updates", "support", "quit"})
        EXPECT_TRUE(app.validateMenuItem(always)) << always;
    for (int shown = 0; shown < 3; ++shown)
        app.validateMenus();
    auto exportAction =
        std::dynamic_pointer_cast<Gio::SimpleAction>(app.application->lookup_action("export"));
    ASSERT_TRUE(exportAction);
    EXPECT_FALSE(exportAction->get_enabled());
    ASSERT_EQ(app.fileMenu->get_n_items(), 3);
    auto label = app.fileMenu->get_item_attribute(2, Gio::MenuModel::Attribute::LABEL,
                                                  Glib::VariantType("s"));
    EXPECT_EQ(Glib::VariantBase::cast_dynamic<Glib::Variant<Glib::ustring>>(label).get().raw(),
              app.toggleDownloadTitle());
}

TEST_F(MenuTest, QuitOrClosingTheWindowTerminatesWithoutAQuestionAndKeepsTheSettings) {
    auto& app = start();
    Defaults::standard().setString("saveUserPathDownloadStore", "/Bass");
    app.application->activate_action("quit");
    spin();
    EXPECT_TRUE(app.isTerminating());
    app.terminate(nullptr);
    Defaults::resetStandard();
    EXPECT_EQ(Defaults::standard().stringForKey("saveUserPathDownloadStore"), "/Bass");
    controller.reset();

    auto& closed = start();
    closed.window()->close();
    spin();
    EXPECT_TRUE(closed.isTerminating());
    EXPECT_TRUE(alerts.empty());
}

} // namespace
