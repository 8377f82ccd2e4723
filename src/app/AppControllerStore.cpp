#include "app/AppController.h"

#include "app/FrlConstants.h"
#include "platform/Defaults.h"
#include "platform/StoreHost.h"
#include "platform/Workspace.h"
#include "platform/ui/Alert.h"
#include "store/CookieChecker.h"
#include "store/PercentEscapes.h"
#include "store/PopupWindow.h"
#include "store/SigninController.h"
#include "store/SigninRequest.h"
#include "store/StoreConstants.h"
#include "store/StoreSession.h"

#include <giomm/simpleaction.h>
#include <glibmm/main.h>
#include <gtk/gtk.h>
#include <gtkmm/application.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/progressbar.h>
#include <gtkmm/searchentry.h>
#include <gtkmm/togglebutton.h>
#include <string_view>

#include "drawing/StatusView.h"
#include "platform/movie/QTMovieView.h"
#include "player/FrlQTMovie.h"

namespace {

const char* const FrlaccessingStore = "Accessing Store...";
const char* const FrldownloadStoreTitle = "Download Store";
const char* const FrldownloadAlertTitle = "Fretlark Download Store";
const char* const FrldownloadStarted =
    "You have successfully started the download of your Fretlark product.";
constexpr auto progressPulse = std::chrono::milliseconds(100);
constexpr auto quitWaitForCookies = std::chrono::milliseconds(3000);

// The store's keyboard commands, as in every GNOME browser view; active in shop mode only.
struct StoreCommand {
    const char* action;
    const char* accelerator;
};
const StoreCommand storeCommands[] = {
    {"store-back", "<Alt>Left"},
    {"store-forward", "<Alt>Right"},
    {"store-print", "<Control>p"},
    {"store-stop", "Escape"},
};

void setShopButtonState(Gtk::Button* shopButton, bool inShop) {
    if (auto* toggle = dynamic_cast<Gtk::ToggleButton*>(shopButton))
        toggle->set_active(inShop);
}

void setAccessibleName(Gtk::Widget* widget, const std::string& name) {
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget->gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   name.c_str(), -1);
}

std::string userAgentApplicationName() {
    std::string name = FrluserAgentString;
    return name.replace(name.find("%@"), 2, AppController::getMyVersionString());
}

} // namespace

void AppController::setStoreControlsVisible(bool visible) {
    for (Gtk::Widget* control : std::initializer_list<Gtk::Widget*>{
             &webView->widget(), backButton, forwardButton, homeButton, printButton, progressBar,
             storeStatus, searchStore, signInButton})
        control->set_visible(visible);
}

void AppController::setUpWebView() {
    webView->setDelegate(this);
    webView->setPolicyDelegate(this);
    webView->setApplicationNameForUserAgent(userAgentApplicationName());
    webView->setPrintsBackgrounds(true);
}

void AppController::connectStoreActions() {
    backButton->signal_clicked().connect([this] { goBack(backButton); });
    forwardButton->signal_clicked().connect([this] { goForward(forwardButton); });
    homeButton->signal_clicked().connect([this] { goHome(homeButton); });
    printButton->signal_clicked().connect([this] { printPage(printButton); });
    stopButton->signal_clicked().connect([this] { stopLoading(stopButton); });
    signInButton->signal_clicked().connect([this] { signIn(signInButton); });
    // The store search field's action.
    searchStore->signal_activate().connect(
        [this] { searchForItemInStore(searchStore->get_text()); });
    std::map<std::string, std::function<void()>> handlers{
        {"store-back", [this] { goBack(nullptr); }},
        {"store-forward", [this] { goForward(nullptr); }},
        {"store-print", [this] { printPage(nullptr); }},
        {"store-stop", [this] { stopLoading(nullptr); }},
    };
    for (const auto& command : storeCommands) {
        auto action = Gio::SimpleAction::create(command.action);
        action->signal_activate().connect(
            [handler = handlers[command.action]](const Glib::VariantBase&) { handler(); });
        action->set_enabled(false);
        application->add_action(action);
        application->set_accel_for_action(std::string("app.") + command.action,
                                          command.accelerator);
    }
}

// Escape stops a load only while one runs; otherwise it is the search fields' key.
void AppController::updateStoreActions() {
    bool inShop = appMode == shopMode;
    for (const auto& command : storeCommands)
        if (auto action = std::dynamic_pointer_cast<Gio::SimpleAction>(
                application->lookup_action(command.action)))
            action->set_enabled(inShop && (std::string_view(command.action) != "store-stop" ||
                                           stopButton->get_visible()));
}

