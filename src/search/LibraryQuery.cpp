#include "search/LibraryQuery.h"

#include "platform/MainThread.h"
#include "search/SearchTerms.h"

std::unique_ptr<LibraryQuery> LibraryQuery::create(const std::string& text) {
    std::string expression = SearchTerms::matchExpression(text);
    if (expression.empty())
        return nullptr;
    return std::unique_ptr<LibraryQuery>(new LibraryQuery(std::move(expression)));
}

LibraryQuery::LibraryQuery(std::string matchExpression) : expression(std::move(matchExpression)) {}

LibraryQuery::~LibraryQuery() {
    MainThread::assertCurrent("LibraryQuery");
    ticket->cancelled = true;
}

void LibraryQuery::execute(SearchWorker& worker) {
    SearchWorker::Request request;
    request.root = scope;
    request.expression = expression;
    request.ticket = ticket;
    // The worker drops these once the ticket is cancelled, which the destructor does.
    request.progress = [this](std::int64_t hits) {
        count = hits;
        notify(progressObserver);
    };
    request.finish = [this](std::vector<std::string> found) {
        paths = std::move(found);
        count = static_cast<std::int64_t>(paths.size());
        finished = true;
        notify(finishObserver);
    };
    worker.submit(std::move(request));
}

// The observer may destroy this query; a copy of it outlives the call.
void LibraryQuery::notify(const std::function<void(LibraryQuery*)>& observer) {
    auto call = observer;
    if (call)
        call(this);
}
