#include "DownloadTestSupport.h"
#include "download/DownloadController.h"
#include "download/DownloadDescription.h"
#include "platform/data/PropertyList.h"
#include "platform/movie/MovieAnnotations.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>

namespace fs = std::filesystem;

namespace {

std::mutex logLock;
std::string loggedFailure; // "{link} {reason}" of the last failed transfer

GLogWriterOutput keepFailure(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer) {
    std::string link, reason;
    for (gsize i = 0; i < count; ++i) {
        std::string key = fields[i].key;
        if (key == "FRETLARK_URL" || key == "FRETLARK_REASON")
            (key == "FRETLARK_URL" ? link : reason) = static_cast<const char*>(fields[i].value);
    }
    std::lock_guard held(logLock);
    if (!link.empty())
        loggedFailure = link + " " + reason;
    return g_log_writer_default(level, fields, count, nullptr);
}

const bool writerInstalled = (g_log_set_writer_func(keepFailure, nullptr, nullptr), true);

class DownloadControllerTest : public DownloadTest {
protected:
    DownloadController& controller() { return DownloadController::sharedInstance(&recorder); }

    void queue(const std::vector<std::vector<EpisodeValues>>& series) {
        auto document = DownloadDescription::parse(describe(series));
        ASSERT_NE(document, nullptr);
        controller().queueDocument(document->document_element());
    }

    bool allRecordsConsumed() { return !fs::exists(workFolder()) || fs::is_empty(workFolder()); }

    void setSpeed(std::int64_t bytesPerSecond) {
        FaultPlan plan;
        plan.bytesPerSecond = bytesPerSecond;
        store->store().setFaults(plan);
    }

    // Starts a slow download of the episodes and pauses while the first one is under way.
    void pauseDuringFirstTransfer(const std::vector<EpisodeValues>& episodes, FaultPlan plan = {}) {
        plan.bytesPerSecond = 600000;
        store->store().setFaults(plan);
        recorder = ProgressRecorder();
        controller().addDownload(writeDescription(describe({episodes})));
        ASSERT_TRUE(waitFor([&] { return !recorder.updates.empty(); }));
        controller().pauseDownloads();
        EXPECT_FALSE(controller().canPauseDownloads());
        ASSERT_TRUE(waitFor([&] { return recorder.ended == 1; }));
    }

    // A new run of the program: a fresh controller that resumes what the last one left, until
    // every lesson has ended (their notifications may still be on their way when the records go).
    void restartAndResume(int lessons, const FaultPlan& plan = {}) {
        DownloadController::uninitialize();
        recorder = ProgressRecorder();
        store->store().setFaults(plan);
        ASSERT_TRUE(controller().checkForResumption());
        controller().startResumption();
        controller().startDownloader();
        ASSERT_TRUE(waitFor([&] { return allRecordsConsumed(); }));
        ASSERT_TRUE(waitFor([&] { return recorder.ended == lessons; }));
    }

    static std::string upper(std::string path) {
        std::transform(path.begin(), path.end(), path.begin(), ::toupper);
        return path;
    }

    std::vector<StoreRequest> requestsFor(const std::string& lesson) {
        auto all = store->store().requests();
        std::vector<StoreRequest> matching;
        std::copy_if(all.begin(), all.end(), std::back_inserter(matching),
                     [&](const StoreRequest& r) { return r.path == "/lessons/" + lesson; });
        return matching;
    }
};

} // namespace

