#pragma once

#include <chrono>
#include <functional>
#include <glib.h>

// Header-only so that benchmarks building the movie helpers alone can use it too.

// Turns the default main context until done() holds or the time is up; answers done().
inline bool spinUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(1000);
    }
    return true;
}

inline void spinFor(std::chrono::milliseconds duration) {
    spinUntil([] { return false; }, duration);
}

// Runs whatever the main context has ready.
inline void spin() {
    while (g_main_context_iteration(nullptr, FALSE))
        continue;
}