void AppController::setShopMode() {
    stopMovie();
    if (FrlQTMovie* movie = currentMovie(); movie && movie->rate() != 0.0f) {
        movie->setRate(0.0f);
        movieView->gotoBeginning();
        movie->removeAllMovieCallbacks();
    }
    // With the callbacks gone nothing else would tell the buttons that the movie stopped.
    setPlayButtonOff();
    clearButtonStates();
    movieView->hide();
    setStoreControlsVisible(true);
    setLoginState(loginState);
    iconButton->show();
    statusView->show();
    statusView->queue_draw();
    adjustFrameView(contentFrame());
    // Only while nothing has been loaded yet: on later entries the page last shown stays.
    if (webView->hasNoHistory())
        reloadForm();
    if (!cookieChecker) {
        cookieChecker = std::make_unique<CookieChecker>();
        cookieChecker->setAppController(this);
    }
    appMode = shopMode;
    setShopButtonState(shopButton, true);
    updateStoreActions();
    Defaults::standard().setBool(FrlsaveApplicationMode, true);
    Defaults::standard().setBool(FrlshowWelcomeSplash, false);
}

void AppController::setBrowseMode() {
    setStoreControlsVisible(false);
    movieView->show();
    iconButton->hide();
    statusView->hide();
    adjustFrameView(contentFrame());
    appMode = browseMode;
    setShopButtonState(shopButton, false);
    updateStoreActions();
    Defaults::standard().setBool(FrlsaveApplicationMode, false);
}

void AppController::shop(Gtk::Widget*) {
    if (appMode == shopMode)
        setBrowseMode();
    else
        setShopMode();
}

void AppController::loadURL(const std::string& url) {
    webView->loadURL(url);
}

void AppController::reloadForm() {
    loadURL(StoreHost::url(FrldownloadHomeURL));
}

void AppController::goHome(Gtk::Widget*) {
    reloadForm();
}

void AppController::goBack(Gtk::Widget*) {
    webView->goBack();
}

void AppController::goForward(Gtk::Widget*) {
    webView->goForward();
}

// A sign-in on its way is the page being loaded too: it stops as well.
void AppController::stopLoading(Gtk::Widget*) {
    if (signinRequest) {
        signinRequest.reset();
        setStoreStatusIdle();
    }
    webView->stopLoading();
}

void AppController::searchForItemInStore(const std::string& text) {
    if (text.empty())
        return;
    loadURL(StoreHost::url(FrlsearchURL) + "=" + PercentEscapes::addingURLEscapes(text));
}

void AppController::printPage(Gtk::Widget*) {
    webView->print(*mainWindow, {});
}

bool AppController::isStorePage(const std::string& url) {
    GUri* page = g_uri_parse(url.c_str(), G_URI_FLAGS_ENCODED, nullptr);
    GUri* store = g_uri_parse(StoreHost::url("/").c_str(), G_URI_FLAGS_ENCODED, nullptr);
    auto portOf = [](GUri* uri) { return g_uri_get_port(uri) > 0 ? g_uri_get_port(uri) : 443; };
    bool same = page && store && g_strcmp0(g_uri_get_scheme(page), "https") == 0 &&
                g_ascii_strcasecmp(g_uri_get_host(page) ? g_uri_get_host(page) : "",
                                   g_uri_get_host(store)) == 0 &&
                portOf(page) == portOf(store);
    if (page)
        g_uri_unref(page);
    if (store)
        g_uri_unref(store);
    return same;
}

void AppController::setStoreStatusLoading() {
    iconButton->hide();
    stopButton->show();
    storeStatus->show();
    storeStatus->set_text(FrlaccessingStore);
    updateStoreActions();
    // The bar shows only while it moves.
    progressBar->set_opacity(1);
    if (!progressAnimation.connected())
        progressAnimation = Glib::signal_timeout().connect(
            [this] {
                progressBar->pulse();
                return true;
            },
            progressPulse.count());
    statusView->queue_draw();
}

void AppController::setStoreStatusIdle() {
    iconButton->show();
    stopButton->hide();
    storeStatus->set_text("");
    storeStatus->hide();
    updateStoreActions();
    progressAnimation.disconnect();
    progressBar->set_fraction(0);
    progressBar->set_opacity(0);
    statusView->queue_draw();
}

void AppController::didStartProvisionalLoadForFrame(WebView& sender) {
    if (&sender == webView.get())
        setStoreStatusLoading();
}

void AppController::didFinishLoadForFrame(WebView& sender) {
    if (&sender != webView.get())
        return;
    backButton->set_sensitive(webView->canGoBack());
    forwardButton->set_sensitive(webView->canGoForward());
    setStoreStatusIdle();
    // Pages are where the store sets its cookies; the web engine's change reports alone can miss
    // one, so every finished page is a change worth reading.
    if (cookieChecker)
        cookieChecker->updateLoginState();
    auto query = findDownloadHeaders(webView.get());
    if (query && beginDownload(*query))
        Alert::beginAlertSheet(mainWindow.get(),
                               {FrldownloadAlertTitle, FrldownloadStarted, {"OK"}, {}, true}, {});
}

void AppController::didFailProvisionalLoadWithError(WebView& sender, const std::string&) {
    if (&sender == webView.get())
        setStoreStatusIdle();
}

void AppController::didFailLoadWithError(WebView& sender, const std::string&) {
    if (&sender == webView.get())
        setStoreStatusIdle();
}

