#pragma once

#include "download/DownloadProgressDelegate.h"
#include "library/FSNodeInfo.h"
#include "library/LibraryRoot.h"
#include "platform/MainThread.h"
#include "platform/net/Transfer.h"
#include "platform/ui/ColumnBrowserDelegate.h"
#include "platform/ui/TableViewDelegate.h"
#include "practice/LessonIdentity.h"
#include "practice/LessonPractice.h"
#include "practice/MprisPlayer.h"
#include "rowviews/SubviewTableViewControllerDataSourceProtocol.h"
#include "search/LibraryQuery.h"
#include "store/StoreDelegate.h"
#include "store/WebView.h"

#include <cstdint>
#include <gdkmm/enums.h>
#include <giomm/menu.h>
#include <glibmm/refptr.h>
#include <gtkmm/builder.h>
#include <map>
#include <memory>
#include <optional>
#include <sigc++/connection.h>
#include <string>
#include <vector>

namespace Gtk {
class Application;
class ApplicationWindow;
class Box;
class Button;
class ColumnView;
class DrawingArea;
class Label;
class EventControllerKey;
class MenuButton;
class ProgressBar;
class Scale;
class SearchEntry;
class ShortcutsWindow;
class SpinButton;
class ToggleButton;
class Widget;
} // namespace Gtk
namespace Gdk {
class Rectangle;
}

class ColumnBrowser;
class FrameView;
class SubviewController;
class SubviewTableViewController;
class TableView;
class FrlQTMovie;
class QTMovieView;
class ProductChooser;
class StatusView;
class CookieChecker;
class SigninRequest;
struct SigninAnswer;
class ExportDialog;
class MprisService;
class PracticeMemory;
class SectionBand;
class SectionList;