TEST_F(DownloadControllerTest, ADescriptionReservesAndQueuesEveryNewLessonInDocumentOrder) {
    std::string first = makeLesson("Blues.Lick.mov", 300000, 1);
    std::string second = makeLesson("Second.pdf", 200000, 2);
    EpisodeValues one = episode("Blues.Lick.mov");
    one.instrument = "Bass ";
    one.category = "Grooves\n";
    EpisodeValues two = episode("Second.pdf");
    two.instrument = "Guitar";
    EpisodeValues complete = episode("Complete.mov");
    EpisodeValues placeholder = episode("Placeholder.mov");
    writeFile(libraryPath(complete), "lesson content");
    writeFile(libraryPath(placeholder), "");
    queue({{one, complete}, {placeholder, two}});

    for (const EpisodeValues& values : {one, two}) {
        EXPECT_EQ(sizeOfFile(libraryPath(values)), 0) << "placeholder";
        std::string link = purchases() + "/Downloads/" + values.filename;
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), libraryPath(values));
    }
    auto record = EpisodeRecord::readFromFile(workFolder() + "/Blues.Lick.plist");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->value("Link"), one.link);
    EXPECT_EQ(record->value("Category"), "Grooves\n");
    EXPECT_TRUE(fileExists(workFolder() + "/Second.plist"));
    // A lesson already in the library, complete or reserved, is never queued again.
    EXPECT_EQ(readFile(libraryPath(complete)), "lesson content");
    EXPECT_FALSE(fileExists(purchases() + "/Downloads/Complete.mov"));
    EXPECT_FALSE(fileExists(workFolder() + "/Complete.plist"));
    EXPECT_FALSE(fileExists(workFolder() + "/Placeholder.plist"));

    controller().startDownloader();
    ASSERT_TRUE(waitFor([&] { return allRecordsConsumed() && recorder.ended == 2; }));
    EXPECT_EQ(recorder.started, (std::vector<std::string>{libraryPath(one), libraryPath(two)}));
    EXPECT_EQ(sha256OfFile(libraryPath(one)), sha256OfFile(first));
    EXPECT_EQ(sha256OfFile(libraryPath(two)), sha256OfFile(second));
    EXPECT_FALSE(controller().fileIsDownloading(libraryPath(two)));
}

TEST_F(DownloadControllerTest, AddDownloadConsumesTheDescriptionAndKeepsAnUnreadableOne) {
    makeLesson("Whole.mov", 1000);
    std::string path = writeDescription(describe({{episode("Whole.mov")}}));
    controller().addDownload(path);
    EXPECT_FALSE(fileExists(path));
    EXPECT_TRUE(controller().canPauseDownloads());
    ASSERT_TRUE(waitFor([&] { return allRecordsConsumed() && recorder.ended == 1; }));

    std::string broken = writeDescription("<Download><Series>");
    controller().addDownload(broken);
    EXPECT_TRUE(fileExists(broken));
    controller().addDownload(workFolder() + "/missing.xml");
    auto links = fs::directory_iterator(purchases() + "/Downloads");
    EXPECT_EQ(std::distance(fs::begin(links), fs::end(links)), 1);
}

TEST_F(DownloadControllerTest, MaliciousDescriptionsWriteNothingOutsideThePurchasesFolder) {
    makeLesson("Good.mov", 5000);
    std::vector<EpisodeValues> episodes;
    auto hostile = [&](auto change) {
        EpisodeValues values = episode("Bad.mov");
        change(values);
        episodes.push_back(values);
    };
    hostile([](EpisodeValues& v) { v.instrument = "../../../Escaped"; });
    hostile([&](EpisodeValues& v) { v.category = root() + "/Absolute"; });
    hostile([](EpisodeValues& v) { v.subCategory = "a/../../x"; });
    hostile([](EpisodeValues& v) { v.filename = "../Escaped.mov"; });
    hostile([](EpisodeValues& v) { v.filename = ".."; });
    hostile([](EpisodeValues& v) { v.instrument = ""; });
    hostile([](EpisodeValues& v) { v.link = "file:///etc/passwd"; });
    episodes.push_back(episode("Good.mov"));
    std::string xml = describe({episodes});
    // An Episode lacking its Level element.
    std::string::size_type level = xml.find("<Level>");
    xml.erase(level, xml.find("</Level>") + 8 - level);
    controller().addDownload(writeDescription(xml));
    ASSERT_TRUE(waitFor([&] { return allRecordsConsumed() && recorder.ended == 1; }));

    EXPECT_EQ(recorder.started, std::vector<std::string>{libraryPath(episode("Good.mov"))});
    EXPECT_FALSE(fileExists(home() + "/Escaped"));
    EXPECT_FALSE(fileExists(root() + "/Absolute"));
    EXPECT_FALSE(fileExists(purchases() + "/Bass/Grooves/Escaped.mov"));
    for (const auto& entry : fs::recursive_directory_iterator(home() + "/Music/Fretlark"))
        EXPECT_EQ(entry.path().string().rfind(purchases(), 0), 0u) << entry.path();
}

