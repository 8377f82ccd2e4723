#include "platform/MainThread.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <thread>
#include <vector>

namespace {

TEST(MainThreadTest, PostedWorkRunsOnTheMainLoopInOrder) {
    MainThread::adopt();
    std::vector<int> order;
    bool allOnMain = true;
    std::thread worker([&] {
        EXPECT_FALSE(MainThread::isCurrent());
        for (int i = 0; i < 100; ++i)
            postToMainThread([&, i] {
                allOnMain = allOnMain && MainThread::isCurrent();
                order.push_back(i);
            });
    });
    worker.join();
    EXPECT_TRUE(order.empty()) << "posting must not wait for the main thread";
    for (int spins = 0; order.size() < 100 && spins < 10000; ++spins)
        g_main_context_iteration(nullptr, FALSE);
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_TRUE(allOnMain);
}

TEST(MainThreadDeathTest, OffTheMainThreadIsAProgrammingError) {
    MainThread::adopt();
    EXPECT_DEATH(
        {
            std::thread worker([] { MainThread::assertCurrent("refreshBrowserView"); });
            worker.join();
        },
        "refreshBrowserView must run on the main thread");
}

} // namespace
