#include "MovieMedia.h"
#include "StoreAppFixture.h"

#include "platform/ui/ColumnBrowser.h"
#include "store/CookieChecker.h"
#include "store/SigninController.h"
#include "store/StoreSession.h"

#include <filesystem>
#include <fstream>
#include <glibmm/main.h>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/passwordentry.h>
#include <gtkmm/progressbar.h>
#include <gtkmm/searchentry.h>
#include <webkit/webkit.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const char* const homePage = "/downloadStore/";

// The Download Store product on the demo store's pages, served on 127.0.0.1.
class StoreWindowTest : public StoreAppFixture {
protected:
    AppController& shop() {
        auto& app = start();
        g_signal_connect(app.webView->view(), "load-changed",
                         G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer count) {
                             *static_cast<int*>(count) += event == WEBKIT_LOAD_FINISHED;
                         }),
                         &finishedLoads);
        app.setShopMode();
        EXPECT_TRUE(eventually(
            [&] { return title(app) == "Download Store (Lessons)" && statusIsIdle(app); }));
        return app;
    }
    // Runs the action and waits for the next load it causes to end.
    bool loads(const std::function<void()>& action) {
        int before = finishedLoads;
        action();
        return eventually([&] { return finishedLoads > before; });
    }
    static bool statusIsIdle(AppController& app) {
        return app.iconButton->get_visible() && !app.stopButton->get_visible() &&
               !app.storeStatus->get_visible() && app.storeStatus->get_text().empty();
    }
    std::vector<StoreRequest> requestsFor(const std::string& path) {
        std::vector<StoreRequest> found;
        for (const auto& request : store->store().requests())
            if (request.path == path)
                found.push_back(request);
        return found;
    }
    static void runScript(AppController& app, const std::string& script) {
        webkit_web_view_evaluate_javascript(app.webView->view(), script.c_str(), -1, nullptr,
                                            nullptr, nullptr, nullptr, nullptr);
    }
    // The web engine works in processes of its own; on a busy machine it takes its time.
    static bool eventually(const std::function<bool()>& done) { return ::spinUntil(done, 20s); }
    static void settle() { spinFor(800ms); }
    // The login cookies of the store's own domain.
    static int loginCookies() {
        int count = -1;
        webkit_cookie_manager_get_all_cookies(
            StoreSession::shared().cookieManager(), nullptr,
            [](GObject* manager, GAsyncResult* result, gpointer data) {
                GList* all = webkit_cookie_manager_get_all_cookies_finish(
                    WEBKIT_COOKIE_MANAGER(manager), result, nullptr);
                int logins = 0;
                for (GList* item = all; item; item = item->next) {
                    auto* cookie = static_cast<SoupCookie*>(item->data);
                    logins += g_strcmp0(soup_cookie_get_name(cookie), "Login") == 0 &&
                              g_strcmp0(soup_cookie_get_domain(cookie), "127.0.0.1") == 0;
                }
                g_list_free_full(all, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
                *static_cast<int*>(data) = logins;
            },
            &count);
        eventually([&] { return count >= 0; });
        return count;
    }
    static void addCookie(const std::string& value, const std::string& domain) {
        SoupCookie* cookie = soup_cookie_new("Login", value.c_str(), domain.c_str(), "/", 3600);
        bool added = false;
        webkit_cookie_manager_add_cookie(
            StoreSession::shared().cookieManager(), cookie, nullptr,
            [](GObject*, GAsyncResult*, gpointer done) { *static_cast<bool*>(done) = true; },
            &added);
        soup_cookie_free(cookie);
        eventually([&] { return added; });
    }
    void pace(std::int64_t bytesPerSecond, bool announceLength = true) {
        FaultPlan plan;
        plan.bytesPerSecond = bytesPerSecond;
        plan.noContentLength = !announceLength;
        store->store().setFaults(plan);
    }

    int finishedLoads = 0;
};

