#include "DownloadTestSupport.h"
#include "LessonResponder.h"
#include "platform/Defaults.h"
#include "platform/net/RunLoop.h"
#include "platform/net/Transfer.h"

#include <csignal>
#include <filesystem>
#include <future>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
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
    void downloadDidFinish(Transfer&) override { finished = done = true; }

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
    // Runs a transfer of the URL into out.bin to its end.
    std::unique_ptr<TransferRecorder> fetch(const std::string& url, bool deletesOnFailure = true,
                                            std::int64_t cancelAfter = 0) {
        auto recorder = std::make_unique<TransferRecorder>(root() + "/out.bin");
        recorder->cancelAfter = cancelAfter;
        auto transfer = Transfer::start(url, *recorder);
        if (!transfer)
            return recorder;
        transfer->setDeletesFileUponFailure(deletesOnFailure);
        EXPECT_TRUE(waitFor([&] { return recorder->done || recorder->cancelled; }));
        return recorder;
    }

    std::unique_ptr<TransferRecorder> resumeFrom(const std::string& resumeData) {
        auto recorder = std::make_unique<TransferRecorder>(root() + "/unused");
        auto transfer = Transfer::resume(resumeData, *recorder, root() + "/out.bin");
        EXPECT_NE(transfer, nullptr);
        if (transfer) {
            EXPECT_TRUE(waitFor([&] { return recorder->done; }));
        }
        return recorder;
    }

    void setFaults(void (*change)(FaultPlan&)) {
        FaultPlan plan;
        change(plan);
        store->store().setFaults(plan);
    }
};

} // namespace

TEST_F(TransferTest, DownloadsTheWholeFileWithItsAnnouncedLengthOrWithout) {
    std::string source = makeLesson("Lesson 1.mov", 700000);
    writeFile(root() + "/out.bin", "placeholder that is replaced");
    auto whole = fetch(store->lessonURL("Lesson%201.mov"));
    EXPECT_TRUE(whole->finished) << whole->error;
    ASSERT_EQ(whole->responses.size(), 1u);
    EXPECT_EQ(whole->responses[0].statusCode, 200);
    EXPECT_EQ(whole->responses[0].expectedContentLength, 700000);
    EXPECT_EQ(whole->responses[0].mimeType, "video/quicktime");
    EXPECT_EQ(whole->suggested, "Lesson 1.mov");
    EXPECT_EQ(whole->received, 700000);
    EXPECT_EQ(sha256OfFile(root() + "/out.bin"), sha256OfFile(source));

    setFaults([](FaultPlan& plan) { plan.noContentLength = true; });
    auto chunked = fetch(store->lessonURL("Lesson%201.mov"));
    EXPECT_TRUE(chunked->finished) << chunked->error;
    EXPECT_EQ(chunked->responses.at(0).expectedContentLength, -1);
    EXPECT_EQ(sha256OfFile(root() + "/out.bin"), sha256OfFile(source));
}

TEST_F(TransferTest, FailuresKeepOrDeleteThePartialFileAsAskedButNeverWriteAnErrorAnswer) {
    for (int status : {404, 500}) {
        FaultPlan plan;
        plan.status = status;
        store->store().setFaults(plan);
        writeFile(root() + "/out.bin", "old");
        auto answer = fetch(store->lessonURL("any.mov"));
        EXPECT_FALSE(answer->finished);
        EXPECT_NE(answer->error.find(std::to_string(status)), std::string::npos);
        EXPECT_EQ(readFile(root() + "/out.bin"), "old");
    }
    makeLesson("drop.mov", 600000);
    setFaults([](FaultPlan& plan) { plan.dropAfter = 200000; });
    for (bool deletes : {false, true}) {
        auto dropped = fetch(store->lessonURL("drop.mov"), deletes);
        EXPECT_FALSE(dropped->finished);
        EXPECT_FALSE(dropped->error.empty());
        EXPECT_EQ(sizeOfFile(root() + "/out.bin"), deletes ? -1 : dropped->received);
    }
}

