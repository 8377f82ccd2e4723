#include "DownloadTestSupport.h"
#include "LessonResponder.h"
#include "platform/Defaults.h"
#include "platform/net/GErrorHandle.h"
#include "platform/net/GObjectPtr.h"
#include "platform/net/RunLoop.h"
#include "platform/net/Transfer.h"

#include <filesystem>
#include <future>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <thread>

namespace {

// Collects a transfer's callbacks; the destination is fixed in advance.
class TransferRecorder : public TransferDelegate {
public:
    explicit TransferRecorder(std::string destination) : destination(std::move(destination)) {}

    void didReceiveResponse(Transfer&, const TransferResponse& response) override {
        responses.push_back(response);
    }
    void decideDestinationWithSuggestedFilename(Transfer& download,
                                                const std::string& filename) override {
        suggested = filename;
        download.setDestination(destination, true);
    }
    void didReceiveDataOfLength(Transfer& download, std::uint32_t length) override {
        received += length;
        if (cancelAfter > 0 && received >= cancelAfter && !cancelled) {
            cancelled = true;
            resumeData = download.resumeData();
            download.cancel();
        }
    }
    void didFailWithError(Transfer&, const std::string& message) override {
        error = message;
        done = true;
    }
    void downloadDidFinish(Transfer&) override {
        finished = true;
        done = true;
    }

    std::string destination;
    std::string suggested;
    std::vector<TransferResponse> responses;
    std::int64_t received = 0;
    std::int64_t cancelAfter = 0;
    bool cancelled = false;
    std::string resumeData;
    std::string error;
    bool finished = false;
    bool done = false;
};

class TransferTest : public DownloadTest {
protected:
    // Fetches a lesson in full, then again after a cancel part way, continuing from resume data.
    TransferRecorder interruptedDownload(const std::string& lesson, std::int64_t cancelAfter) {
        TransferRecorder first(root() + "/out.bin");
        first.cancelAfter = cancelAfter;
        auto transfer = Transfer::start(store->lessonURL(lesson), first);
        EXPECT_TRUE(waitFor([&] { return first.cancelled || first.done; }));
        transfer.reset();
        EXPECT_TRUE(first.cancelled);
        return first;
    }

    TransferRecorder resumeFrom(const std::string& resumeData) {
        TransferRecorder second(root() + "/unused");
        auto transfer = Transfer::resume(resumeData, second, root() + "/out.bin");
        EXPECT_NE(transfer, nullptr);
        if (transfer) {
            EXPECT_TRUE(waitFor([&] { return second.done; }));
        }
        return second;
    }
};

} // namespace

TEST_F(TransferTest, DownloadsTheWholeFileWithItsAnnouncedLength) {
    std::string source = makeLesson("Lesson 1.mov", 700000);
    writeFile(root() + "/out.bin", "placeholder that is replaced");
    TransferRecorder recorder(root() + "/out.bin");
    auto transfer = Transfer::start(store->lessonURL("Lesson%201.mov"), recorder);
    ASSERT_NE(transfer, nullptr);
    ASSERT_TRUE(waitFor([&] { return recorder.done; }));
    EXPECT_TRUE(recorder.finished) << recorder.error;
    ASSERT_EQ(recorder.responses.size(), 1u);
    EXPECT_EQ(recorder.responses[0].statusCode, 200);
    EXPECT_EQ(recorder.responses[0].expectedContentLength, 700000);
    EXPECT_EQ(recorder.responses[0].mimeType, "video/quicktime");
    EXPECT_EQ(recorder.suggested, "Lesson 1.mov");
    EXPECT_EQ(recorder.received, 700000);
    EXPECT_EQ(sha256OfFile(root() + "/out.bin"), sha256OfFile(source));
}

TEST_F(TransferTest, WithoutContentLengthTheLengthIsUnknownButTheFileComplete) {
    std::string source = makeLesson("chunked.mov", 300000);
    FaultPlan plan;
    plan.noContentLength = true;
    store->store().setFaults(plan);
    TransferRecorder recorder(root() + "/out.bin");
    auto transfer = Transfer::start(store->lessonURL("chunked.mov"), recorder);
    ASSERT_TRUE(waitFor([&] { return recorder.done; }));
    EXPECT_TRUE(recorder.finished) << recorder.error;
    EXPECT_EQ(recorder.responses.at(0).expectedContentLength, -1);
    EXPECT_EQ(sha256OfFile(root() + "/out.bin"), sha256OfFile(source));
}