TEST_F(DownloadControllerTest, ProgressIsSentOnlyWhenTheLengthIsKnownAndNamesTheLesson) {
    makeLesson("Known.mov", 3 * 1024 * 1024, 3);
    setSpeed(3 * 1024 * 1024);
    std::string known = libraryPath(episode("Known.mov"));
    queue({{episode("Known.mov")}});
    controller().startDownloader();
    ASSERT_TRUE(waitFor([&] { return !recorder.updates.empty(); }));
    EXPECT_TRUE(controller().fileIsDownloading(upper(known)));
    EXPECT_FALSE(controller().fileIsDownloading(purchases() + "/Other.mov"));
    ASSERT_TRUE(waitFor([&] { return allRecordsConsumed() && recorder.ended == 1; }));
    EXPECT_FALSE(controller().fileIsDownloading(known));
    ASSERT_GT(recorder.updates.size(), 2u);
    EXPECT_TRUE(std::is_sorted(recorder.updates.begin(), recorder.updates.end()));
    EXPECT_DOUBLE_EQ(recorder.updates.back(), 100.0);
    std::string unknown = makeLesson("Unknown.mov", 500000, 4);
    FaultPlan plan;
    plan.noContentLength = true;
    store->store().setFaults(plan);
    recorder = ProgressRecorder();
    queue({{episode("Unknown.mov")}});
    ASSERT_TRUE(waitFor([&] { return allRecordsConsumed() && recorder.ended == 1; }));
    EXPECT_TRUE(recorder.updates.empty());
    EXPECT_EQ(recorder.started.size(), 1u);
    EXPECT_EQ(sha256OfFile(libraryPath(episode("Unknown.mov"))), sha256OfFile(unknown));
}

TEST_F(DownloadControllerTest, AFinishedMovLessonCarriesItsCategoriesButAnMp4IsLeftAlone) {
    std::string movie = makeLesson("Thumb.mov", 1);
    std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=64x48:rate=10 "
        "-t 1 -c:v libx264 -pix_fmt yuv420p -f mov '" +
        movie + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // Record files are named without the extension, so the two lessons need different names.
    fs::copy_file(movie, fs::path(movie).replace_filename("Pop.mp4"));
    EpisodeValues mov = episode("Thumb.mov");
    EpisodeValues mp4 = episode("Pop.mp4");
    mov.category = mp4.category = "Rhythm";
    mov.subCategory = mp4.subCategory = "Slap";
    mov.level = mp4.level = "Advanced";
    queue({{mov, mp4}});
    controller().startDownloader();
    ASSERT_TRUE(waitFor([&] { return allRecordsConsumed() && recorder.ended == 2; }));

    auto annotated = MovieAnnotations::open(libraryPath(mov));
    ASSERT_TRUE(annotated);
    EXPECT_EQ(annotated->comment(), "Rhythm Slap");
    EXPECT_EQ(annotated->description(), "Bass Advanced");
    EXPECT_EQ(sha256OfFile(libraryPath(mp4)), sha256OfFile(movie));
}

TEST_F(DownloadControllerTest, AFailedOrVanishedLessonIsSkippedAndTheWorkerGoesOn) {
    std::string good = makeLesson("Good.mov", 100000);
    EpisodeValues missing = episode("Missing.mov");
    queue({{missing, episode("Gone.mov"), episode("Good.mov")}});
    fs::remove(workFolder() + "/Gone.plist");
    controller().startDownloader();
    ASSERT_TRUE(waitFor([&] { return recorder.ended == 2; }));
    ASSERT_TRUE(waitFor([&] { return !fileExists(workFolder() + "/Good.plist"); }));
    EXPECT_TRUE(fileExists(workFolder() + "/Missing.plist")) << "a failed lesson keeps its record";
    EXPECT_EQ(sizeOfFile(libraryPath(missing)), 0);
    EXPECT_EQ(recorder.started, std::vector<std::string>{libraryPath(episode("Good.mov"))});
    EXPECT_EQ(sha256OfFile(libraryPath(episode("Good.mov"))), sha256OfFile(good));
    EXPECT_FALSE(controller().fileIsDownloading(libraryPath(missing)));
}

