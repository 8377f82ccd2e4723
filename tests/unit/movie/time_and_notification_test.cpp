#include "platform/movie/NotificationCenter.h"
#include "platform/movie/QTTime.h"

#include <gtest/gtest.h>
#include <thread>

TEST(QTTimeTest, WritesTheFrameworksTextFormComparesAcrossScalesAndConvertsExactly) {
    EXPECT_EQ(QTStringFromTime(QTMakeTime(65 * 600, 600)), "0:00:01:05.00/600");
    EXPECT_EQ(QTStringFromTime(QTMakeTime((90061LL * 30000) + 15, 30000)), "1:01:01:01.15/30000");
    EXPECT_EQ(QTStringFromTime(QTMakeTime(-600, 600)), "-0:00:00:01.00/600");
    QTTime endless = QTMakeTime(0, 600);
    endless.flags = kQTTimeIsIndefinite;
    EXPECT_EQ(QTStringFromTime(endless), "INDEFINITE");

    EXPECT_EQ(QTTimeCompare(QTMakeTime(600, 600), QTMakeTime(1000, 1000)), QTOrderedSame);
    EXPECT_EQ(QTTimeCompare(QTMakeTime(599, 600), QTMakeTime(1000, 1000)), QTOrderedAscending);
    EXPECT_EQ(QTTimeCompare(QTMakeTime(INT64_MAX, 1), QTMakeTime(INT64_MAX, 2)),
              QTOrderedDescending);
    // A frame time of an NTSC-style scale survives the trip through nanoseconds.
    QTTime frame = QTMakeTime(1001, 30000);
    EXPECT_EQ(QTTimeFromNanoseconds(QTTimeToNanoseconds(frame), 30000).timeValue, 1001);
    EXPECT_EQ(QTTimeToNanoseconds(QTMakeTime(-3, 2)), -1'500'000'000);
    EXPECT_EQ(QTTimeToNanoseconds(QTMakeTime(5, 0)), 0);
}

TEST(NotificationCenterTest, DeliversFromOneSenderOrAnyOnThePostingThread) {
    NotificationCenter center;
    int a = 0, b = 0;
    std::vector<std::string> heard;
    center.addObserver(
        &heard, [&](const Notification& n) { heard.push_back("any " + n.name); }, "end", nullptr);
    center.addObserver(
        &a, [&](const Notification& n) { heard.push_back("a " + n.name); }, "end", &a);
    center.postNotification("end", &b);
    center.postNotification("end", &a, {{"rate", 2.0}});
    center.postNotification("other", &a);
    EXPECT_EQ(heard, (std::vector<std::string>{"any end", "any end", "a end"}));
    center.removeObserver(&heard, "end");
    std::thread::id deliveredOn;
    center.addObserver(
        &b, [&](const Notification&) { deliveredOn = std::this_thread::get_id(); }, "end", nullptr);
    std::thread worker([&] { center.postNotification("end", &b); });
    std::thread::id poster = worker.get_id();
    worker.join();
    EXPECT_EQ(heard.size(), 3u);
    EXPECT_EQ(deliveredOn, poster);
}

TEST(NotificationCenterTest, AnObserverRemovedDuringDeliveryHearsNoMore) {
    NotificationCenter center;
    int first = 0, second = 0, secondCalls = 0;
    center.addObserver(
        &first, [&](const Notification&) { center.removeObserver(&second); }, "tick", nullptr);
    center.addObserver(
        &second, [&](const Notification&) { ++secondCalls; }, "tick", nullptr);
    center.postNotification("tick", nullptr);
    EXPECT_EQ(secondCalls, 0);
    EXPECT_EQ(center.observationCount(&second), 0u);
}
