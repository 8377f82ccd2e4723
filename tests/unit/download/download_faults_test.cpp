// Servers that answer wrongly, lessons that share names and libraries behind symbolic links.
#include "DownloadTestSupport.h"
#include "download/DownloadController.h"
#include "download/DownloadDescription.h"
#include "platform/data/PropertyList.h"
#include "platform/net/Transfer.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <mutex>

namespace fs = std::filesystem;

namespace {

std::mutex logLock;
std::vector<std::map<std::string, std::string>> logged;

GLogWriterOutput keepFields(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer) {
    std::map<std::string, std::string> entry;
    for (gsize i = 0; i < count; ++i)
        if (fields[i].length < 0)
            entry[fields[i].key] = static_cast<const char*>(fields[i].value);
    if (entry["GLIB_DOMAIN"] != "fretlark")
        return g_log_writer_default(level, fields, count, nullptr);
    std::lock_guard held(logLock);
    logged.push_back(entry);
    return G_LOG_WRITER_HANDLED;
}

const bool writerInstalled = (g_log_set_writer_func(keepFields, nullptr, nullptr), true);

struct Fetch : TransferDelegate {
    explicit Fetch(std::string destination) : destination(std::move(destination)) {}
    void decideDestinationWithSuggestedFilename(Transfer& t, const std::string&) override {
        t.setDestination(destination, true);
    }
    void didReceiveDataOfLength(Transfer& t, std::uint32_t) override {
        if (pause && resumeData.empty()) {
            resumeData = t.resumeData();
            t.cancel();
            done = true;
        }
    }
    void didFailWithError(Transfer&, const std::string&) override { done = true; }
    void downloadDidFinish(Transfer&) override { finished = done = true; }
    std::string destination, resumeData;
    bool pause = false, finished = false, done = false;
};

class DownloadFaultsTest : public DownloadTest {
protected:
    DownloadController& controller() { return DownloadController::sharedInstance(&recorder); }
    bool recordsLeft() { return fs::exists(workFolder()) && !fs::is_empty(workFolder()); }

    void pauseDuringFirstTransfer(const std::vector<EpisodeValues>& episodes, FaultPlan slow = {}) {
        slow.bytesPerSecond = 600000;
        store->store().setFaults(slow);
        controller().addDownload(writeDescription(describe({episodes})));
        ASSERT_TRUE(waitFor([&] { return sizeOfFile(libraryPath(episodes[0])) > 0; }));
        controller().pauseDownloads();
    }

    void restartAndResume() {
        DownloadController::uninitialize();
        store->store().setFaults(FaultPlan());
        controller().resumeDownloadsIfNeeded();
        ASSERT_TRUE(waitFor([&] { return !recordsLeft(); }));
    }
};

} // namespace

TEST_F(DownloadFaultsTest, AFreshTransferCompletesOnlyOn200AndLogsWhyItFailed) {
    makeLesson("Plain.mov", 400000);
    FaultPlan partial, noContent;
    partial.partialForPlain = true;
    noContent.status = 204;
    for (auto [plan, status] : {std::pair(partial, 206), std::pair(noContent, 204)}) {
        store->store().setFaults(plan);
        logged.clear();
        Fetch fetch(root() + "/out.bin");
        auto transfer = Transfer::start(store->lessonURL("Plain.mov"), fetch);
        ASSERT_TRUE(waitFor([&] { return fetch.done; }));
        EXPECT_FALSE(fetch.finished);
        std::lock_guard held(logLock);
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0]["FRETLARK_URL"], store->lessonURL("Plain.mov"));
        EXPECT_EQ(logged[0]["FRETLARK_REASON"], "HTTP status " + std::to_string(status));
    }
}

TEST_F(DownloadFaultsTest, AContinuationThatIsNotTheSavedFileFromTheSavedByteStartsOver) {
    for (auto fault :
         {&FaultPlan::wrongStart, &FaultPlan::unsatisfiable, &FaultPlan::ignoreIfRange}) {
        std::string source = makeLesson("Resume.mov", 3000000);
        Fetch first(root() + "/out.bin");
        first.pause = true;
        auto transfer = Transfer::start(store->lessonURL("Resume.mov"), first);
        ASSERT_TRUE(waitFor([&] { return first.done; }));
        FaultPlan plan;
        plan.*fault = true;
        plan.changeOnRange = fault == &FaultPlan::ignoreIfRange;
        store->store().setFaults(plan);
        logged.clear();
        Fetch second(root() + "/unused");
        transfer = Transfer::resume(first.resumeData, second, root() + "/out.bin");
        ASSERT_TRUE(transfer && waitFor([&] { return second.done; }));
        EXPECT_TRUE(second.finished);
        EXPECT_EQ(sha256OfFile(root() + "/out.bin"), sha256OfFile(source));
        EXPECT_EQ(store->store().requests().back().range, "");
        EXPECT_TRUE(logged.empty());
    }
}

