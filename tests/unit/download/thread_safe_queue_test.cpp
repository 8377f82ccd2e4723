#include "download/ThreadSafeQueue.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

struct ThreadSafeQueueProbe {
    static std::mutex& lock(ThreadSafeQueue& queue) { return queue.gLock.mutex; }
};

using namespace std::chrono_literals;

TEST(ThreadSafeQueueTest, DequeueSleepsUntilAnotherThreadEnqueues) {
    ThreadSafeQueue queue;
    std::atomic<bool> enqueued{false};
    auto consumer = std::async(std::launch::async, [&] {
        std::string item = queue.dequeue();
        return std::make_pair(item, enqueued.load());
    });
    EXPECT_EQ(consumer.wait_for(100ms), std::future_status::timeout);
    enqueued = true;
    queue.enqueue("/work/Lesson 1.plist");
    auto [item, wasEnqueued] = consumer.get();
    EXPECT_EQ(item, "/work/Lesson 1.plist");
    EXPECT_TRUE(wasEnqueued);
    EXPECT_EQ(queue.condition(), 0);
}

TEST(ThreadSafeQueueTest, ItemsLeaveInOrderWithTheSentinelThird) {
    ThreadSafeQueue queue;
    queue.enqueue("a.plist");
    queue.enqueue("b.plist");
    queue.enqueue("QUIT");
    EXPECT_EQ(queue.dequeue(), "a.plist");
    EXPECT_EQ(queue.condition(), 1);
    EXPECT_EQ(queue.dequeue(), "b.plist");
    EXPECT_EQ(queue.condition(), 1);
    EXPECT_EQ(queue.dequeue(), "QUIT");
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
        int index = std::stoi(item.substr(item.find(':') + 1));
        ASSERT_EQ(index, next[producer]) << item;
        ++next[producer];
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(queue.condition(), 0);
}

TEST(ThreadSafeQueueTest, CleanQueueEmptiesSoDequeueBlocksAgain) {
    ThreadSafeQueue queue;
    for (int i = 0; i < 5; ++i)
        queue.enqueue("item" + std::to_string(i));
    queue.cleanQueue();
    EXPECT_EQ(queue.condition(), 0);
    EXPECT_FALSE(queue.tryDequeue().has_value());
    auto consumer = std::async(std::launch::async, [&] { return queue.dequeue(); });
    EXPECT_EQ(consumer.wait_for(100ms), std::future_status::timeout);
    queue.enqueue("after");
    EXPECT_EQ(consumer.get(), "after");
}

TEST(ThreadSafeQueueTest, TryDequeueAndHasDataNeverWait) {
    ThreadSafeQueue queue;
    EXPECT_FALSE(queue.tryDequeue().has_value());
    EXPECT_EQ(queue.condition(), 0);
    EXPECT_FALSE(queue.hasData());
    queue.enqueue("one");
    queue.enqueue("two");
    EXPECT_TRUE(queue.hasData());
    EXPECT_EQ(queue.tryDequeue(), "one");
    EXPECT_EQ(queue.condition(), 1);
    EXPECT_EQ(queue.tryDequeue(), "two");
    EXPECT_EQ(queue.condition(), 0);

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