TEST_F(TransferTest, ErrorAnswersFailAndDeleteTheFileOnlyWhenAskedTo) {
    for (int status : {404, 500}) {
        FaultPlan plan;
        plan.status = status;
        store->store().setFaults(plan);
        for (bool deletes : {true, false}) {
            writeFile(root() + "/out.bin", "old");
            TransferRecorder recorder(root() + "/out.bin");
            auto transfer = Transfer::start(store->lessonURL("any.mov"), recorder);
            transfer->setDeletesFileUponFailure(deletes);
            ASSERT_TRUE(waitFor([&] { return recorder.done; }));
            EXPECT_FALSE(recorder.finished);
            EXPECT_NE(recorder.error.find(std::to_string(status)), std::string::npos);
            // An error answer never reaches the file.
            EXPECT_EQ(readFile(root() + "/out.bin"), "old");
        }
    }
}

TEST_F(TransferTest, ADroppedConnectionFailsAndKeepsOrDeletesThePartialFile) {
    makeLesson("drop.mov", 600000);
    FaultPlan plan;
    plan.dropAfter = 200000;
    store->store().setFaults(plan);
    for (bool deletes : {false, true}) {
        TransferRecorder recorder(root() + "/out.bin");
        auto transfer = Transfer::start(store->lessonURL("drop.mov"), recorder);
        transfer->setDeletesFileUponFailure(deletes);
        ASSERT_TRUE(waitFor([&] { return recorder.done; }));
        EXPECT_FALSE(recorder.finished);
        EXPECT_FALSE(recorder.error.empty());
        if (deletes) {
            EXPECT_FALSE(fileExists(root() + "/out.bin"));
        } else {
            EXPECT_EQ(sizeOfFile(root() + "/out.bin"), recorder.received);
        }
    }
}

TEST_F(TransferTest, ContinuesWithRangeAndIfRangeAndAppendsOnlyThe206Part) {
    std::string source = makeLesson("resume.mov", 2000000);
    TransferRecorder first = interruptedDownload("resume.mov", 500000);
    ASSERT_FALSE(first.resumeData.empty());
    std::int64_t partial = sizeOfFile(root() + "/out.bin");
    ASSERT_GT(partial, 0);
    ASSERT_LT(partial, 2000000);

    TransferRecorder second = resumeFrom(first.resumeData);
    EXPECT_TRUE(second.finished) << second.error;
    EXPECT_TRUE(second.responses.empty()) << "a continuation reports no fresh response";
    EXPECT_EQ(second.received, 2000000 - partial);
    EXPECT_EQ(sha256OfFile(root() + "/out.bin"), sha256OfFile(source));
    auto requests = store->store().requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].range, "bytes=" + std::to_string(partial) + "-");
    EXPECT_EQ(requests[1].ifRange, LessonResponder::entityTag(source));
    EXPECT_EQ(requests[1].status, 206);
}

TEST_F(TransferTest, AServerIgnoringRangeRewritesTheFileFromByteZero) {
    std::string source = makeLesson("norange.mov", 1500000);
    TransferRecorder first = interruptedDownload("norange.mov", 400000);
    FaultPlan plan;
    plan.ignoreRange = true;
    store->store().setFaults(plan);
    TransferRecorder second = resumeFrom(first.resumeData);
    EXPECT_TRUE(second.finished) << second.error;
    ASSERT_EQ(second.responses.size(), 1u);
    EXPECT_EQ(second.responses[0].expectedContentLength, 1500000);
    EXPECT_EQ(sha256OfFile(root() + "/out.bin"), sha256OfFile(source));
}

TEST_F(TransferTest, AFileChangedSincePausingIsFetchedAgainWhole) {
    std::string source = makeLesson("changed.mov", 1500000);
    TransferRecorder first = interruptedDownload("changed.mov", 400000);
    FaultPlan plan;
    plan.changeOnRange = true;
    store->store().setFaults(plan);
    TransferRecorder second = resumeFrom(first.resumeData);
    EXPECT_TRUE(second.finished) << second.error;
    EXPECT_EQ(store->store().requests().back().status, 200);
    EXPECT_EQ(sha256OfFile(root() + "/out.bin"), sha256OfFile(source));
}

TEST_F(TransferTest, ResumeDataIsRefusedWhenThePartialFileNoLongerMatches) {
    makeLesson("mismatch.mov", 1000000);
    TransferRecorder first = interruptedDownload("mismatch.mov", 300000);
    TransferRecorder unused(root() + "/unused");
    writeFile(root() + "/out.bin", "shorter");
    EXPECT_EQ(Transfer::resume(first.resumeData, unused, root() + "/out.bin"), nullptr);
    std::filesystem::remove(root() + "/out.bin");
    EXPECT_EQ(Transfer::resume(first.resumeData, unused, root() + "/out.bin"), nullptr);
    EXPECT_EQ(Transfer::resume("not resume data", unused, root() + "/out.bin"), nullptr);
}