TEST_F(DownloadControllerTest, APausedLessonIsContinuedFirstFromItsSavedByteAfterARestart) {
    std::string a = makeLesson("A.mov", 1500000, 1);
    std::string b = makeLesson("B.mov", 1500000, 2);
    std::string c = makeLesson("C.mov", 1500000, 3);
    pauseDuringFirstTransfer({episode("B.mov"), episode("C.mov"), episode("A.mov")});
    std::string pausedPath = libraryPath(episode("B.mov"));
    EXPECT_EQ(recorder.started, std::vector<std::string>{pausedPath});
    EXPECT_FALSE(controller().fileIsDownloading(pausedPath));
    EXPECT_TRUE(fileExists(cacheFolder() + "/ResumeData"));
    for (const char* record : {"A", "B", "C"})
        EXPECT_TRUE(fileExists(workFolder() + "/" + record + ".plist")) << record;
    auto saved = PropertyList::read(cacheFolder() + "/B.plist");
    ASSERT_TRUE(saved);
    EXPECT_EQ(PropertyList::stringValue(*saved, "SavedFilename"), pausedPath);
    EXPECT_EQ(PropertyList::integerValue(*saved, "ExpectedLength"), 1500000);
    std::int64_t partial = sizeOfFile(pausedPath);
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, 1500000);
    EXPECT_EQ(PropertyList::integerValue(*saved, "ReceivedLength"), partial);
    double pausedPercent = recorder.updates.back();

    restartAndResume(3);
    EXPECT_EQ(recorder.started, (std::vector<std::string>{pausedPath, libraryPath(episode("A.mov")),
                                                          libraryPath(episode("C.mov"))}));
    auto resumed = requestsFor("B.mov").back();
    EXPECT_EQ(resumed.range, "bytes=" + std::to_string(partial) + "-");
    EXPECT_EQ(resumed.status, 206);
    ASSERT_FALSE(recorder.updates.empty());
    EXPECT_GT(recorder.updates.front(), pausedPercent);
    EXPECT_EQ(sha256OfFile(libraryPath(episode("A.mov"))), sha256OfFile(a));
    EXPECT_EQ(sha256OfFile(pausedPath), sha256OfFile(b));
    EXPECT_EQ(sha256OfFile(libraryPath(episode("C.mov"))), sha256OfFile(c));
    EXPECT_FALSE(fileExists(cacheFolder() + "/ResumeData"));
    EXPECT_FALSE(controller().checkForResumption());
}

TEST_F(DownloadControllerTest, AContinuedTransferCanBePausedAndContinuedAgain) {
    std::string b = makeLesson("B.mov", 2000000, 2);
    pauseDuringFirstTransfer({episode("B.mov")});
    std::int64_t firstPause = sizeOfFile(libraryPath(episode("B.mov")));

    DownloadController::uninitialize();
    recorder = ProgressRecorder();
    controller().resumeDownloadsIfNeeded();
    ASSERT_TRUE(waitFor([&] { return recorder.updates.size() > 3; }));
    controller().pauseDownloads();
    ASSERT_TRUE(waitFor([&] { return recorder.ended == 1; }));
    std::int64_t secondPause = sizeOfFile(libraryPath(episode("B.mov")));
    EXPECT_GT(secondPause, firstPause);
    EXPECT_TRUE(fileExists(cacheFolder() + "/ResumeData"));

    restartAndResume(1);
    auto requests = requestsFor("B.mov");
    EXPECT_EQ(requests.back().range, "bytes=" + std::to_string(secondPause) + "-");
    EXPECT_EQ(requests.back().status, 206);
    EXPECT_EQ(sha256OfFile(libraryPath(episode("B.mov"))), sha256OfFile(b));
}

