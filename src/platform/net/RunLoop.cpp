#include "platform/net/RunLoop.h"

namespace {

// Cancelled operations still owe one completion each; letting them run frees what they hold.
constexpr int drainLimit = 1000;

gboolean markExpired(gpointer flag) {
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
}

} // namespace

RunLoop::RunLoop() : context(g_main_context_new()) {
    g_main_context_push_thread_default(context);
}

RunLoop::~RunLoop() {
    for (int i = 0; i < drainLimit && g_main_context_iteration(context, FALSE); ++i) {
    }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
}

void RunLoop::run() {
    while (!stopRequested.exchange(false))
        g_main_context_iteration(context, TRUE);
}

void RunLoop::stop() {
    stopRequested = true;
    g_main_context_wakeup(context);
}

void RunLoop::runMainContextFor(std::chrono::milliseconds slice) {
    bool expired = false;
    GSource* timer = g_timeout_source_new(static_cast<guint>(slice.count()));
    g_source_set_callback(timer, markExpired, &expired, nullptr);
    g_source_attach(timer, g_main_context_default());
    while (!expired)
        g_main_context_iteration(g_main_context_default(), TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
}