TEST_F(TransferTest, OnlyAbsoluteWebURLsStart) {
    TransferRecorder recorder(root() + "/out.bin");
    for (const char* url : {"file:///etc/passwd", "ftp://127.0.0.1/x", "not a url", "https://",
                            "/lessons/relative.mov"})
        EXPECT_EQ(Transfer::start(url, recorder), nullptr) << url;
}

TEST_F(TransferTest, AnUntrustedStoreCertificateFails) {
    makeLesson("secure.mov", 1000);
    Defaults::standard().setString("storeCertificate", "");
    TransferRecorder recorder(root() + "/out.bin");
    auto transfer = Transfer::start(store->lessonURL("secure.mov"), recorder);
    ASSERT_TRUE(waitFor([&] { return recorder.done; }));
    EXPECT_FALSE(recorder.finished);
    EXPECT_TRUE(store->store().requests().empty());
}

TEST_F(TransferTest, DestroyingATransferInsideItsCallbackStopsItQuietly) {
    makeLesson("destroy.mov", 2000000);
    struct Destroyer : TransferRecorder {
        using TransferRecorder::TransferRecorder;
        void didReceiveDataOfLength(Transfer&, std::uint32_t) override {
            ++calls;
            owned.reset();
        }
        std::unique_ptr<Transfer> owned;
        int calls = 0;
    } recorder(root() + "/out.bin");
    recorder.owned = Transfer::start(store->lessonURL("destroy.mov"), recorder);
    ASSERT_TRUE(waitFor([&] { return recorder.calls > 0; }));
    waitFor([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(recorder.calls, 1);
    EXPECT_FALSE(recorder.done);
}

TEST_F(TransferTest, CallbacksArriveOnTheCreatingThreadsOwnContext) {
    std::string source = makeLesson("worker.mov", 400000);
    auto worker = std::async(std::launch::async, [&] {
        RunLoop loop;
        struct Stopper : TransferRecorder {
            using TransferRecorder::TransferRecorder;
            void downloadDidFinish(Transfer& t) override {
                TransferRecorder::downloadDidFinish(t);
                thread = std::this_thread::get_id();
                loop->stop();
            }
            void didFailWithError(Transfer& t, const std::string& e) override {
                TransferRecorder::didFailWithError(t, e);
                loop->stop();
            }
            RunLoop* loop = nullptr;
            std::thread::id thread;
        } recorder(root() + "/worker.bin");
        recorder.loop = &loop;
        auto transfer = Transfer::start(store->lessonURL("worker.mov"), recorder);
        loop.run();
        return recorder.finished && recorder.thread == std::this_thread::get_id();
    });
    EXPECT_TRUE(worker.get());
    EXPECT_EQ(sha256OfFile(root() + "/worker.bin"), sha256OfFile(source));
}

TEST(RunLoopTest, AStopBeforeRunMakesRunReturnAtOnce) {
    auto finished = std::async(std::launch::async, [] {
        RunLoop loop;
        loop.stop();
        loop.run();
        return true;
    });
    ASSERT_EQ(finished.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST(RunLoopTest, StopFromAnotherThreadEndsARunningLoop) {
    std::promise<RunLoop*> created;
    std::promise<void> entered;
    auto worker = std::async(std::launch::async, [&] {
        RunLoop loop;
        created.set_value(&loop);
        entered.set_value();
        loop.run();
        return true;
    });
    RunLoop* loop = created.get_future().get();
    entered.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    loop->stop();
    ASSERT_EQ(worker.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST(GObjectPtrTest, CountsReferencesExactly) {
    GObject* object = G_OBJECT(g_cancellable_new());
    g_object_ref(object);
    {
        auto owner = GObjectPtr<GObject>::adopt(object);
        auto copy = owner;
        EXPECT_EQ(object->ref_count, 3u);
        auto moved = std::move(copy);
        EXPECT_EQ(object->ref_count, 3u);
        moved.reset();
        EXPECT_EQ(object->ref_count, 2u);
        auto retained = GObjectPtr<GObject>::retain(object);
        EXPECT_EQ(object->ref_count, 3u);
    }
    EXPECT_EQ(object->ref_count, 1u);
    g_object_unref(object);
}

TEST(GErrorHandleTest, KeepsTheMessageAndFreesTheError) {
    GErrorHandle error;
    EXPECT_FALSE(error);
    g_set_error_literal(error.out(), G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "gone");
    EXPECT_TRUE(error);
    EXPECT_TRUE(error.matches(G_IO_ERROR, G_IO_ERROR_NOT_FOUND));
    EXPECT_EQ(error.message(), "gone");
    error.out();
    EXPECT_FALSE(error);
}
