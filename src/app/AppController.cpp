#include "app/AppController.h"

#include "app/FrlConstants.h"
#include "app/ProductChooser.h"
#include "download/DownloadController.h"
#include "drawing/FrameView.h"
#include "drawing/StatusView.h"
#include "export/ExportDialog.h"
#include "platform/Defaults.h"
#include "platform/MainThread.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "platform/StoreHost.h"
#include "platform/VersionQuery.h"
#include "platform/Workspace.h"
#include "platform/movie/NotificationCenter.h"
#include "platform/movie/QTMovieView.h"
#include "platform/ui/AccessibleName.h"
#include "platform/ui/Alert.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/ModalSession.h"
#include "platform/ui/TableView.h"
#include "player/FrlQTMovie.h"
#include "practice/MprisService.h"
#include "practice/PracticeMemory.h"
#include "rowviews/ImageView.h"
#include "rowviews/SubviewController.h"
#include "rowviews/SubviewTableViewController.h"
#include "store/CookieChecker.h"
#include "store/PopupWindow.h"
#include "store/SigninRequest.h"
#include "store/StoreConstants.h"
#include "store/StoreSession.h"

#include <filesystem>
#include <giomm/simpleaction.h>
#include <glib.h>
#include <gtkmm/application.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/columnview.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/menubutton.h>
#include <gtkmm/progressbar.h>
#include <gtkmm/scale.h>
#include <gtkmm/searchentry.h>
#include <gtkmm/shortcutswindow.h>
#include <mutex>
#include <stdexcept>

namespace {

// The commands of the main menu: action name, its first label, and its accelerator.
struct MenuCommand {
    const char* action;
    const char* label;
    const char* accelerator;
};

const MenuCommand fileCommands[] = {
    {"export", "Export…", "<Control>e"},
    {"delete", "Delete", nullptr},
    {"toggle-download", "Resume Download", "<Control>r"},
};
const MenuCommand applicationCommands[] = {
    {"show-practised", "Show Time Practised", nullptr},
    {"shortcuts", "Keyboard Shortcuts", "<Control>question"},
    {"check-for-updates", "Check for Updates…", nullptr},
    {"support", "Support", nullptr},
    {"quit", "Quit", "<Control>q"},
};

bool exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

} // namespace

void AppController::initialize() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        Defaults::standard().registerDefaults({
            {FrlshowCreateGBDialog, true},
            {FrlsaveUserPath, std::string(FrlquickStartFolder)},
            {FrlsaveUserSelection, std::int64_t{0}},
            {FrlsaveUserPathJamcroft, std::string(FrlquickStartFolder)},
            {FrlsaveUserSelectionJamcroft, std::int64_t{0}},
            {FrlshowWarningGBDialog, true},
            {FrlshowWelcomeSplash, true},
            {FrlsaveUserPathDownloadStore, std::string(FrlrootFolder)},
            {FrlsaveUserSelectionDownloadStore, std::int64_t{0}},
            {FrlsaveUserNameDownloadStore, std::string()},
            {FrlsaveApplicationMode, false},
            {StoreHost::hostKey, std::string(StoreHost::defaultHost)},
            {StoreHost::certificateKey, std::string()},
        });
        Defaults::standard().synchronize();
    });
}

AppController::AppController(const Glib::RefPtr<Gtk::Application>& app) : application(app) {
    initialize();
    loadLayout();
    connectActions();
    buildMenu();
}

AppController::~AppController() {
    // A movie that outlives the controller (its window kept alive elsewhere) calls nobody back.
    if (FrlQTMovie* movie = movieView ? currentMovie() : nullptr)
        movie->removeAllMovieCallbacks();
    for (sigc::connection& connection : searchConnections)
        connection.disconnect();
    NotificationCenter::defaultCenter().removeObserver(this);
    if (mainWindow)
        mainWindow->hide();
    PopupWindow::closeAll();
    progressAnimation.disconnect();
    signinRequest.reset();
    cookieChecker.reset();
    webView.reset();
    StoreSession::uninitialize();
    tableViewController.reset();
    subviewControllers.clear();
    ImageView::uninitialize();
    DownloadController::uninitialize();
}

template <typename T> T* AppController::control(const char* name) {
    T* widget = builder->get_widget<T>(name);
    if (!widget)
        throw std::runtime_error(std::string("main window layout lacks ") + name);
    return widget;
}

template <typename T> T* AppController::derivedControl(const char* name) {
    T* widget = Gtk::Builder::get_widget_derived<T>(builder, name);
    if (!widget)
        throw std::runtime_error(std::string("main window layout lacks ") + name);
    return widget;
}