// The one controller of the main window. Each concern lives in a file of its own beside this
// header (AppControllerTransport.cpp, AppControllerLibrary.cpp ...); AppController.cpp holds
// start-up, modes, menus and termination.
class AppController : public DownloadProgressDelegate,
                      public LibraryRoot,
                      public ColumnBrowserDelegate,
                      public SubviewTableViewControllerDataSourceProtocol,
                      public TableViewProtocol::NumberOfRowsInTableView,
                      public TableViewProtocol::ObjectValueForTableColumn,
                      public TableViewProtocol::WillDisplayCell,
                      public TableViewProtocol::TableViewSelectionDidChange,
                      public WebViewDelegate,
                      public StoreDelegate,
                      public MprisPlayer,
                      private TransferDelegate {
public:
    // Product modes.
    static constexpr int strumwellProduct = 0;
    static constexpr int jamcroftProduct = 1;
    static constexpr int downloadStoreProduct = 2;
    // Application modes.
    static constexpr int browseMode = 0;
    static constexpr int searchResultsMode = 1;
    static constexpr int shopMode = 2;
    // Product mask bits.
    static constexpr unsigned strumwellBit = 1;
    static constexpr unsigned jamcroftBit = 2;
    static constexpr unsigned downloadStoreBit = 4;

    // Loads the main window's layout; start-up itself is awakeFromNib.
    explicit AppController(const Glib::RefPtr<Gtk::Application>& application);
    ~AppController() override;
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    // Registers the defaults, once per process.
    static void initialize();

    void awakeFromNib();
    Gtk::ApplicationWindow* window() const { return mainWindow.get(); }
    bool isTerminating() const { return terminating; }

    void adjustFrameView(const Gdk::Rectangle& frame);
    // The shown content's rectangle (movie or store) in the frame view's coordinates.
    Gdk::Rectangle contentFrame();
    std::string getRootDirectory() override;
    void chooseStrumwell();
    void chooseJamcroft();
    void chooseDownloadStore();
    unsigned detectProducts() const;
    void showProductChooser(unsigned productMask);
    void restoreApplicationMode();
    std::string productDisplayName() const;

    // Menu validation: answers whether the command is enabled, and keeps the menu's labels current.
    bool validateMenuItem(const std::string& action);
    void validateMenus();
    std::string toggleDownloadTitle() const;

    void checkForUpdates(Gtk::Widget* sender);
    void support(Gtk::Widget* sender);
    static std::string getMyVersionString();
    void terminate(Gtk::Widget* sender);

    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }
    bool applicationShouldTerminate() const { return true; }
    void applicationWillTerminate();

    // Operations of other subsystems that start-up and menus call.
    void refreshBrowserView(bool reselectRow);
    bool launchFileNoPoster(const std::string& path);
    void checkGarageBandVersion();
    void setShopMode();
    void setBrowseMode();
    void shop(Gtk::Widget* sender);
    // The web view and the store's navigation, search, sign-in and status controls.
    void setStoreControlsVisible(bool visible);

    // The store: its view, navigation, search, printing and status bar.
    void setUpWebView();
    void loadURL(const std::string& url);
    void reloadForm();
    void goHome(Gtk::Widget* sender);
    void goBack(Gtk::Widget* sender);
    void goForward(Gtk::Widget* sender);
    void stopLoading(Gtk::Widget* sender);
    void searchForItemInStore(const std::string& text);
    void printPage(Gtk::Widget* sender);
    // Store pages are https pages of the store host.
    static bool isStorePage(const std::string& url);
    void didStartProvisionalLoadForFrame(WebView& sender) override;
    void didFinishLoadForFrame(WebView& sender) override;
    void didFailProvisionalLoadWithError(WebView& sender, const std::string& error) override;
    void didFailLoadWithError(WebView& sender, const std::string& error) override;
    void didReceiveTitle(WebView& sender, const std::string& title) override;
    void runJavaScriptAlertPanelWithMessage(WebView& sender, const std::string& message) override;
    WebView* createWebViewWithRequest(WebView& sender, const std::string& url) override;
    void webViewShow(WebView& sender) override;
    void webViewClose(WebView& sender) override;
    bool decidePolicyForNavigationAction(WebView& sender, const std::string& url,
                                         bool linkClicked) override;
    bool decidePolicyForMIMEType(WebView& sender, const std::string& mimeType) override;
    bool decidePolicyForNewWindowAction(WebView& sender, const std::string& url) override;

    // Signing in and the login state.
    Gtk::Window* storeWindow() const override;
    void login(const std::string& email, const std::string& password) override;
    static std::string urlEncodeValue(const std::string& value);
    void forgotPassword() override;
    void createAccount() override;
    void logoff();
    void showSigninPanel();
    void signIn(Gtk::Widget* sender);
    void setLoginState(bool state) override;

    // Opening items.
    bool launchFile(const std::string& path, bool showPosterOnly);

    // Transport.
    bool playMovieFile(const std::string& path, bool showOnlyPoster);
    void showUnplayableFile(const std::string& path, const std::string& reason);
    bool playCurrentSelection(bool posterOnly);
    bool playNextSelection();
    void togglePlay(Gtk::Widget* sender);
    void reverse(Gtk::Widget* sender);
    void fastForward(Gtk::Widget* sender);
    void loop(Gtk::Widget* sender);
    void adjustMovieRate(Gtk::Widget* sender);
    void setupControlsForNewMovie();
    void restartMovie();
    void stopMovie();
    void pauseMovie();
    void pauseIfPlaying();
    bool isMoviePlaying() const;
    void adjustMovieRateToCurrentSliderSetting();
    void adjustTimeDisplayForCurrentMovie();
    void clearTimeDisplayForCurrentMovie();
    void setPlayButtonOn();
    void setPlayButtonOff();
    // The button's picture and tooltip only: Play when `play`, else Pause.
    void showPlayButtonAs(bool play);
    void setLoopButtonOn();
    void setLoopButtonOff();
    void setReverseButtonOn();
    void setReverseButtonOff();
    void setFforwardButtonOn();
    void setFforwardButtonOff();
    void clearButtonStates();
    FrlQTMovie* currentMovie() const;
    float sliderRate() const;

    // Practice (AppControllerPractice.cpp): the shown lesson's sections, speed trainer, mirror
    // and rate, remembered per lesson; the player's keys; the media-player service.
    void connectPractice();
    void setSectionStart(Gtk::Widget* sender);
    void setSectionEnd(Gtk::Widget* sender);
    void toggleSectionLoop(Gtk::Widget* sender);
    void addSection(Gtk::Widget* sender);
    void renameSection(int index, const std::string& name);
    void removeSection(int index);
    void pickSection(int index);
    void moveSectionEdge(bool start, double seconds, bool finished);
    void toggleSpeedTrainer(Gtk::Widget* sender);
    void speedTrainerSettingsChanged();
    void sectionDidLoop();
    void setTrainerRate(double rate);
    void toggleMirror(Gtk::Widget* sender);
    void changeRateBy(double step);
    void resetRate();
    void seekBy(double seconds);
    void stepFrame(int frames);
    void goToSectionStart();
    bool practiceKeyPressed(guint key, guint keycode, Gdk::ModifierType state);
    void showShortcuts(Gtk::Widget* sender);
    void connectPractisedColumn();
    void restorePractice(bool showOnlyPoster);
    void openPractice(FrlQTMovie& movie);
    void rememberPractice();
    void practiceTick(FrlQTMovie* movie);
    void sectionsChanged();
    void applyPracticeToMovie();
    void showPractice();
    void showSections();
    void showPractisedTime();
    void setSliderRateQuietly(double rate);
    void rateChanged();
    std::optional<std::string> practisedColumnValue(Gtk::ColumnViewColumn* column,
                                                    const std::string& path);
    bool playPreviousSelection();
    MprisState mprisState() override;
    void mprisRaise() override;
    void mprisQuit() override;
    void mprisPlayPause() override;
    void mprisPlay() override;
    void mprisPause() override;
    void mprisStop() override;
    void mprisNext() override;
    void mprisPrevious() override;
    void mprisSeek(std::int64_t offsetUs) override;
    void mprisSetPosition(std::int64_t positionUs) override;
    void mprisSetRate(double rate) override;
    void mprisSetLoopStatus(const std::string& loopStatus) override;
    void mprisSetVolume(double volume) override;

    // Movie callbacks.
    void enableMovieCallbacksForCurrentMovie();
    void moviePlayingCallBack(FrlQTMovie* movie);
    void movieStoppedCallBack(FrlQTMovie* movie);
    void movieDidEndCallBack(FrlQTMovie* movie);

    // The file list's selection, as the transport moves it.
    int selectedFileListRow() const;
    void selectFileListRow(int row);
    int fileListRowCount() const;

    // Library browser.
    void configureBrowser();
    void reloadData(Gtk::Widget* sender);
    std::string fsPathToColumn(int column);
    int numberOfRowsInColumn(ColumnBrowser* browser, int column) override;
    void willDisplayCell(ColumnBrowser* browser, BrowserCell* cell, int row, int column) override;
    void browserSingleClick(ColumnBrowser* browser);
    void browserDoubleClick(ColumnBrowser* browser);
    const char* savedPathKey() const;
    const char* savedSelectionKey() const;

    // File list.
    void configureFileList();
    void addRows(const FSNodeInfoArray* nodes);
    bool rowStatus(const std::string& path);
    Gtk::Widget* viewForRow(TableView* tableView, std::int32_t row) override;
    int numberOfRowsInTableView(TableView* tableView) override;
    std::optional<std::string> objectValueForTableColumn(TableView* tableView,
                                                         Gtk::ColumnViewColumn* tableColumn,
                                                         int row) override;
    void willDisplayCell(TableView* tableView, Gtk::Widget* cell,
                         Gtk::ColumnViewColumn* tableColumn, int row) override;
    void tableViewSelectionDidChange(TableView* notification) override;
    void tableDoubleClick(TableView* sender);
    void resumeDownloads();
    void resumeSheetDidDismiss(int returnCode);
    bool canPauseDownloads() const;
    void toggleDownload(Gtk::Widget* sender);

    // The store's download hand-off and the progress display.
    std::optional<std::string> findDownloadHeaders(WebView* sender);
    bool beginDownload(const std::string& query);
    std::string outputPathForURLString(const std::string& urlString);
    void startDownloadProgress(const std::string& path) override;
    void updateDownloadProgress(double percent) override;
    void endDownloadProgress() override;
    void exportFile(Gtk::Widget* sender);
    void deleteFile(Gtk::Widget* sender);
    std::string getCurrentSelectionPath() const;

    Glib::RefPtr<Gtk::Builder> builder;
    Glib::RefPtr<Gtk::Application> application;
    Glib::RefPtr<Gio::Menu> fileMenu;

    // Controls of the main window.
    ColumnBrowser* fsBrowser = nullptr;
    Gtk::Button* playButton = nullptr;
    Gtk::Button* reverseButton = nullptr;
    Gtk::Button* fforwardButton = nullptr;
    Gtk::Button* loopButton = nullptr;
    Gtk::Button* createButton = nullptr;
    Gtk::Button* iPodButton = nullptr;
    Gtk::Button* shopButton = nullptr;
    Gtk::Button* backButton = nullptr;
    Gtk::Button* forwardButton = nullptr;
    Gtk::Button* homeButton = nullptr;
    Gtk::Button* signInButton = nullptr;
    Gtk::Button* printButton = nullptr;
    TableView* resultsView = nullptr;
    Gtk::Label* resultsTitle = nullptr;
    Gtk::SearchEntry* searchField = nullptr;
    Gtk::Label* searchResults = nullptr;
    Gtk::SearchEntry* searchStore = nullptr;
    QTMovieView* movieView = nullptr;
    Gtk::Label* movieTime = nullptr;
    Gtk::Scale* movieRateSlider = nullptr;
    std::unique_ptr<WebView> webView;
    FrameView* frameView = nullptr;
    StatusView* statusView = nullptr;
    Gtk::Button* stopButton = nullptr;
    Gtk::Button* iconButton = nullptr;
    Gtk::ProgressBar* progressBar = nullptr;
    Gtk::Label* storeStatus = nullptr;
    Gtk::ProgressBar* downloadBar = nullptr;
    Gtk::Label* downloadStatus = nullptr;
    FrameView* downloadFrame = nullptr;
    Gtk::MenuButton* menuButton = nullptr;
    std::unique_ptr<Gtk::ApplicationWindow> mainWindow;

    // Application shell.
    std::unique_ptr<ProductChooser> pChooser;
    std::int32_t prodState = strumwellProduct;
    bool isTigerOrLater = false;
    bool hasGarageBand3 = false;
    bool showCreateGBDialog = false;
    bool showWarningGBDialog = false;

    // Transport.
    bool isLooping = false;
    bool isMoviePaused = false;
    bool isMovieFForward = false;
    bool isMovieReverse = false;
    bool ignoreSelectionChange = false;
    bool appLaunched = false;

    // Store.
    bool loginState = false;
    std::int32_t appMode = browseMode;

    // Library.
    std::string rootDirectory;
    std::int32_t lastRowCount = 0;
    std::string lastPath;
    std::string lastMoviePath;
    std::unique_ptr<FrlQTMovie> lastMovie;
    std::optional<FSNodeInfoArray> lastVisNodes;
    // The browser column listed last, kept from its row count to its cells.
    std::map<int, FSNodeInfoArray> columnListings;

    // File list rows.
    Gtk::ColumnViewColumn* subviewTableColumn = nullptr;
    std::vector<std::unique_ptr<SubviewController>> subviewControllers;
    std::unique_ptr<SubviewTableViewController> tableViewController;

    // Download hand-off.
    std::unique_ptr<Transfer> downloader;
    std::string outputPath;

    // Library search.
    void configureSearchField();
    void search(Gtk::SearchEntry* sender);
    void updateData(LibraryQuery* notification);
    void queryDone(LibraryQuery* notification);
    // Escape, or a cleared search field, brings back the files of the browsed folder.
    void endSearch();
    std::unique_ptr<SearchWorker> searchWorker = std::make_unique<SearchWorker>();
    std::unique_ptr<LibraryQuery> query;
    // The text last searched for, so that the pause after typing does not search it again.
    std::string lastSearchText;
    std::vector<sigc::connection> searchConnections;
    // Companion files and export (AppControllerCompanion.cpp).
    std::string getGarageBandPathForCurrentSelection() const;
    std::string getiPodPathForCurrentSelection() const;
    static std::optional<std::string> getGBVersionString();
    void create(Gtk::Widget* sender);
    // contextInfo: the state of the sheet's check box.
    void gbAlertDidEnd(int returnCode, std::optional<bool> contextInfo);
    void exportForiPod(Gtk::Widget* sender);
    void download(Gtk::Widget* sender);
    void callAddToiTunes(const std::string& handler, const std::string& withFileName);
    bool selectionHasAlbum() const;
    void connectCompanionControls();
    // A finished export into the listed folder appears in the file list.
    void showExportedFile(const std::string& path);
    // Create, iPod and Album follow the file list's selection.
    void enableCompanionControls();
    Gtk::Button* albumButton = nullptr;
    std::unique_ptr<ExportDialog> exportDialog;
    // Practice.
    Gtk::Button* sectionStartButton = nullptr;
    Gtk::Button* sectionEndButton = nullptr;
    Gtk::ToggleButton* sectionLoopButton = nullptr;
    Gtk::MenuButton* sectionsButton = nullptr;
    SectionList* sectionList = nullptr;
    Gtk::ToggleButton* trainerButton = nullptr;
    Gtk::MenuButton* trainerSettingsButton = nullptr;
    Gtk::SpinButton* trainerStartField = nullptr;
    Gtk::SpinButton* trainerStepField = nullptr;
    Gtk::SpinButton* trainerTargetField = nullptr;
    Gtk::Label* trainerStatus = nullptr;
    Gtk::Label* rateDisplay = nullptr;
    Gtk::ToggleButton* mirrorButton = nullptr;
    SectionBand* sectionBand = nullptr;
    Glib::RefPtr<Gtk::EventControllerKey> practiceKeys;
    std::unique_ptr<Gtk::ShortcutsWindow> shortcutsWindow;
    std::unique_ptr<PracticeMemory> practiceMemory;
    std::unique_ptr<MprisService> mprisService;
    // The shown lesson and its practice; where its next play starts, once.
    std::optional<LessonIdentity> practiceLesson;
    LessonPractice practice;
    std::optional<std::int64_t> resumeAtNs;
    std::int64_t lastPracticeTickUs = 0;
    std::int64_t lastPracticeSaveUs = 0;
    bool lessonPlayed = false;
    bool trainerSettingRate = false;
    bool showingPractice = false;
    // Store.
    std::unique_ptr<CookieChecker> cookieChecker;

