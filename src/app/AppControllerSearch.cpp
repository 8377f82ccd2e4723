#include "app/AppController.h"

#include "app/FrlConstants.h"
#include "platform/Defaults.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"
#include "rowviews/SubviewTableViewController.h"
#include "search/SearchTerms.h"

#include <giomm/simpleaction.h>
#include <gtkmm/application.h>
#include <gtkmm/label.h>
#include <gtkmm/searchentry.h>

namespace {

const char* const FrlsearchingTitle = "Searching...";
const char* const FrlsearchResultsTitle = "Results of search: ";
// The progress title gains a dot per hit and starts again after this many.
constexpr std::int64_t progressDotsCycle = 25;
// How long typing must pause before the search starts, in milliseconds.
constexpr unsigned typingPause = 300;

} // namespace

void AppController::configureSearchField() {
    searchField->set_search_delay(typingPause);
    // The field may outlive this controller with a delayed change pending; the destructor cuts it.
    searchConnections.push_back(searchField->signal_search_changed().connect([this] {
        std::string text = searchField->get_text();
        if (text.empty())
            endSearch();
        else if (!SearchTerms::words(text).empty() && (text != lastSearchText || !lastPath.empty()))
            search(searchField);
    }));
    searchConnections.push_back(
        searchField->signal_activate().connect([this] { search(searchField); }));
    searchConnections.push_back(searchField->signal_stop_search().connect([this] {
        searchField->set_text("");
        endSearch();
    }));
    auto find = Gio::SimpleAction::create("find");
    find->signal_activate().connect([this](const Glib::VariantBase&) {
        if (searchField->is_visible() && searchField->is_sensitive())
            searchField->grab_focus();
    });
    application->add_action(find);
    application->set_accel_for_action("app.find", "<Control>f");
    // The index is brought up to date while the user browses, so the first search is quick.
    if (searchField->is_sensitive())
        searchWorker->prepare(getRootDirectory());
}

void AppController::search(Gtk::SearchEntry* sender) {
    std::string text = (sender ? sender : searchField)->get_text();
    if (text.empty())
        return;
    pauseIfPlaying();
    lastMoviePath.clear();
    lastPath.clear();
    lastVisNodes.reset();
    addRows(nullptr);
    fsBrowser->setPath(FrlrootFolder);
    searchResults->set_text("");
    resultsTitle->set_text("");
    lastRowCount = 0;
    tableViewController->reloadTableView();
    // An unfinished earlier search is dropped without results.
    query.reset();
    lastSearchText = text;
    query = LibraryQuery::create(text);
    if (!query)
        return;
    query->finishObserver = [this](LibraryQuery* notification) { queryDone(notification); };
    query->progressObserver = [this](LibraryQuery* notification) { updateData(notification); };
    query->setSearchScope(getRootDirectory());
    resultsTitle->set_text(FrlsearchingTitle);
    query->execute(*searchWorker);
}

void AppController::updateData(LibraryQuery* notification) {
    std::int64_t dots = notification->resultCount() % progressDotsCycle;
    std::string title = FrlsearchingTitle;
    title.append(static_cast<std::size_t>(dots == 0 ? 1 : dots), '.');
    resultsTitle->set_text(title);
}

void AppController::queryDone(LibraryQuery* notification) {
    const std::vector<std::string>& paths = notification->results();
    lastMoviePath.clear();
    lastPath.clear();
    lastVisNodes.reset();
    if (!paths.empty()) {
        lastVisNodes.emplace();
        lastVisNodes->reserve(paths.size());
        // Folders and hidden items are hits of the index but not rows of the list.
        for (const std::string& path : paths) {
            auto node = FSNodeInfo::nodeWithParent(nullptr, path, this);
            if (node && !node->isDirectory() && node->isVisible())
                lastVisNodes->push_back(std::move(node));
        }
    }
    lastRowCount = lastVisNodes ? static_cast<std::int32_t>(lastVisNodes->size()) : 0;
    addRows(lastVisNodes ? &*lastVisNodes : nullptr);
    appMode = searchResultsMode;
    searchResults->set_text(std::to_string(lastRowCount) + " " +
                            (lastRowCount == 1 ? "item" : "items"));
    resultsTitle->set_text(FrlsearchResultsTitle);
    tableViewController->reloadTableView();
    if (lastRowCount > 0) {
        resultsView->deselectAll();
        resultsView->scrollRowToVisible(0);
    }
    query.reset();
}

void AppController::endSearch() {
    // Nothing was searched, or a browser click has set lastPath since: the browsed folder shows
    // already (and at start-up the file list may not exist yet).
    if (!lastPath.empty() || lastSearchText.empty())
        return;
    lastSearchText.clear();
    query.reset();
    lastVisNodes.reset();
    lastRowCount = 0;
    addRows(nullptr);
    searchResults->set_text("");
    resultsTitle->set_text("");
    if (appMode == searchResultsMode)
        appMode = browseMode;
    fsBrowser->setPath(Defaults::standard().stringForKey(savedPathKey()));
    browserSingleClick(fsBrowser);
}
