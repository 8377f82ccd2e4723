#pragma once

#include <functional>

// The main thread is the one that runs the default GMainContext. Other threads reach it only
// through postToMainThread: queued, never waited for.
class MainThread {
public:
    // Records the calling thread as the main thread; called once at start (and by test fixtures).
    static void adopt();
    static bool isCurrent();
    // Aborts with a message when called off the main thread: a threading fault is a programming
    // error.
    static void assertCurrent(const char* where);
};

void postToMainThread(std::function<void()> work);
