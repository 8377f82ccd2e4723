#include "platform/MainThread.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <glib.h>
#include <mutex>
#include <thread>

namespace {

std::atomic<std::thread::id> mainThreadId{std::this_thread::get_id()};

// Work waiting for the main thread, and whether a dispatch of it is already scheduled.
std::mutex postedLock;
std::deque<std::function<void()>> posted;
bool dispatchScheduled = false;

// Runs what was queued when it started; work posted meanwhile waits for the next turn of the
// loop, so a busy poster never starves the rest of the main loop.
gboolean runPosted(gpointer) {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard held(postedLock);
        batch.swap(posted);
    }
    for (auto& work : batch)
        work();
    std::lock_guard held(postedLock);
    if (!posted.empty())
        return G_SOURCE_CONTINUE;
    dispatchScheduled = false;
    return G_SOURCE_REMOVE;
}

} // namespace

void MainThread::adopt() {
    mainThreadId = std::this_thread::get_id();
}

bool MainThread::isCurrent() {
    return mainThreadId.load() == std::this_thread::get_id();
}

void MainThread::assertCurrent(const char* where) {
    if (isCurrent())
        return;
    std::fprintf(stderr, "%s must run on the main thread\n", where);
    std::abort();
}

void postToMainThread(std::function<void()> work) {
    {
        std::lock_guard held(postedLock);
        posted.push_back(std::move(work));
        if (dispatchScheduled)
            return;
        dispatchScheduled = true;
    }
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runPosted, nullptr, nullptr);
    g_source_attach(source, g_main_context_default());
    g_source_unref(source);
}

std::function<void()> LifetimeToken::guard(std::function<void()> work) const {
    return [alive = alive, work = std::move(work)] {
        if (*alive)
            work();
    };
}

void LifetimeToken::post(std::function<void()> work) const {
    postToMainThread([alive = alive, work = std::move(work)] {
        if (*alive)
            work();
    });
}