// Whatever stands in the way of continuing, the restart still gives the exact lesson.
TEST_F(DownloadControllerTest, WhenALessonCannotContinueItIsFetchedAgainWhole) {
    const struct {
        const char* name;
        bool keepResumeData;
        void (*fault)(FaultPlan&);
        const char* range;
    } cases[] = {
        {"no resume data", false, [](FaultPlan&) {}, ""},
        {"server ignores Range", true, [](FaultPlan& p) { p.ignoreRange = true; }, "bytes="},
        {"lesson changed on the server", true, [](FaultPlan& p) { p.changeOnRange = true; },
         "bytes="},
        // The continuation is refused and the lesson asked for again without a range.
        {"a 206 from the wrong byte", true, [](FaultPlan& p) { p.wrongStart = true; }, ""},
        {"a 416", true, [](FaultPlan& p) { p.unsatisfiable = true; }, ""},
        {"a 206 that ignores If-Range", true,
         [](FaultPlan& p) { p.ignoreIfRange = p.changeOnRange = true; }, ""}};
    std::string b = makeLesson("B.mov", 1500000, 2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadController::uninitialize();
        fs::remove_all(cacheFolder());
        fs::remove_all(purchases());
        pauseDuringFirstTransfer({episode("B.mov")});
        if (!c.keepResumeData)
            fs::remove(cacheFolder() + "/ResumeData");
        FaultPlan plan;
        c.fault(plan);
        DownloadController::uninitialize();
        store->store().setFaults(plan);
        controller().resumeDownloadsIfNeeded();
        ASSERT_TRUE(waitFor([&] { return allRecordsConsumed(); }));
        auto last = requestsFor("B.mov").back();
        EXPECT_EQ(last.range.substr(0, 6), c.range);
        EXPECT_EQ(last.status, 200);
        EXPECT_EQ(sha256OfFile(libraryPath(episode("B.mov"))), sha256OfFile(b));
    }
}

TEST_F(DownloadControllerTest, DeletingAPausedLessonRemovesItsLeftovers) {
    makeLesson("B.mov", 1500000, 2);
    EpisodeValues b = episode("B.mov");
    pauseDuringFirstTransfer({b});
    EXPECT_TRUE(controller().fileIsPartial(upper(libraryPath(b))));
    EXPECT_FALSE(controller().fileIsPartial(purchases() + "/Other.mov"));

    EXPECT_TRUE(controller().deletePartialFile("ignored"));
    EXPECT_FALSE(fileExists(cacheFolder() + "/B.plist"));
    EXPECT_FALSE(fileExists(workFolder() + "/B.plist"));
    EXPECT_FALSE(fileExists(cacheFolder() + "/ResumeData"));
    EXPECT_TRUE(controller().fileIsPartial(libraryPath(b))) << "the answer is cached";
    EXPECT_FALSE(controller().deletePartialFile(libraryPath(b)));

    controller().startDownloader();
    EXPECT_FALSE(controller().fileIsPartial(libraryPath(b)));
    EXPECT_FALSE(controller().deletePartialFile(libraryPath(b)));
    controller().pauseDownloads();
    EXPECT_FALSE(controller().fileIsPartial(libraryPath(b)));
}

