#pragma once

#include <cstdint>
#include <memory>
#include <sigc++/sigc++.h>

// The controller of a movie being shown: while the movie is on screen it idles at a steady pace,
// and each idle action first goes through the client's action filter, as QuickTime's movie
// controller did. Main thread only.
class MovieController {
public:
    using ActionFilter = bool (*)(MovieController* controller, std::int16_t action, void* params,
                                  void* refCon);
    static constexpr std::int16_t mcActionIdle = 1;
    static constexpr unsigned idleIntervalMs = 66;
    static constexpr int noErr = 0;

    MovieController();
    ~MovieController();
    MovieController(const MovieController&) = delete;
    MovieController& operator=(const MovieController&) = delete;

    // Installs (or with a null filter removes) the filter; answers noErr.
    int setActionFilterWithRefCon(ActionFilter filter, void* refCon);
    ActionFilter actionFilter() const { return filter; }

    void startIdling();
    void stopIdling();
    bool isIdling() const { return ticking.connected(); }
    // One idle action: the filter, then (unless the filter took the action) the controller's own
    // handling, which the movie view follows through signalIdle.
    void idle();
    sigc::signal<void()>& signalIdle() { return idled; }

private:
    ActionFilter filter = nullptr;
    void* reference = nullptr;
    sigc::connection ticking;
    sigc::signal<void()> idled;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
