#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
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

// The process-wide lock of the episode queue. Condition 0: the queue is empty; 1: it holds items.
extern std::unique_ptr<ConditionLock> gLock;

// First-in, first-out hand-over of strings from any number of producers to one consumer that
// sleeps in dequeue() until there is work. One queue exists at a time: the first one constructed
// creates gLock and destroying a queue destroys it.
class ThreadSafeQueue {
public:
    ThreadSafeQueue();
    ~ThreadSafeQueue();
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
    std::deque<std::string> elements;
};
