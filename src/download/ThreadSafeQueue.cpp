#include "download/ThreadSafeQueue.h"

void ThreadSafeQueue::unlockWithCondition(std::unique_lock<std::mutex>& held, int condition) {
    gLock.condition = condition;
    publishedCondition = condition;
    held.unlock();
    gLock.changed.notify_all();
}

void ThreadSafeQueue::enqueue(std::string item) {
    std::unique_lock<std::mutex> held(gLock.mutex);
    elements.push_back(std::move(item));
    unlockWithCondition(held, 1);
}

std::string ThreadSafeQueue::dequeue() {
    std::unique_lock<std::mutex> held(gLock.mutex);
    gLock.changed.wait(held, [this] { return gLock.condition == 1; });
    std::string head = std::move(elements.front());
    elements.pop_front();
    unlockWithCondition(held, elements.empty() ? 0 : 1);
    return head;
}

std::optional<std::string> ThreadSafeQueue::tryDequeue() {
    std::unique_lock<std::mutex> held(gLock.mutex, std::try_to_lock);
    if (!held.owns_lock())
        return std::nullopt;
    std::optional<std::string> head;
    if (gLock.condition == 1) {
        head = std::move(elements.front());
        elements.pop_front();
    }
    unlockWithCondition(held, elements.empty() ? 0 : 1);
    return head;
}

bool ThreadSafeQueue::hasData() {
    std::unique_lock<std::mutex> held(gLock.mutex, std::try_to_lock);
    return held.owns_lock() && gLock.condition == 1;
}

int ThreadSafeQueue::condition() const {
    return publishedCondition.load();
}

void ThreadSafeQueue::cleanQueue() {
    std::unique_lock<std::mutex> held(gLock.mutex);
    elements.clear();
    unlockWithCondition(held, 0);
}