void AppController::loadLayout() {
    std::string layout = Resources::pathForLayout("MainWindow");
    if (layout.empty())
        throw std::runtime_error("the main window layout \"MainWindow\" is missing");
    builder = Gtk::Builder::create();
    WebView::prepareBuilder(builder->gobj());
    builder->add_from_file(layout);
    mainWindow.reset(control<Gtk::ApplicationWindow>("mainWindow"));
    fsBrowser = derivedControl<ColumnBrowser>("fsBrowser");
    playButton = control<Gtk::Button>("playButton");
    reverseButton = control<Gtk::Button>("reverseButton");
    fforwardButton = control<Gtk::Button>("fforwardButton");
    loopButton = control<Gtk::Button>("loopButton");
    createButton = control<Gtk::Button>("createButton");
    iPodButton = control<Gtk::Button>("iPodButton");
    albumButton = control<Gtk::Button>("albumButton");
    shopButton = control<Gtk::Button>("shopButton");
    backButton = control<Gtk::Button>("backButton");
    forwardButton = control<Gtk::Button>("forwardButton");
    homeButton = control<Gtk::Button>("homeButton");
    signInButton = control<Gtk::Button>("signInButton");
    printButton = control<Gtk::Button>("printButton");
    resultsView = derivedControl<TableView>("resultsView");
    resultsTitle = control<Gtk::Label>("resultsTitle");
    searchField = control<Gtk::SearchEntry>("searchField");
    searchResults = control<Gtk::Label>("searchResults");
    searchStore = control<Gtk::SearchEntry>("searchStore");
    movieView = derivedControl<QTMovieView>("movieView");
    movieTime = control<Gtk::Label>("movieTime");
    movieRateSlider = control<Gtk::Scale>("movieRateSlider");
    webView = std::make_unique<WebView>(*control<Gtk::Widget>("webView"));
    frameView = derivedControl<FrameView>("frameView");
    statusView = derivedControl<StatusView>("statusView");
    stopButton = control<Gtk::Button>("stopButton");
    iconButton = control<Gtk::Button>("iconButton");
    progressBar = control<Gtk::ProgressBar>("progressBar");
    storeStatus = control<Gtk::Label>("storeStatus");
    downloadBar = control<Gtk::ProgressBar>("downloadBar");
    downloadStatus = control<Gtk::Label>("downloadStatus");
    downloadFrame = derivedControl<FrameView>("downloadFrame");
    menuButton = control<Gtk::MenuButton>("menuButton");
    application->add_window(*mainWindow);
    nameControlsForScreenReaders();
}

void AppController::nameControlsForScreenReaders() {
    AccessibleName::nameMenuButtonsWithin(*mainWindow);
    for (Gtk::Label* label : {resultsTitle, searchResults, movieTime, downloadStatus, storeStatus})
        AccessibleName::silenceWhileEmpty(*label);
    for (Gtk::Button* button : {playButton, reverseButton, fforwardButton, loopButton}) {
        if (Gtk::Widget* picture = button->get_child())
            AccessibleName::hide(*picture);
    }
}

void AppController::connectActions() {
    auto add = [this](const char* name, auto handler) {
        auto action = Gio::SimpleAction::create(name);
        action->signal_activate().connect([handler](const Glib::VariantBase&) { handler(); });
        application->add_action(action);
    };
    add("export", [this] {
        if (validateMenuItem("export"))
            exportFile(nullptr);
    });
    add("delete", [this] {
        if (validateMenuItem("delete"))
            deleteFile(nullptr);
    });
    add("toggle-download", [this] { toggleDownload(nullptr); });
    add("check-for-updates", [this] { checkForUpdates(nullptr); });
    add("support", [this] { support(nullptr); });
    add("quit", [this] { terminate(nullptr); });
    shopButton->signal_clicked().connect([this] { shop(shopButton); });
    connectStoreActions();
    connectTransport();
    connectCompanionControls();
    for (const auto& command : fileCommands)
        if (command.accelerator)
            application->set_accel_for_action(std::string("app.") + command.action,
                                              command.accelerator);
    for (const auto& command : applicationCommands)
        if (command.accelerator)
            application->set_accel_for_action(std::string("app.") + command.action,
                                              command.accelerator);
    mainWindow->signal_close_request().connect(
        [this] {
            if (applicationShouldTerminateAfterLastWindowClosed())
                terminate(nullptr);
            return false;
        },
        false);
}

void AppController::buildMenu() {
    fileMenu = Gio::Menu::create();
    for (const auto& command : fileCommands)
        fileMenu->append(command.label, std::string("app.") + command.action);
    auto applicationSection = Gio::Menu::create();
    for (const auto& command : applicationCommands)
        applicationSection->append(command.label, std::string("app.") + command.action);
    auto menu = Gio::Menu::create();
    menu->append_section(fileMenu);
    menu->append_section(applicationSection);
    menuButton->set_menu_model(menu);
    // Validation runs each time the menu is about to be shown.
    menuButton->set_create_popup_func([this] { validateMenus(); });
}

