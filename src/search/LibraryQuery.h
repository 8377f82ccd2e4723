#pragma once

#include "search/SearchWorker.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One search of the library, as the window runs it: made from the typed text, limited to one
// folder, run on the search worker, observed on the main thread while hits are counted and when
// the sorted list is ready. Destroying it stops observing and drops the answer if it is still
// on its way. Lives on the main thread.
class LibraryQuery {
public:
    // Nothing when the text holds no word.
    static std::unique_ptr<LibraryQuery> create(const std::string& text);
    ~LibraryQuery();
    LibraryQuery(const LibraryQuery&) = delete;
    LibraryQuery& operator=(const LibraryQuery&) = delete;

    void setSearchScope(const std::string& folder) { scope = folder; }
    // Starts the search and returns at once.
    void execute(SearchWorker& worker);

    // The hits so far while running; once finished, the number of paths.
    std::int64_t resultCount() const { return count; }
    bool isFinished() const { return finished; }
    // Sorted by display name.
    const std::vector<std::string>& results() const { return paths; }

    // Observers: progress while hits are counted, then finish once.
    std::function<void(LibraryQuery*)> progressObserver;
    std::function<void(LibraryQuery*)> finishObserver;

private:
    explicit LibraryQuery(std::string expression);
    void notify(const std::function<void(LibraryQuery*)>& observer);

    std::string expression;
    std::string scope;
    std::shared_ptr<SearchTicket> ticket = std::make_shared<SearchTicket>();
    std::int64_t count = 0;
    bool finished = false;
    std::vector<std::string> paths;
};