TEST_F(TransferTest, ContinuesWithRangeAndIfRangeAndAppendsOnlyThe206Part) {
    std::string source = makeLesson("resume.mov", 2000000);
    auto first = fetch(store->lessonURL("resume.mov"), true, 500000);
    ASSERT_FALSE(first->resumeData.empty());
    std::int64_t partial = sizeOfFile(root() + "/out.bin");
    ASSERT_GT(partial, 0);
    ASSERT_LT(partial, 2000000);

    auto second = resumeFrom(first->resumeData);
    EXPECT_TRUE(second->finished) << second->error;
    EXPECT_TRUE(second->responses.empty()) << "a continuation reports no fresh response";
    EXPECT_EQ(second->received, 2000000 - partial);
    EXPECT_EQ(sha256OfFile(root() + "/out.bin"), sha256OfFile(source));
    auto requests = store->store().requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].range, "bytes=" + std::to_string(partial) + "-");
    EXPECT_EQ(requests[1].ifRange, LessonResponder::entityTag(source));
    EXPECT_EQ(requests[1].status, 206);

    // Resume data is refused when the partial file no longer matches it.
    TransferRecorder unused(root() + "/unused");
    writeFile(root() + "/out.bin", "shorter");
    EXPECT_EQ(Transfer::resume(first->resumeData, unused, root() + "/out.bin"), nullptr);
    std::filesystem::remove(root() + "/out.bin");
    EXPECT_EQ(Transfer::resume(first->resumeData, unused, root() + "/out.bin"), nullptr);
    EXPECT_EQ(Transfer::resume("not resume data", unused, root() + "/out.bin"), nullptr);
}

TEST_F(TransferTest, AServerIgnoringRangeOrAChangedFileGivesTheWholeFileFromByteZero) {
    std::string source = makeLesson("norange.mov", 1500000);
    for (auto fault : {+[](FaultPlan& plan) { plan.ignoreRange = true; },
                       +[](FaultPlan& plan) { plan.changeOnRange = true; }}) {
        store->store().setFaults(FaultPlan());
        auto first = fetch(store->lessonURL("norange.mov"), true, 400000);
        setFaults(fault);
        auto second = resumeFrom(first->resumeData);
        EXPECT_TRUE(second->finished) << second->error;
        ASSERT_EQ(second->responses.size(), 1u);
        EXPECT_EQ(second->responses[0].expectedContentLength, 1500000);
        EXPECT_EQ(store->store().requests().back().status, 200);
        EXPECT_EQ(sha256OfFile(root() + "/out.bin"), sha256OfFile(source));
    }
}