void AppController::awakeFromNib() {
    isLooping = isMoviePaused = isMovieFForward = isMovieReverse = false;
    lastPath.clear();
    lastMoviePath.clear();
    lastRowCount = 0;
    ignoreSelectionChange = appLaunched = false;
    appMode = browseMode;
    isTigerOrLater = false;

    if (!passesVersionGates())
        return;
    chooseProduct();
    if (terminating)
        return;
    configureProductControls();
    setUpControls();
    mainWindow->present();
    finishStartUp();
}

bool AppController::passesVersionGates() {
    if (auto system = VersionQuery::gestalt("sysv")) {
        if (*system <= 0x103F) {
            Alert::runAlertPanel(FrlcantRunTitle, FrlsystemTooOld, "Quit");
            terminate(nullptr);
            return false;
        }
        isTigerOrLater = true;
    }
    if (auto movieFramework = VersionQuery::gestalt("qtim")) {
        if ((*movieFramework >> 16) <= 0x06FF) {
            Alert::runAlertPanel(FrlcantRunTitle, FrlquickTimeTooOld, "Quit");
            terminate(nullptr);
            return false;
        }
    }
    return true;
}

void AppController::chooseProduct() {
    unsigned mask = detectProducts();
    if (mask == downloadStoreBit) {
        prodState = downloadStoreProduct;
        return;
    }
    showProductChooser(mask);
}

void AppController::configureProductControls() {
    mainWindow->set_title(productDisplayName());
    if (prodState == downloadStoreProduct) {
        shopButton->show();
        shopButton->set_sensitive(true);
        createButton->set_sensitive(false);
        return;
    }
    shopButton->hide();
    checkGarageBandVersion();
}

void AppController::setUpControls() {
    ImageView::initialize();
    // Only a cookie a run has stored can be left over.
    if (StoreSession::hasStoredCookies())
        CookieChecker::deleteLoginCookie();
    webView->widget().hide();
    movieView->show();
    for (auto* button : {backButton, forwardButton, homeButton, printButton})
        button->hide();
    backButton->set_sensitive(false);
    forwardButton->set_sensitive(false);
    homeButton->set_sensitive(true);
    setUpWebView();
    progressBar->set_opacity(0);
    progressBar->hide();
    storeStatus->hide();
    searchStore->hide();
    signInButton->hide();
    adjustFrameView(contentFrame());
    // The frame follows the content whenever the window changes size.
    frameView->signal_resize().connect([this](int, int) { adjustFrameView(contentFrame()); });
    statusView->hide();
    stopButton->hide();
    iconButton->hide();
    searchField->show();
    searchField->select_region(0, -1);
    configureBrowser();
    configureFileList();
    downloadBar->hide();
    downloadFrame->hide();
    downloadStatus->set_text("");
    downloadStatus->hide();
    createButton->set_sensitive(false);
    iPodButton->set_sensitive(false);
    albumButton->set_sensitive(false);
    if (!isTigerOrLater)
        searchField->set_sensitive(false);
    configureSearchField();
    // The layout's pictures: the buttons' looks before any movie is loaded.
    setButtonPictures(playButton, "play_active", "play_press");
    setButtonPictures(reverseButton, "rewind_off", "rewind_offpress");
    setButtonPictures(fforwardButton, "fastfwd_off", "fastfwd_offpress");
    setButtonPictures(loopButton, "loop_off", "loop_offpress");
}

void AppController::finishStartUp() {
    if (prodState != downloadStoreProduct) {
        refreshBrowserView(true);
        return;
    }
    if (Defaults::standard().boolForKey(FrlshowWelcomeSplash)) {
        launchFileNoPoster(Resources::pathForImageResource("Welcome"));
        return;
    }
    resumeDownloads();
    lifetime.post([this] {
        if (!terminating)
            restoreApplicationMode();
    });
}

void AppController::adjustFrameView(const Gdk::Rectangle& frame) {
    frameView->setFrame(Gdk::Rectangle(frame.get_x() - 1, frame.get_y() - 1, frame.get_width() + 2,
                                       frame.get_height() + 2));
}

Gdk::Rectangle AppController::contentFrame() {
    // The content fills the frame view's overlay less its margins; reading the frame view's own
    // size keeps this right while the overlay is still allocating its children.
    Gtk::Widget* content =
        webView->widget().is_visible() ? &webView->widget() : static_cast<Gtk::Widget*>(movieView);
    int x = content->get_margin_start();
    int y = content->get_margin_top();
    return Gdk::Rectangle(x, y, frameView->get_width() - x - content->get_margin_end(),
                          frameView->get_height() - y - content->get_margin_bottom());
}