TEST_F(StoreWindowTest, TheHomePageLoadsOnceAndTheStatusBarFollowsEveryLoad) {
    auto& app = shop();
    ASSERT_EQ(requestsFor(homePage).size(), 1u);
    EXPECT_FALSE(app.backButton->get_sensitive());
    EXPECT_NE(requestsFor(homePage)[0].header("User-Agent").find(" Fretlark/" FRETLARK_VERSION),
              std::string::npos);
    app.setBrowseMode();
    app.setShopMode();
    spin();
    EXPECT_EQ(requestsFor(homePage).size(), 1u) << "a later entry shows the page that was left";

    FaultPlan slowPages;
    slowPages.pageDelay = 1500;
    store->store().setFaults(slowPages);
    ASSERT_TRUE(loads([&] {
        app.loadURL(app.webView->url() + "about.php");
        ASSERT_TRUE(eventually([&] { return app.stopButton->get_visible(); }));
        EXPECT_FALSE(app.iconButton->get_visible());
        EXPECT_EQ(app.storeStatus->get_text(), "Accessing Store...");
        EXPECT_TRUE(app.application->lookup_action("store-stop")->get_enabled());
    }));
    EXPECT_TRUE(statusIsIdle(app));
    EXPECT_FALSE(app.application->lookup_action("store-stop")->get_enabled()) << "Escape is free";
    EXPECT_TRUE(app.backButton->get_sensitive());
    EXPECT_EQ(title(app), "Download Store (About the Store)") << "not the inner frame's title";
    EXPECT_EQ(requestsFor("/downloadStore/news.php").size(), 1u);

    Defaults::standard().setString("storeHost", "127.0.0.1:1");
    ASSERT_TRUE(loads([&] { app.goHome(nullptr); }));
    EXPECT_TRUE(statusIsIdle(app));
    EXPECT_TRUE(app.backButton->get_sensitive());
    EXPECT_EQ(title(app), "Download Store (About the Store)");
}

TEST_F(StoreWindowTest, TheStoreSearchEscapesItsTextAndKeyboardCommandsNavigate) {
    auto& app = shop();
    app.searchStore->set_text("Café & bass");
    g_signal_emit_by_name(app.searchStore->gobj(), "activate");
    ASSERT_TRUE(eventually([&] { return title(app) == "Download Store (Search Results)"; }));
    auto searches = requestsFor("/downloadStore/advanced_search_result.php");
    ASSERT_EQ(searches.size(), 1u);
    EXPECT_EQ(searches[0].query, "keywords=Caf%8E%20&%20bass");
    app.searchForItemInStore("");
    spin();
    EXPECT_EQ(requestsFor("/downloadStore/advanced_search_result.php").size(), 1u);

    app.application->activate_action("store-back");
    ASSERT_TRUE(eventually([&] { return title(app) == "Download Store (Lessons)"; }));
    app.application->activate_action("store-forward");
    ASSERT_TRUE(eventually([&] { return title(app) == "Download Store (Search Results)"; }));
    Gtk::Window* printDialogParent = nullptr;
    bool printDialogShown = false;
    auto closer = Glib::signal_timeout().connect(
        [&] {
            for (auto* window : Gtk::Window::list_toplevels())
                if (GTK_IS_PRINT_UNIX_DIALOG(window->gobj()) && window->get_visible()) {
                    printDialogShown = true;
                    printDialogParent = window->get_transient_for();
                    gtk_dialog_response(GTK_DIALOG(window->gobj()), GTK_RESPONSE_CANCEL);
                }
            return !printDialogShown;
        },
        100);
    app.application->activate_action("store-print");
    EXPECT_TRUE(eventually([&] { return printDialogShown; }));
    EXPECT_EQ(printDialogParent, app.mainWindow.get());
    closer.disconnect();
    app.setBrowseMode();
    EXPECT_FALSE(app.application->lookup_action("store-back")->get_enabled());
}

