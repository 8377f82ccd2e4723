#include "download/ThreadSafeQueue.h"

#include <future>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

struct ThreadSafeQueueProbe {
    static std::mutex& lock(ThreadSafeQueue& queue) { return queue.gLock.mutex; }
};

using namespace std::chrono_literals;

TEST(ThreadSafeQueueTest, ItemsLeaveInOrderAndTheConditionSaysWhetherAnyAreLeft) {
    ThreadSafeQueue queue;
    EXPECT_FALSE(queue.tryDequeue().has_value());
    EXPECT_FALSE(queue.hasData());
    for (const char* item : {"a.plist", "b.plist", "QUIT"})
        queue.enqueue(item);
    EXPECT_TRUE(queue.hasData());
    EXPECT_EQ(queue.dequeue(), "a.plist");
    EXPECT_EQ(queue.condition(), 1);
    EXPECT_EQ(queue.tryDequeue(), "b.plist");
    EXPECT_EQ(queue.condition(), 1);
    EXPECT_EQ(queue.dequeue(), "QUIT");
    EXPECT_EQ(queue.condition(), 0);

    for (int i = 0; i < 5; ++i)
        queue.enqueue("item" + std::to_string(i));
    queue.cleanQueue();
    EXPECT_EQ(queue.condition(), 0);
    EXPECT_FALSE(queue.tryDequeue().has_value());

    // While another thread holds the lock the non-waiting calls answer at once.
    queue.enqueue("held");
    std::promise<void> locked, release;
    std::thread holder([&] {
        std::lock_guard<std::mutex> held(ThreadSafeQueueProbe::lock(queue));
        locked.set_value();
        release.get_future().wait();
    });
    locked.get_future().wait();
    EXPECT_FALSE(queue.hasData());
    EXPECT_FALSE(queue.tryDequeue().has_value());
    release.set_value();
    holder.join();
    EXPECT_TRUE(queue.hasData());
}

TEST(ThreadSafeQueueTest, DequeueSleepsUntilAnotherThreadEnqueues) {
    ThreadSafeQueue queue;
    auto consumer = std::async(std::launch::async, [&] { return queue.dequeue(); });
    EXPECT_EQ(consumer.wait_for(100ms), std::future_status::timeout);
    queue.enqueue("/work/Lesson 1.plist");
    EXPECT_EQ(consumer.get(), "/work/Lesson 1.plist");
    EXPECT_EQ(queue.condition(), 0);
}

TEST(ThreadSafeQueueTest, ManyProducersLoseNothingAndKeepEachProducersOrder) {
    ThreadSafeQueue queue;
    constexpr int producers = 4;
    constexpr int perProducer = 500;
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p)
        threads.emplace_back([&queue, p] {
            for (int i = 0; i < perProducer; ++i)
                queue.enqueue(std::to_string(p) + ":" + std::to_string(i));
        });
    std::vector<int> next(producers, 0);
    for (int received = 0; received < producers * perProducer; ++received) {
        std::string item = queue.dequeue();
        int producer = std::stoi(item.substr(0, item.find(':')));
        ASSERT_EQ(std::stoi(item.substr(item.find(':') + 1)), next[producer]++) << item;
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(queue.condition(), 0);
}
