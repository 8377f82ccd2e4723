#include "platform/MainThread.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <glib.h>
#include <thread>

namespace {

std::atomic<std::thread::id> mainThreadId{std::this_thread::get_id()};

gboolean runPosted(gpointer data) {
    auto* work = static_cast<std::function<void()>*>(data);
    (*work)();
    return G_SOURCE_REMOVE;
}

void deletePosted(gpointer data) {
    delete static_cast<std::function<void()>*>(data);
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
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runPosted, new std::function<void()>(std::move(work)),
                          deletePosted);
    g_source_attach(source, g_main_context_default());
    g_source_unref(source);
}
