// Servers that answer wrongly, lessons that share names, a home behind a symbolic link.
#include "DownloadTestSupport.h"
#include "download/DownloadController.h"
#include "platform/data/PropertyList.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <mutex>

namespace fs = std::filesystem;

namespace {

std::mutex logLock;
std::string loggedFailure; // "{link} {reason}" of the last failed transfer

GLogWriterOutput keepFailure(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer) {
    std::map<std::string, std::string> entry;
    for (gsize i = 0; i < count; ++i)
        if (fields[i].length < 0)
            entry[fields[i].key] = static_cast<const char*>(fields[i].value);
    std::lock_guard held(logLock);
    if (entry.count("FRETLARK_URL"))
        loggedFailure = entry["FRETLARK_URL"] + " " + entry["FRETLARK_REASON"];
    return g_log_writer_default(level, fields, count, nullptr);
}

const bool writerInstalled = (g_log_set_writer_func(keepFailure, nullptr, nullptr), true);

std::string lastFailure() {
    std::lock_guard held(logLock);
    return loggedFailure;
}

class DownloadFaultsTest : public DownloadTest {
protected:
    DownloadController& controller() { return DownloadController::sharedInstance(&recorder); }

    void pauseDuringFirstTransfer(const std::vector<EpisodeValues>& episodes, FaultPlan plan = {}) {
        plan.bytesPerSecond = 600000;
        store->store().setFaults(plan);
        controller().addDownload(writeDescription(describe({episodes})));
        ASSERT_TRUE(waitFor([&] { return sizeOfFile(libraryPath(episodes[0])) > 0; }));
        controller().pauseDownloads();
    }

    void restartAndResume(const FaultPlan& plan = {}) {
        DownloadController::uninitialize();
        store->store().setFaults(plan);
        controller().resumeDownloadsIfNeeded();
        ASSERT_TRUE(waitFor([&] { return fs::is_empty(workFolder()); }));
    }
};

} // namespace

TEST_F(DownloadFaultsTest, AFreshTransferCompletesOnlyOn200AndTheLogSaysWhyNot) {
    FaultPlan plans[2];
    plans[0].partialForPlain = true;
    plans[1].status = 204;
    for (const FaultPlan& plan : plans) {
        std::string status = plan.status ? "204" : "206", url = store->lessonURL(status + ".mov");
        makeLesson(status + ".mov", 400000);
        store->store().setFaults(plan);
        controller().addDownload(writeDescription(describe({{episode(status + ".mov")}})));
        EXPECT_TRUE(waitFor([&] { return lastFailure() == url + " HTTP status " + status; }));
        EXPECT_EQ(sizeOfFile(libraryPath(episode(status + ".mov"))), 0);
    }
}

TEST_F(DownloadFaultsTest, AContinuationNotOfTheSavedFileFromTheSavedByteStartsOver) {
    FaultPlan plans[3];
    plans[0].wrongStart = true;
    plans[1].unsatisfiable = true;
    plans[2].ignoreIfRange = plans[2].changeOnRange = true;
    for (unsigned i = 0; i < 3; ++i) {
        std::string name = "R" + std::to_string(i) + ".mov";
        std::string source = makeLesson(name, 1500000, i);
        pauseDuringFirstTransfer({episode(name)});
        restartAndResume(plans[i]);
        EXPECT_EQ(sha256OfFile(libraryPath(episode(name))), sha256OfFile(source)) << i;
        EXPECT_EQ(store->store().requests().back().range, "") << i;
    }
}

TEST_F(DownloadFaultsTest, LessonsSharingABaseNameOrAFileNameKeepRecordsOfTheirOwn) {
    EpisodeValues guitar = episode("Lesson 1.mov");
    guitar.instrument = "Guitar";
    std::vector<EpisodeValues> lessons{episode("Lesson 1.mov"), episode("Lesson 1.pdf"), guitar};
    std::vector<std::string> sources;
    for (unsigned i = 0; i < 3; ++i) {
        sources.push_back(makeLesson("v" + std::to_string(i), 1500000, i));
        lessons[i].link = store->lessonURL("v" + std::to_string(i));
    }
    pauseDuringFirstTransfer(lessons);
    EXPECT_TRUE(fileExists(cacheFolder() + "/Lesson 1.plist"));
    EXPECT_TRUE(controller().deleteEmptyFile(libraryPath(lessons[2])));
    restartAndResume();
    EXPECT_EQ(sha256OfFile(libraryPath(lessons[0])), sha256OfFile(sources[0]));
    EXPECT_EQ(sha256OfFile(libraryPath(lessons[1])), sha256OfFile(sources[1]));
    EXPECT_EQ(sizeOfFile(libraryPath(lessons[2])), 0) << "its record alone was deleted";
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

TEST_F(DownloadFaultsTest, AHomeBehindASymbolicLinkAnswersForTheRealPath) {
    fs::create_directory_symlink(home(), root() + "/linked");
    setenv("HOME", (root() + "/linked").c_str(), 1);
    makeLesson("Linked.mov", 1500000);
    pauseDuringFirstTransfer({episode("Linked.mov")});
    // libraryPath() is the real path, as the file list asks with links resolved.
    std::string real = libraryPath(episode("Linked.mov"));
    EXPECT_TRUE(controller().fileIsPartial(real));
    controller().resumeDownloadsIfNeeded();
    EXPECT_TRUE(waitFor([&] { return controller().fileIsDownloading(real); }));
}

TEST_F(DownloadFaultsTest, ProgressReachesTheMainThreadAtMostAboutSixtyTimesASecond) {
    makeLesson("Fast.mov", 8 * 1024 * 1024);
    auto start = std::chrono::steady_clock::now();
    controller().addDownload(writeDescription(describe({{episode("Fast.mov")}})));
    ASSERT_TRUE(waitFor([&] { return recorder.ended == 1; }));
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    // Unthrottled, every read of at most 256 KiB would be posted: 32 or more.
    EXPECT_LE(recorder.updates.size(), 2 + 60 * took.count());
    EXPECT_DOUBLE_EQ(recorder.updates.back(), 100.0);
}