std::string AppController::getRootDirectory() {
    if (!rootDirectory.empty())
        return rootDirectory;
    if (prodState == strumwellProduct) {
        rootDirectory = Paths::systemPath(FrlvideosShortPath);
    } else if (prodState == jamcroftProduct) {
        rootDirectory = Paths::systemPath(FrljamcroftShortPath);
    } else {
        rootDirectory = Paths::expandTilde(FrldownloadStoreShortPath);
        std::error_code ignored;
        // A fresh home may lack ~/Music, so the parent is made with its own parents.
        std::filesystem::create_directories(Paths::expandTilde(FrldownloadRootShortPath), ignored);
        std::filesystem::create_directory(rootDirectory, ignored);
    }
    return rootDirectory;
}

void AppController::chooseStrumwell() {
    prodState = strumwellProduct;
}

void AppController::chooseJamcroft() {
    prodState = jamcroftProduct;
}

void AppController::chooseDownloadStore() {
    prodState = downloadStoreProduct;
}

unsigned AppController::detectProducts() const {
    unsigned mask = downloadStoreBit;
    if (exists(Paths::systemPath(FrlvideosShortPath)))
        mask |= strumwellBit;
    if (exists(Paths::systemPath(FrljamcroftShortPath)))
        mask |= jamcroftBit;
    return mask;
}

void AppController::showProductChooser(unsigned productMask) {
    if (!pChooser) {
        pChooser = std::make_unique<ProductChooser>();
        pChooser->setHiddenStrumwellButton((productMask & strumwellBit) != 0);
        pChooser->setHiddenJamcroftButton((productMask & jamcroftBit) != 0);
        pChooser->setHiddenDownloadStoreButton((productMask & downloadStoreBit) != 0);
    }
    pChooser->setAppController(this);
    Gtk::Window* chooserWindow = pChooser->window();
    if (!chooserWindow) {
        // Without its layout the chooser cannot ask: open the first installed library instead.
        prodState = (productMask & strumwellBit)  ? strumwellProduct
                    : (productMask & jamcroftBit) ? jamcroftProduct
                                                  : downloadStoreProduct;
        return;
    }
    application->add_window(*chooserWindow);
    ModalSession session(*chooserWindow);
    while (session.runModalSession())
        continue;
    application->remove_window(*chooserWindow);
}

std::string AppController::productDisplayName() const {
    switch (prodState) {
    case strumwellProduct:
        return "Strumwell";
    case jamcroftProduct:
        return "Jamcroft";
    default:
        return "Download Store";
    }
}

void AppController::restoreApplicationMode() {
    bool shop = Defaults::standard().boolForKey(FrlsaveApplicationMode);
    if (shop)
        setShopMode();
    refreshBrowserView(!shop);
}

bool AppController::validateMenuItem(const std::string& action) {
    if (action == "export" || action == "delete")
        return !getCurrentSelectionPath().empty();
    return true;
}

std::string AppController::toggleDownloadTitle() const {
    return canPauseDownloads() ? "Pause Download" : "Resume Download";
}

void AppController::validateMenus() {
    for (const auto& command : fileCommands) {
        auto action = std::dynamic_pointer_cast<Gio::SimpleAction>(
            application->lookup_action(command.action));
        if (action)
            action->set_enabled(validateMenuItem(command.action));
    }
    for (int index = 0; index < fileMenu->get_n_items(); ++index) {
        auto target = fileMenu->get_item_attribute(index, Gio::MenuModel::Attribute::ACTION,
                                                   Glib::VariantType("s"));
        auto name = Glib::VariantBase::cast_dynamic<Glib::Variant<Glib::ustring>>(target).get();
        if (name != "app.toggle-download")
            continue;
        fileMenu->remove(index);
        fileMenu->insert(index, toggleDownloadTitle(), name);
        return;
    }
}

void AppController::checkForUpdates(Gtk::Widget*) {
    Workspace::openURL(StoreHost::url(FrlupdatesURL) + getMyVersionString());
}

void AppController::support(Gtk::Widget*) {
    Workspace::openURL(StoreHost::url(FrlsupportURL));
}

std::string AppController::getMyVersionString() {
    return Resources::objectForInfoDictionaryKey("CFBundleShortVersionString");
}

void AppController::terminate(Gtk::Widget*) {
    if (terminating || !applicationShouldTerminate())
        return;
    terminating = true;
    ModalSession::stopModal();
    applicationWillTerminate();
    application->quit();
}

void AppController::applicationWillTerminate() {
    if (terminated)
        return;
    terminated = true;
    cancelDescriptionTransfer();
    rememberPractice();
    DownloadController::sharedInstance(this).pauseDownloads();
    deleteLoginCookieBeforeQuitting();
    Defaults::standard().synchronize();
}