TEST_F(StoreWindowTest, ScriptAlertsTakeTheirTitleFromBeforeTheFirstTab) {
    auto& app = shop();
    app.loadURL(app.webView->url() + "alert.php");
    ASSERT_TRUE(eventually([&] { return !alerts.empty(); }));
    EXPECT_EQ(alerts[0].title, "Store Notice");
    EXPECT_EQ(alerts[0].message, "Lessons bought today download at full speed.");
    runScript(app, "alert('50% off\\tall week\\tonly')");
    runScript(app, "alert('No heading: 100%')");
    ASSERT_TRUE(eventually([&] { return alerts.size() == 3; }));
    EXPECT_EQ(alerts[1].title, "50% off");
    EXPECT_EQ(alerts[1].message, "all week\tonly");
    EXPECT_EQ(alerts[2].title, "");
    EXPECT_EQ(alerts[2].message, "No heading: 100%");
}

TEST_F(StoreWindowTest, AScriptOpensASmallPopUpAndNewWindowLinksAreIgnored) {
    auto& app = shop();
    app.loadURL(app.webView->url() + "popup.php");
    Gtk::Window* popup = nullptr;
    ASSERT_TRUE(eventually([&] {
        for (auto* window : Gtk::Window::list_toplevels())
            if (window->get_visible() && window->get_title() == "Preview: Slap Basics")
                popup = window;
        return popup != nullptr;
    }));
    int width = 0, height = 0;
    popup->get_default_size(width, height);
    EXPECT_EQ(width, 150);
    EXPECT_EQ(height, 150);
    EXPECT_EQ(popup->get_transient_for(), app.mainWindow.get());
    EXPECT_EQ(title(app), "Download Store (Pop-up Window)");
    runScript(app, "document.querySelector('a[target=_blank]').click()");
    settle();
    EXPECT_TRUE(requestsFor("/downloadStore/terms.php").empty());
    popup->close();
    EXPECT_TRUE(eventually([&] {
        for (auto* window : Gtk::Window::list_toplevels())
            if (window->get_title() == "Preview: Slap Basics")
                return false;
        return true;
    }));
}