TEST_F(TransferTest, OnlyWebURLsOfATrustedStoreAreFetched) {
    TransferRecorder recorder(root() + "/out.bin");
    for (const char* url : {"file:///etc/passwd", "ftp://127.0.0.1/x", "not a url", "https://",
                            "/lessons/relative.mov"})
        EXPECT_EQ(Transfer::start(url, recorder), nullptr) << url;

    makeLesson("secure.mov", 1000);
    Defaults::standard().setString("storeCertificate", "");
    EXPECT_FALSE(fetch(store->lessonURL("secure.mov"))->finished);
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

TEST_F(TransferTest, CallbacksArriveOnTheCreatingThreadsOwnRunLoop) {
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

    // A stop before the run, or from another thread during it, ends the run.
    std::promise<RunLoop*> created;
    auto stopped = std::async(std::launch::async, [&] {
        RunLoop early;
        early.stop();
        early.run();
        RunLoop loop;
        created.set_value(&loop);
        loop.run();
    });
    RunLoop* running = created.get_future().get();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    running->stop();
    EXPECT_EQ(stopped.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

// The demo store the tests and the demo download from, and its fault switches.
using DemoStoreTest = TransferTest;

TEST_F(DemoStoreTest, DescriptionsAreServedByQueryWithTheStoresOwnAddress) {
    writeFile(store->descriptionsFolder() + "/order=17.xml",
              "<Download><Link>{{base}}/lessons/a.mov</Link><Link>{{base}}/b</Link></Download>");
    std::string base = store->store().baseURL();
    EXPECT_TRUE(fetch(base + "/downloadStore/download.php?order=17")->finished);
    EXPECT_EQ(readFile(root() + "/out.bin"), "<Download><Link>" + base +
                                                 "/lessons/a.mov</Link><Link>" + base +
                                                 "/b</Link></Download>");
    writeFile(root() + "/secret.xml", "secret");
    EXPECT_FALSE(fetch(base + "/downloadStore/download.php?order=18")->finished);
    EXPECT_FALSE(fetch(base + "/downloadStore/download.php?../../secret")->finished);
    EXPECT_EQ(store->store().requests().back().status, 404);
}

TEST_F(DemoStoreTest, FaultsCanBeSwitchedOverHttpsAndLessonsStayInTheirFolder) {
    makeLesson("x.mov", 1000);
    std::string base = store->store().baseURL();
    ASSERT_TRUE(fetch(base +
                      "/control/faults?status=500&slow=1000&ignore-range=1&partial-for-"
                      "plain=1&wrong-start=1&unsatisfiable=1&ignore-if-range=1&no-validator=1")
                    ->finished);
    FaultPlan plan = store->store().faults();
    EXPECT_EQ(plan.status, 500);
    EXPECT_EQ(plan.bytesPerSecond, 1000);
    EXPECT_TRUE(plan.ignoreRange && plan.partialForPlain && plan.wrongStart && plan.unsatisfiable &&
                plan.ignoreIfRange && plan.noValidator);
    EXPECT_FALSE(plan.noContentLength);
    EXPECT_FALSE(fetch(store->lessonURL("x.mov"))->finished);

    fetch(base + "/control/faults");
    EXPECT_EQ(store->store().faults().status, 0);
    writeFile(store->lessonsFolder() + "/../outside.mov", "outside");
    EXPECT_FALSE(fetch(base + "/lessons/%2E%2E/outside.mov")->finished);
}

TEST_F(DemoStoreTest, TheProgramAnnouncesItsPortAndAuthorityAndServesLessons) {
    std::string folder = root() + "/program";
    writeFile(folder + "/lessons/Lesson.mov", "lesson bytes");
    std::vector<char*> argv{const_cast<char*>(DEMO_STORE_PROGRAM), const_cast<char*>("--folder"),
                            folder.data(), const_cast<char*>("--no-length"), nullptr};
    GPid pid = 0;
    int output = -1;
    ASSERT_TRUE(g_spawn_async_with_pipes(nullptr, argv.data(), nullptr, G_SPAWN_DO_NOT_REAP_CHILD,
                                         nullptr, nullptr, &pid, nullptr, &output, nullptr,
                                         nullptr));
    FILE* lines = fdopen(output, "r");
    char port[256] = {}, certificate[4096] = {};
    ASSERT_TRUE(fgets(port, sizeof port, lines));
    ASSERT_TRUE(fgets(certificate, sizeof certificate, lines));
    fclose(lines);
    EXPECT_EQ(readFile(folder + "/store.info"), std::string(port) + certificate);
    std::string authority = std::string(certificate).substr(12);
    Defaults::standard().setString("storeCertificate", authority.substr(0, authority.size() - 1));
    std::string number = std::string(port).substr(5);
    EXPECT_TRUE(
        fetch("https://127.0.0.1:" + number.substr(0, number.size() - 1) + "/lessons/Lesson.mov")
            ->finished);
    EXPECT_EQ(readFile(root() + "/out.bin"), "lesson bytes");
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
