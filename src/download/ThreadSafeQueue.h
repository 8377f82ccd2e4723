#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

// A condition lock: a mutex carrying an integer condition, with waits for a given condition.
struct ConditionLock {
    explicit ConditionLock(int initial) : condition(initial) {}
    std::mutex mutex;
    std::condition_variable changed;
    int condition;
};

// First-in, first-out hand-over of strings from any number of producers to one consumer that
// sleeps in dequeue() until there is work.
class ThreadSafeQueue {
public:
    ThreadSafeQueue() = default;
    ThreadSafeQueue(const ThreadSafeQueue&) = delete;
    ThreadSafeQueue& operator=(const ThreadSafeQueue&) = delete;

    void enqueue(std::string item);
    // Waits until an item is there.
    std::string dequeue();
    // Never waits: nothing when the queue is empty or another thread holds the lock.
    std::optional<std::string> tryDequeue();
    // Never waits: false also when another thread holds the lock.
    bool hasData();
    // An unlocked snapshot of the condition; it may be stale when read.
    int condition() const;
    void cleanQueue();

private:
    // Tests hold the lock from another thread to check that the non-waiting calls never wait.
    friend struct ThreadSafeQueueProbe;

    void unlockWithCondition(std::unique_lock<std::mutex>& held, int condition);

    // The queue's lock. Condition 0: the queue is empty; 1: it holds items.
    ConditionLock gLock{0};
    // condition() reads without the lock, so the value it reads is mirrored here.
    std::atomic<int> publishedCondition{0};
    std::deque<std::string> elements;
};
