#pragma once

#include <atomic>
#include <chrono>
#include <glib.h>

// A worker thread's run loop: a GMainContext of its own, made the thread's default for the life of
// the loop, so transfers created on the thread deliver their callbacks here. Create and destroy it
// on the worker thread; stop() may come from any thread, even before run() is entered.
class RunLoop {
public:
    RunLoop();
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Dispatches events until stop() is called; returns at once when a stop is already pending.
    void run();
    void stop();

    // Turns the main thread's default context for the given time, handling whatever arrives.
    static void runMainContextFor(std::chrono::milliseconds slice);

private:
    GMainContext* context;
    std::atomic<bool> stopRequested{false};
};