TEST_F(StoreWindowTest, SigningInPostsTheFormByteForByteAndSigningOffEndsIt) {
    auto& app = shop();
    app.login("student@example.com", "wrong");
    ASSERT_TRUE(
        eventually([&] { return title(app) == "Download Store (Sign In)" && statusIsIdle(app); }));
    EXPECT_FALSE(app.loginState) << "a wrong password shows the store's answer";
    EXPECT_EQ(app.signInButton->get_label(), "Sign In");
    app.login("mara+lessons@example.com", "a&b=c d");
    ASSERT_TRUE(eventually([&] { return title(app) == "My Account (Mara Quill)"; }));
    auto posts = requestsFor("/downloadStore/login.php");
    ASSERT_EQ(posts.size(), 2u);
    const std::string body = "email_address=mara%2Blessons@example.com&password=a%26b%3Dc%20d";
    EXPECT_EQ(posts[1].method, "POST");
    EXPECT_EQ(posts[1].query, "action=process");
    EXPECT_EQ(posts[1].body, body);
    EXPECT_EQ(posts[1].header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(posts[1].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_NE(posts[1].header("User-Agent").find("Fretlark/"), std::string::npos);
    EXPECT_NE(
        requestsFor("/downloadStore/account.php")[0].header("Cookie").find("Login=Mara%20Quill"),
        std::string::npos)
        << "the answer's cookie went into the store view's session";
    EXPECT_TRUE(app.loginState);
    EXPECT_EQ(app.signInButton->get_label(), "Sign Off");
    EXPECT_EQ(app.signInButton->get_tooltip_text(), "Sign off from account");
    Defaults::resetStandard();
    EXPECT_EQ(Defaults::standard().stringForKey("saveUserNameDownloadStore"),
              "mara+lessons@example.com");
    EXPECT_EQ(readFile(home() + "/.config/fretlark/defaults.ini").find("a&b=c"), std::string::npos);

    app.signIn(app.signInButton);
    ASSERT_TRUE(eventually(
        [&] { return !app.loginState && !requestsFor("/downloadStore/logoff.php").empty(); }));
    EXPECT_EQ(app.signInButton->get_label(), "Sign In");
    EXPECT_EQ(app.signInButton->get_tooltip_text(), "Sign into account");
    EXPECT_EQ(requestsFor("/downloadStore/logoff.php")[0].header("Cookie").find("Login="),
              std::string::npos);
}

TEST_F(StoreWindowTest, ThePanelOffersTheSavedAddressAndCancelSendsNothing) {
    Defaults::standard().setString("saveUserNameDownloadStore", "student@example.com");
    auto& app = shop();
    auto& signin = SigninController::sharedInstance();
    app.signIn(app.signInButton);
    ASSERT_TRUE(signin.panel && signin.panel->get_visible());
    EXPECT_EQ(signin.FretlarkID->get_text(), "student@example.com");
    ASSERT_NE(signin.panel->get_focus(), nullptr);
    EXPECT_TRUE(signin.panel->get_focus()->is_ancestor(*signin.password));
    signin.password->set_text("scales");
    click(signin.cancelButton);
    settle();
    EXPECT_FALSE(signin.panel->get_visible());
    EXPECT_TRUE(requestsFor("/downloadStore/login.php").empty());

    app.showSigninPanel();
    EXPECT_EQ(signin.password->get_text(), "scales") << "kept from the last showing";
    click(signin.signInButton);
    ASSERT_TRUE(eventually([&] { return app.loginState; }));
    EXPECT_EQ(requestsFor("/downloadStore/login.php").size(), 1u);
}

TEST_F(StoreWindowTest, OnlyANonEmptyLoginCookieOfTheStoreSignsIn) {
    auto& app = shop();
    auto storeSets = [&](const std::string& value, const std::string& domain) {
        addCookie(value, domain);
        ASSERT_TRUE(loads([&] { app.goHome(nullptr); }));
    };
    storeSets("Eve", "example.org");
    settle();
    EXPECT_FALSE(app.loginState);
    storeSets("Ada%20Student", "127.0.0.1");
    ASSERT_TRUE(eventually([&] { return app.loginState; }));
    EXPECT_EQ(app.cookieChecker->userName(), "Ada Student");
    app.goHome(nullptr);
    ASSERT_TRUE(
        eventually([&] { return title(app) == "Lessons (Ada Student)" && statusIsIdle(app); }));
    storeSets("", "127.0.0.1");
    EXPECT_TRUE(eventually([&] { return !app.loginState && loginCookies() == 0; }))
        << "an empty login cookie is deleted";
}

TEST_F(StoreWindowTest, EveryRunStartsAndEndsSignedOff) {
    addCookie("Ada%20Student", "127.0.0.1");
    StoreSession::uninitialize();
    ASSERT_EQ(loginCookies(), 1) << "a login kept from an earlier run";
    auto& app = start();
    EXPECT_TRUE(eventually([] { return loginCookies() == 0; }));
    addCookie("Ada%20Student", "127.0.0.1");
    app.setShopMode();
    ASSERT_TRUE(eventually([&] { return app.loginState; }));
    app.terminate(nullptr);
    EXPECT_EQ(loginCookies(), 0);
}

TEST_F(StoreWindowTest, APurchaseDownloadsTheLessonIntoTheLibraryWhereItPlays) {
    std::string movie =
        MovieMedia::copy(MovieMedia::lesson(), store->lessonsFolder(), "Slap Basics.mov");
    std::ofstream(store->lessonsFolder() + "/Slap Basics - Sheet.pdf") << "%PDF-1.4\n";
    auto& app = shop();
    app.login("student@example.com", "scales");
    ASSERT_TRUE(eventually([&] { return app.loginState; }));
    app.goHome(nullptr);
    // The title arrives with the page's head; the Buy button only once the load has ended.
    ASSERT_TRUE(
        eventually([&] { return title(app) == "Lessons (Ada Student)" && statusIsIdle(app); }));
    runScript(app, "document.querySelector('input.buy').click()");
    ASSERT_TRUE(eventually([&] { return !alerts.empty(); }));
    EXPECT_EQ(alerts[0].title, "Fretlark Download Store");
    EXPECT_EQ(alerts[0].message,
              "You have successfully started the download of your Fretlark product.");
    std::string lesson = purchases() + "/Bass/Technique/Slap/Slap Basics.mov";
    std::string sheet = purchases() + "/Bass/Technique/Slap/Slap Basics - Sheet.pdf";
    ASSERT_TRUE(eventually([&] {
        return fs::exists(sheet) && fs::file_size(sheet) > 0 && !app.downloadBar->get_visible();
    }));
    EXPECT_GE(fs::file_size(lesson), fs::file_size(movie)) << "annotations are added";
    app.setBrowseMode();
    app.fsBrowser->setPath("/Bass/Technique/Slap");
    app.browserSingleClick(app.fsBrowser);
    ASSERT_TRUE(app.lastVisNodes && app.lastVisNodes->size() == 2);
    ASSERT_TRUE(app.playMovieFile(lesson, false));
    ASSERT_TRUE(eventually([&] { return app.isMoviePlaying(); }));
    // Paused with the button still on Pause, as a start-up leaves a movie that has not started.
    app.pauseMovie();
    app.setPlayButtonOn();
    app.setShopMode();
    EXPECT_EQ(app.playButton->get_tooltip_text(), "Play") << "the buttons show the stop";
}

// ---- The hand-off from a finished purchase to the download engine ----

// The progress shows even over a first start's welcome picture, and it can only come from the
// first hand-off if the second, which cannot start, leaves it running.
TEST_F(StoreWindowTest, AHandOffThatCannotStartLeavesTheRunningOneToShowItsProgress) {
    Defaults::standard().setBool("showWelcomeSplash", true);
    std::ofstream(store->lessonsFolder() + "/Walk.mov") << std::string(200000, 'w');
    publishDescription("order=7", {"Walk.mov"});
    pace(50000);
    auto& app = start();
    ASSERT_TRUE(app.beginDownload("order=7"));
    EXPECT_FALSE(app.beginDownload("order=8 9"));
    ASSERT_TRUE(eventually([&] { return app.downloadBar->get_visible(); }));
    EXPECT_EQ(app.downloadStatus->get_text(), "Downloading: Walk");
}

TEST_F(StoreWindowTest, ADescriptionOverSixteenMebibytesFailsAndLeavesNothing) {
    std::ofstream(store->lessonsFolder() + "/Walk.mov") << std::string(1000, 'w');
    publishDescription("order=9", {"Walk.mov"}, std::string(17 * 1024 * 1024, 'x'));
    for (bool announced : {true, false}) {
        pace(0, announced);
        auto& app = start();
        ASSERT_TRUE(app.beginDownload("order=9"));
        ASSERT_TRUE(eventually([&] { return !app.downloader; })) << announced;
        spin();
        EXPECT_FALSE(fs::exists(app.outputPath)) << announced;
        EXPECT_FALSE(fs::exists(purchases() + "/Bass/Grooves/Walking/Walk.mov")) << announced;
        controller.reset();
    }
}

TEST_F(StoreWindowTest, QuittingDuringADescriptionTransferDeletesThePartialFile) {
    publishDescription("order=10", {"Walk.mov"}, std::string(200000, 'x'));
    pace(40000);
    auto& app = start();
    ASSERT_TRUE(app.beginDownload("order=10"));
    ASSERT_TRUE(eventually(
        [&] { return fs::exists(app.outputPath) && fs::file_size(app.outputPath) > 0; }));
    app.terminate(nullptr);
    EXPECT_FALSE(fs::exists(app.outputPath));
}

} // namespace