private:
    void loadLayout();
    void nameControlsForScreenReaders();
    template <typename T> T* control(const char* name);
    template <typename T> T* derivedControl(const char* name);
    void connectActions();
    void buildMenu();
    void setUpControls();
    void setButtonPictures(Gtk::Button* button, const char* image, const char* alternateImage);
    void connectTransport();
    bool passesVersionGates();
    void chooseProduct();
    void configureProductControls();
    void finishStartUp();

    void decideDestinationWithSuggestedFilename(Transfer& download,
                                                const std::string& filename) override;
    void didReceiveResponse(Transfer& download, const TransferResponse& response) override;
    void didReceiveDataOfLength(Transfer& download, std::uint32_t length) override;
    void downloadDidFinish(Transfer& download) override;
    // Stops the description transfer in progress and deletes what it had written.
    void cancelDescriptionTransfer();

    // The store's keyboard commands and status bar.
    void connectStoreActions();
    void updateStoreActions();
    void setStoreStatusLoading();
    void setStoreStatusIdle();
    void signinAnswered(const SigninAnswer& answer);
    void showSigninAnswer(const SigninAnswer& answer);
    void deleteLoginCookieBeforeQuitting();
    Gtk::Window* windowOf(WebView& view) const;

    // Each transport button's picture and its pressed picture.
    std::map<Gtk::Button*, std::pair<std::string, std::string>> buttonPictures;
    bool terminating = false;
    bool terminated = false;
    // Which description transfer is the current one: a finish of an older one is not handed on.
    std::uint64_t descriptionGeneration = 0;
    std::int64_t descriptionBytes = 0;
    std::unique_ptr<SigninRequest> signinRequest;
    sigc::connection progressAnimation;
    // Work this controller posts to the main thread is dropped once it is gone.
    LifetimeToken lifetime;
};
