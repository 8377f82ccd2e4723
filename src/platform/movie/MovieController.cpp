#include "platform/movie/MovieController.h"

#include "platform/MainThread.h"

#include <glibmm/main.h>

MovieController::MovieController() = default;

MovieController::~MovieController() {
    ticking.disconnect();
}

int MovieController::setActionFilterWithRefCon(ActionFilter newFilter, void* refCon) {
    filter = newFilter;
    reference = refCon;
    return noErr;
}

void MovieController::startIdling() {
    MainThread::assertCurrent("MovieController::startIdling");
    if (ticking.connected())
        return;
    ticking = Glib::signal_timeout().connect(
        [this] {
            idle();
            return true;
        },
        idleIntervalMs);
}

void MovieController::stopIdling() {
    ticking.disconnect();
}

void MovieController::idle() {
    // The filter's client may destroy the movie, and this controller with it.
    std::weak_ptr<bool> stillHere = alive;
    if (filter && filter(this, mcActionIdle, nullptr, reference))
        return;
    if (stillHere.lock())
        idled.emit();
}