TEST_F(DownloadFaultsTest, LessonsSharingABaseNameOrAFileNameKeepRecordsOfTheirOwn) {
    EpisodeValues guitar = episode("Lesson 1.mov");
    guitar.instrument = "Guitar";
    std::vector<EpisodeValues> lessons{episode("Lesson 1.mov"), episode("Lesson 1.pdf"), guitar};
    std::vector<std::string> sources;
    for (unsigned i = 0; i < 3; ++i)
        sources.push_back(makeLesson("v" + std::to_string(i), 1500000, i));
    for (unsigned i = 0; i < 3; ++i)
        lessons[i].link = store->lessonURL("v" + std::to_string(i));
    pauseDuringFirstTransfer(lessons);
    EXPECT_TRUE(fileExists(cacheFolder() + "/Lesson 1.plist"));
    EXPECT_TRUE(controller().deleteEmptyFile(libraryPath(lessons[1])));
    restartAndResume();
    EXPECT_EQ(sha256OfFile(libraryPath(lessons[0])), sha256OfFile(sources[0]));
    EXPECT_EQ(sizeOfFile(libraryPath(lessons[1])), 0) << "its record alone was deleted";
    EXPECT_EQ(sha256OfFile(libraryPath(lessons[2])), sha256OfFile(sources[2]));
}

TEST_F(DownloadFaultsTest, ResumeDataServesOnlyItsOwnLinkAndAPauseWithoutAnyClearsIt) {
    makeLesson("B.mov", 1500000, 1);
    std::string c = makeLesson("C.mov", 1500000, 2);
    pauseDuringFirstTransfer({episode("B.mov")});
    auto record = PropertyList::read(workFolder() + "/B.plist");
    (*record)["Link"] = store->lessonURL("C.mov");
    PropertyList::writeAtomically(workFolder() + "/B.plist", *record);
    restartAndResume();
    EXPECT_EQ(sha256OfFile(libraryPath(episode("B.mov"))), sha256OfFile(c));

    writeFile(cacheFolder() + "/ResumeData", "stale");
    FaultPlan noValidator;
    noValidator.noValidator = true;
    pauseDuringFirstTransfer({episode("C.mov")}, noValidator);
    EXPECT_FALSE(fileExists(cacheFolder() + "/ResumeData"));
}

TEST_F(DownloadFaultsTest, ALibraryBehindASymbolicLinkAnswersForItsRealPath) {
    struct Case {
        std::string link, target, home, realPurchases;
    };
    for (const Case& c : {Case{root() + "/linked", home(), root() + "/linked", purchases()},
                          Case{home() + "/Music", root() + "/music", home(),
                               root() + "/music/Fretlark/Purchases"}}) {
        fs::create_directories(c.target);
        fs::create_directory_symlink(c.target, c.link);
        setenv("HOME", c.home.c_str(), 1);
        makeLesson("Linked.mov", 1500000);
        pauseDuringFirstTransfer({episode("Linked.mov")});
        std::string real = c.realPurchases + "/Bass/Grooves/Walking/Linked.mov";
        EXPECT_TRUE(controller().fileIsPartial(real)) << c.link;
        controller().resumeDownloadsIfNeeded();
        EXPECT_TRUE(waitFor([&] { return controller().fileIsDownloading(real); })) << c.link;
        DownloadController::uninitialize();
        fs::remove_all(home() + "/Music");
        fs::remove_all(cacheFolder());
    }
}

TEST_F(DownloadFaultsTest, ARecordHoldsOnlyALinkATransferAccepts) {
    Fetch fetch(root() + "/out.bin");
    for (std::string link :
         {store->lessonURL("x.mov"), std::string("http://"), std::string("https:///x"),
          std::string("http:x.mov"), std::string("HTTPS://127.0.0.1:1/x")}) {
        EpisodeValues values = episode("x.mov");
        values.link = link;
        auto document = DownloadDescription::parse(describe({{values}}));
        bool recorded = !DownloadDescription::episodes(document->document_element()).empty();
        EXPECT_EQ(recorded, Transfer::start(link, fetch) != nullptr) << link;
    }
}
