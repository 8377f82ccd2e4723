#pragma once

#include <functional>
#include <memory>

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

// Queues work for the main thread. Work is run in the order it was posted; the hand-over goes
// through a mutex, so what the work reads was written before it was posted.
void postToMainThread(std::function<void()> work);

// Held by an object that posts work capturing itself: work posted through the token is dropped
// when the object is gone by the time it would run. The owner lives and dies on the main thread.
class LifetimeToken {
public:
    LifetimeToken() = default;
    ~LifetimeToken() { *alive = false; }
    LifetimeToken(const LifetimeToken&) = delete;
    LifetimeToken& operator=(const LifetimeToken&) = delete;

    // Callable from any thread.
    void post(std::function<void()> work) const;
    // For a callback that reaches the main thread some other way (a GIO completion): the work
    // does nothing once the owner is gone.
    std::function<void()> guard(std::function<void()> work) const;

private:
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