TEST_F(DownloadControllerTest, LeftoversOfAnEarlierRunAreFoundWhateverTheirName) {
    controller().startDownloader();
    EXPECT_TRUE(controller().canPauseDownloads());
    controller().pauseDownloads();
    EXPECT_FALSE(controller().canPauseDownloads());
    EXPECT_FALSE(controller().checkForResumption()) << "pausing an idle worker writes nothing";
    EXPECT_EQ(recorder.ended, 0);

    writeFile(root() + "/empty", "");
    writeFile(root() + "/full", "x");
    fs::create_symlink(root() + "/nowhere", root() + "/dangling");
    for (const char* empty : {"/empty", "/missing", "/dangling"})
        EXPECT_TRUE(DownloadController::fileIsEmpty(root() + empty)) << empty;
    EXPECT_FALSE(DownloadController::fileIsEmpty(root() + "/full"));

    writeFile(cacheFolder() + "/Notesplist", "");
    EXPECT_TRUE(controller().checkForResumption());
    EXPECT_FALSE(controller().fileIsPartial(cacheFolder() + "/Notesplist"));
    controller().startResumption();
    EXPECT_FALSE(fileExists(cacheFolder() + "/Notesplist"));
    controller().startDownloader();
    controller().pauseDownloads();
    EXPECT_FALSE(controller().checkForResumption());

    EpisodeValues lesson = episode("Lesson 1.mov");
    queue({{lesson}});
    ASSERT_TRUE(controller().checkForResumption());
    EXPECT_TRUE(controller().deleteEmptyFile(libraryPath(lesson)));
    EXPECT_FALSE(fileExists(workFolder() + "/Lesson 1.plist")) << "an unstarted lesson's record";
    EXPECT_TRUE(controller().deleteEmptyFile(libraryPath(lesson)));
    EXPECT_FALSE(controller().checkForResumption());
}

TEST_F(DownloadControllerTest, AFreshTransferCompletesOnlyOn200AndTheLogSaysWhyNot) {
    FaultPlan plans[2];
    plans[0].partialForPlain = true;
    plans[1].status = 204;
    for (const FaultPlan& plan : plans) {
        std::string status = plan.status ? "204" : "206", url = store->lessonURL(status + ".mov");
        makeLesson(status + ".mov", 400000);
        store->store().setFaults(plan);
        controller().addDownload(writeDescription(describe({{episode(status + ".mov")}})));
        EXPECT_TRUE(waitFor([&] {
            std::lock_guard held(logLock);
            return loggedFailure == url + " HTTP status " + status;
        }));
        EXPECT_EQ(sizeOfFile(libraryPath(episode(status + ".mov"))), 0);
    }
}

TEST_F(DownloadControllerTest, LessonsSharingABaseNameOrAFileNameKeepRecordsOfTheirOwn) {
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
    restartAndResume(2);
    EXPECT_EQ(sha256OfFile(libraryPath(lessons[0])), sha256OfFile(sources[0]));
    EXPECT_EQ(sha256OfFile(libraryPath(lessons[1])), sha256OfFile(sources[1]));
    EXPECT_EQ(sizeOfFile(libraryPath(lessons[2])), 0) << "its record alone was deleted";
}

TEST_F(DownloadControllerTest, ResumeDataServesOnlyItsOwnLinkAndAPauseWithoutAnyClearsIt) {
    makeLesson("B.mov", 1500000, 1);
    std::string c = makeLesson("C.mov", 1500000, 2);
    pauseDuringFirstTransfer({episode("B.mov")});
    auto record = PropertyList::read(workFolder() + "/B.plist");
    (*record)["Link"] = store->lessonURL("C.mov");
    PropertyList::writeAtomically(workFolder() + "/B.plist", *record);
    restartAndResume(1);
    EXPECT_EQ(sha256OfFile(libraryPath(episode("B.mov"))), sha256OfFile(c));

    writeFile(cacheFolder() + "/ResumeData", "stale");
    FaultPlan noValidator;
    noValidator.noValidator = true;
    pauseDuringFirstTransfer({episode("C.mov")}, noValidator);
    EXPECT_FALSE(fileExists(cacheFolder() + "/ResumeData"));
}

TEST_F(DownloadControllerTest, AHomeBehindASymbolicLinkAnswersForTheRealPath) {
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

TEST_F(DownloadControllerTest, ProgressReachesTheMainThreadAtMostAboutSixtyTimesASecond) {
    makeLesson("Fast.mov", 8 * 1024 * 1024);
    auto start = std::chrono::steady_clock::now();
    controller().addDownload(writeDescription(describe({{episode("Fast.mov")}})));
    ASSERT_TRUE(waitFor([&] { return recorder.ended == 1; }));
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    // Unthrottled, every read of at most 256 KiB would be posted: 32 or more.
    EXPECT_LE(recorder.updates.size(), 2 + 60 * took.count());
    EXPECT_DOUBLE_EQ(recorder.updates.back(), 100.0);
}