void AppController::didReceiveTitle(WebView& sender, const std::string& title) {
    if (&sender != webView.get()) {
        if (auto* popup = PopupWindow::holding(sender))
            popup->window().set_title(title);
        return;
    }
    std::optional<std::string> user = cookieChecker ? cookieChecker->userName() : std::nullopt;
    if (user)
        mainWindow->set_title(title + " (" + *user + ")");
    else
        mainWindow->set_title(std::string(FrldownloadStoreTitle) + " (" + title + ")");
}

Gtk::Window* AppController::windowOf(WebView& view) const {
    if (auto* popup = PopupWindow::holding(view))
        return &popup->window();
    return mainWindow.get();
}

// A tab splits the alert's title from its message.
void AppController::runJavaScriptAlertPanelWithMessage(WebView& sender,
                                                       const std::string& message) {
    AlertRequest request{{}, message, {}, {}, true};
    if (auto tab = message.find('\t'); tab != std::string::npos) {
        request.title = message.substr(0, tab);
        request.message = message.substr(tab + 1);
    }
    Alert::beginAlertSheet(windowOf(sender), request, {});
}

WebView* AppController::createWebViewWithRequest(WebView& sender, const std::string&) {
    return &PopupWindow::create(sender, *this, windowOf(sender));
}

void AppController::webViewShow(WebView& sender) {
    if (auto* popup = PopupWindow::holding(sender))
        popup->show();
}

void AppController::webViewClose(WebView& sender) {
    if (auto* popup = PopupWindow::holding(sender))
        popup->close();
}

// Only the store's own pages show in the store view; a link elsewhere opens in the user's browser.
bool AppController::decidePolicyForNavigationAction(WebView&, const std::string& url,
                                                    bool linkClicked) {
    if (isStorePage(url) || url == "about:blank")
        return true;
    g_message("The store view does not show %s", url.c_str());
    if (linkClicked)
        Workspace::openURL(url);
    return false;
}

bool AppController::decidePolicyForMIMEType(WebView&, const std::string&) {
    return true;
}

bool AppController::decidePolicyForNewWindowAction(WebView&, const std::string&) {
    return false;
}

Gtk::Window* AppController::storeWindow() const {
    return mainWindow.get();
}

// The store needs the form exactly so: the two fields in this order, escaped by urlEncodeValue.
void AppController::login(const std::string& email, const std::string& password) {
    std::string body =
        "email_address=" + urlEncodeValue(email) + "&password=" + urlEncodeValue(password);
    setStoreStatusLoading();
    signinRequest =
        SigninRequest::post(StoreHost::url(FrlloginURL), body, webView->userAgent(),
                            [this](const SigninAnswer& answer) { signinAnswered(answer); });
    Defaults::standard().setString(FrlsaveUserNameDownloadStore, email);
}

// The answer shows in the store view once its cookies are in the store's session and the login
// state follows them, so the answer's title already names the customer; a redirect is followed as
// a navigation.
void AppController::signinAnswered(const SigninAnswer& answer) {
    if (!answer.error.empty())
        return setStoreStatusIdle();
    if (cookieChecker)
        return cookieChecker->updateLoginState(
            lifetime.guard([this, answer] { showSigninAnswer(answer); }));
    showSigninAnswer(answer);
}

void AppController::showSigninAnswer(const SigninAnswer& answer) {
    if (!answer.location.empty()) {
        if (!isStorePage(answer.location))
            return setStoreStatusIdle();
        return loadURL(answer.location);
    }
    webView->loadData(answer.body, answer.mimeType, answer.charset, StoreHost::url(FrlloginURL));
}

std::string AppController::urlEncodeValue(const std::string& value) {
    return PercentEscapes::escapingFormValue(value);
}

void AppController::forgotPassword() {
    loadURL(StoreHost::url(FrlforgotPasswordURL));
}

void AppController::createAccount() {
    loadURL(StoreHost::url(FrlcreateAccountURL));
}

// The log-off page is asked for once the login cookie is gone, so it never carries it.
void AppController::logoff() {
    CookieChecker::deleteLoginCookie(
        lifetime.guard([this] { loadURL(StoreHost::url(FrllogoffURL)); }));
}

// Every run ends signed off: quitting waits a moment for the cookie store to let the login go.
void AppController::deleteLoginCookieBeforeQuitting() {
    if (!cookieChecker && !StoreSession::hasStoredCookies())
        return;
    auto loop = Glib::MainLoop::create();
    CookieChecker::deleteLoginCookie([loop] { loop->quit(); });
    auto limit = Glib::signal_timeout().connect(
        [loop] {
            loop->quit();
            return false;
        },
        quitWaitForCookies.count());
    loop->run();
    limit.disconnect();
}

void AppController::showSigninPanel() {
    SigninController::sharedInstance().showPanel(*this);
}

void AppController::signIn(Gtk::Widget*) {
    if (loginState)
        logoff();
    else
        showSigninPanel();
}

void AppController::setLoginState(bool state) {
    loginState = state;
    if (!signInButton->get_visible())
        return;
    const char* title = state ? "Sign Off" : "Sign In";
    signInButton->set_label(title);
    signInButton->set_tooltip_text(state ? "Sign off from account" : "Sign into account");
    setAccessibleName(signInButton, title);
}
