#include "search/SearchWorker.h"

#include "platform/MainThread.h"
#include "search/LibraryIndex.h"

#include <glib.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Indexing yields to playback and the window.
constexpr int workerNiceness = 10;

} // namespace

SearchWorker::SearchWorker() : thread([this] { run(); }) {}

SearchWorker::~SearchWorker() {
    {
        std::lock_guard guard(lock);
        stopping = true;
    }
    wake.notify_all();
    thread.join();
}

void SearchWorker::submit(Request request) {
    {
        std::lock_guard guard(lock);
        pending = std::move(request);
        newerRequest = true;
    }
    wake.notify_all();
}

void SearchWorker::prepare(const std::string& root) {
    {
        std::lock_guard guard(lock);
        if (pending)
            return;
        pending.emplace();
        pending->root = root;
    }
    wake.notify_all();
}

void SearchWorker::run() {
    pthread_setname_np(pthread_self(), "library index");
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), workerNiceness);
    for (;;) {
        Request request;
        {
            std::unique_lock guard(lock);
            wake.wait(guard, [this] { return stopping || pending; });
            if (stopping)
                return;
            request = std::move(*pending);
            pending.reset();
            newerRequest = false;
        }
        perform(request);
    }
}

bool SearchWorker::isCancelled(const Request& request) const {
    return stopping || newerRequest || request.ticket->cancelled;
}

void SearchWorker::deliver(const Request& request, std::function<void()> work) {
    postToMainThread([ticket = request.ticket, work = std::move(work)] {
        if (!ticket->cancelled)
            work();
    });
}

// A failing index file is thrown away and built again once; should that fail too, the search
// ends with nothing found rather than never.
void SearchWorker::perform(const Request& request) {
    if (!index || index->root() != LibraryIndex::normalizedRoot(request.root))
        index = std::make_unique<LibraryIndex>(request.root);
    if (attempt(request) || isCancelled(request))
        return;
    g_message("library index: rebuilding the index of %s", index->root().c_str());
    index->rebuild();
    if (attempt(request) || isCancelled(request))
        return;
    if (!request.expression.empty())
        deliver(request, [finish = request.finish] { finish({}); });
}

bool SearchWorker::attempt(const Request& request) {
    auto cancelled = [&] { return isCancelled(request); };
    auto tell = [&] {
        if (!request.expression.empty())
            deliver(request,
                    [progress = request.progress, count = index->countMatches(request.expression)] {
                        progress(count);
                    });
    };
    if (!index->refresh(cancelled, tell))
        return false;
    if (request.expression.empty())
        return true;
    std::vector<std::string> paths;
    if (!index->search(request.expression, cancelled, paths))
        return false;
    deliver(request, [progress = request.progress, count = paths.size()] {
        progress(static_cast<std::int64_t>(count));
    });
    deliver(request, [finish = request.finish, paths = std::move(paths)]() mutable {
        finish(std::move(paths));
    });
    return true;
}
