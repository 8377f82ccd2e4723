#include "DownloadTestSupport.h"
#include "download/DownloadController.h"
#include "download/DownloadDescription.h"
#include "platform/data/PropertyList.h"
#include "platform/movie/MovieAnnotations.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

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
    void pauseDuringFirstTransfer(const std::vector<EpisodeValues>& episodes) {
        setSpeed(600000);
        controller().addDownload(writeDescription(describe({episodes})));
        ASSERT_TRUE(waitFor([&] { return !recorder.updates.empty(); }));
        controller().pauseDownloads();
        EXPECT_FALSE(controller().canPauseDownloads());
        ASSERT_TRUE(waitFor([&] { return recorder.ended == 1; }));
    }

    // A new run of the program: a fresh controller that resumes what the last one left.
    void restartAndResume() {
        DownloadController::uninitialize();
        recorder = ProgressRecorder();
        store->store().setFaults(FaultPlan());
        ASSERT_TRUE(controller().checkForResumption());
        controller().startResumption();
        controller().startDownloader();
        ASSERT_TRUE(waitFor([&] { return allRecordsConsumed(); }));
        ASSERT_TRUE(waitFor([&] { return recorder.ended == int(recorder.started.size()); }));
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

TEST_F(DownloadControllerTest, ADescriptionReservesAndQueuesEveryLessonInDocumentOrder) {
    std::string first = makeLesson("First.mov", 300000, 1);
    std::string second = makeLesson("Second.pdf", 200000, 2);
    EpisodeValues one = episode("First.mov");
    EpisodeValues two = episode("Second.pdf");
    two.instrument = "Guitar";
    queue({{one}, {two}});

    for (const EpisodeValues& values : {one, two}) {
        EXPECT_EQ(sizeOfFile(libraryPath(values)), 0) << "placeholder";
        std::string link = purchases() + "/Downloads/" + values.filename;
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), libraryPath(values));
    }
    auto record = EpisodeRecord::readFromFile(workFolder() + "/First.plist");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->value("Link"), one.link);
    EXPECT_EQ(record->value("Artist"), "Demo Artist");
    EXPECT_TRUE(fileExists(workFolder() + "/Second.plist"));

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

TEST_F(DownloadControllerTest, ALessonAlreadyInTheLibraryIsNeverQueuedAgain) {
    EpisodeValues complete = episode("Complete.mov");
    EpisodeValues placeholder = episode("Placeholder.mov");
    writeFile(libraryPath(complete), "lesson content");
    writeFile(libraryPath(placeholder), "");
    queue({{complete, placeholder}});
    EXPECT_EQ(readFile(libraryPath(complete)), "lesson content");
    EXPECT_FALSE(fileExists(purchases() + "/Downloads/Complete.mov"));
    EXPECT_FALSE(fileExists(workFolder() + "/Complete.plist"));
    EXPECT_FALSE(fileExists(workFolder() + "/Placeholder.plist"));
}

TEST_F(DownloadControllerTest, RecordNamesDropOnlyTheLastExtensionAndValuesKeepWhiteSpace) {
    EpisodeValues values = episode("Blues.Lick.mov");
    values.instrument = "Bass ";
    values.category = "Grooves\n";
    queue({{values}});
    EXPECT_TRUE(fileExists(workFolder() + "/Blues.Lick.plist"));
    EXPECT_TRUE(fs::is_directory(purchases() + "/Bass /Grooves\n/Walking"));
    EXPECT_EQ(sizeOfFile(purchases() + "/Bass /Grooves\n/Walking/Blues.Lick.mov"), 0);
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

TEST_F(DownloadControllerTest, AnEntityBombIsQueuedLiterallyWithoutExpansion) {
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE D [<!ENTITY a \"aaaaaaaaaaaaaaaa\">"
                       "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                       "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>";
    std::string body = describe({{episode("Bomb.mov")}});
    body = body.substr(body.find("<Download>"));
    std::string::size_type at = body.find("Bass");
    body.replace(at, 4, "&c;");
    std::string path = writeDescription(bomb + body);
    controller().pauseDownloads();
    auto document = DownloadDescription::parse(readFile(path));
    ASSERT_NE(document, nullptr);
    controller().queueDocument(document->document_element());
    EXPECT_TRUE(fs::is_directory(purchases() + "/&c;"));
}

TEST_F(DownloadControllerTest, ProgressIsSentOnlyWhenTheLengthIsKnown) {
    std::string known = makeLesson("Known.mov", 3 * 1024 * 1024, 3);
    setSpeed(6 * 1024 * 1024); // progress is posted at most about 60 times a second
    queue({{episode("Known.mov")}});
    controller().startDownloader();
    ASSERT_TRUE(waitFor([&] { return allRecordsConsumed() && recorder.ended == 1; }));
    ASSERT_GT(recorder.updates.size(), 2u);
    EXPECT_TRUE(std::is_sorted(recorder.updates.begin(), recorder.updates.end()));
    EXPECT_GT(recorder.updates.front(), 0.0);
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

TEST_F(DownloadControllerTest, AFailedTransferKeepsItsRecordAndTheWorkerGoesOn) {
    std::string good = makeLesson("Good.mov", 100000);
    EpisodeValues missing = episode("Missing.mov");
    EpisodeValues dropped = episode("Dropped.mov");
    dropped.link = store->lessonURL("Missing.mov");
    queue({{missing, episode("Good.mov")}});
    controller().startDownloader();
    ASSERT_TRUE(waitFor([&] { return recorder.ended == 2; }));
    ASSERT_TRUE(waitFor([&] { return !fileExists(workFolder() + "/Good.plist"); }));
    EXPECT_TRUE(fileExists(workFolder() + "/Missing.plist"));
    EXPECT_EQ(sizeOfFile(libraryPath(missing)), 0);
    EXPECT_EQ(recorder.started, std::vector<std::string>{libraryPath(episode("Good.mov"))});
    EXPECT_EQ(sha256OfFile(libraryPath(episode("Good.mov"))), sha256OfFile(good));
    EXPECT_FALSE(controller().fileIsDownloading(libraryPath(missing)));
}

TEST_F(DownloadControllerTest, AVanishedRecordFileIsSkipped) {
    std::string kept = makeLesson("Kept.mov", 10000);
    queue({{episode("Gone.mov"), episode("Kept.mov")}});
    fs::remove(workFolder() + "/Gone.plist");
    controller().startDownloader();
    ASSERT_TRUE(waitFor([&] { return allRecordsConsumed() && recorder.ended == 1; }));
    EXPECT_EQ(recorder.started, std::vector<std::string>{libraryPath(episode("Kept.mov"))});
    EXPECT_EQ(sha256OfFile(libraryPath(episode("Kept.mov"))), sha256OfFile(kept));
}

TEST_F(DownloadControllerTest, AnUnreadableRecordAfterACompletedLessonIsLeftAlone) {
    makeLesson("A.mov", 10000);
    queue({{episode("A.mov")}});
    writeFile(workFolder() + "/Z.plist", "damaged");
    DownloadController::uninitialize();
    controller().resumeDownloadsIfNeeded();
    ASSERT_TRUE(waitFor([&] { return !fileExists(workFolder() + "/A.plist"); }));
    // Give the worker time to take the damaged record before it is stopped.
    waitFor([] { return false; }, std::chrono::milliseconds(300));
    controller().pauseDownloads();
    EXPECT_EQ(readFile(workFolder() + "/Z.plist"), "damaged");
}

TEST_F(DownloadControllerTest, StatusQueriesFollowTheTransfer) {
    makeLesson("Slow.mov", 2000000);
    setSpeed(1000000);
    EpisodeValues slow = episode("Slow.mov");
    queue({{slow}});
    controller().startDownloader();
    ASSERT_TRUE(waitFor([&] { return !recorder.updates.empty(); }));
    std::string upper = libraryPath(slow);
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_TRUE(controller().fileIsDownloading(upper));
    EXPECT_FALSE(controller().fileIsDownloading(purchases() + "/Other.mov"));
    ASSERT_TRUE(waitFor([&] { return recorder.ended == 1; }));
    EXPECT_FALSE(controller().fileIsDownloading(libraryPath(slow)));

    writeFile(root() + "/empty", "");
    writeFile(root() + "/full", "x");
    fs::create_symlink(root() + "/nowhere", root() + "/dangling");
    EXPECT_TRUE(DownloadController::fileIsEmpty(root() + "/empty"));
    EXPECT_TRUE(DownloadController::fileIsEmpty(root() + "/missing"));
    EXPECT_TRUE(DownloadController::fileIsEmpty(root() + "/dangling"));
    EXPECT_FALSE(DownloadController::fileIsEmpty(root() + "/full"));
}

TEST_F(DownloadControllerTest, PausingAnIdleWorkerWritesNothing) {
    controller().startDownloader();
    EXPECT_TRUE(controller().canPauseDownloads());
    controller().pauseDownloads();
    EXPECT_FALSE(controller().canPauseDownloads());
    EXPECT_FALSE(controller().checkForResumption());
    EXPECT_FALSE(fileExists(cacheFolder() + "/ResumeData"));
    EXPECT_EQ(recorder.ended, 0);
    controller().pauseDownloads();
}

TEST_F(DownloadControllerTest, PausingDuringATransferSavesEverythingToContinue) {
    makeLesson("A.mov", 1500000, 1);
    makeLesson("B.mov", 1500000, 2);
    EpisodeValues b = episode("B.mov");
    pauseDuringFirstTransfer({b, episode("A.mov")});

    EXPECT_TRUE(fileExists(cacheFolder() + "/ResumeData"));
    auto saved = PropertyList::read(cacheFolder() + "/B.plist");
    ASSERT_TRUE(saved);
    EXPECT_EQ(PropertyList::stringValue(*saved, "SavedFilename"), libraryPath(b));
    EXPECT_EQ(PropertyList::integerValue(*saved, "ExpectedLength"), 1500000);
    std::int64_t partial = sizeOfFile(libraryPath(b));
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, 1500000);
    EXPECT_EQ(PropertyList::integerValue(*saved, "ReceivedLength"), partial);
    EXPECT_TRUE(fileExists(workFolder() + "/A.plist"));
    EXPECT_TRUE(fileExists(workFolder() + "/B.plist"));
    EXPECT_EQ(recorder.started, std::vector<std::string>{libraryPath(b)});
    EXPECT_FALSE(controller().fileIsDownloading(libraryPath(b)));
}

TEST_F(DownloadControllerTest, ARestartContinuesThePausedLessonFirstFromItsSavedByte) {
    std::string a = makeLesson("A.mov", 1500000, 1);
    std::string b = makeLesson("B.mov", 1500000, 2);
    std::string c = makeLesson("C.mov", 1500000, 3);
    pauseDuringFirstTransfer({episode("B.mov"), episode("C.mov"), episode("A.mov")});
    std::int64_t partial = sizeOfFile(libraryPath(episode("B.mov")));
    double pausedPercent = recorder.updates.back();

    restartAndResume();
    EXPECT_EQ(recorder.started, (std::vector<std::string>{libraryPath(episode("B.mov")),
                                                          libraryPath(episode("A.mov")),
                                                          libraryPath(episode("C.mov"))}));
    auto resumed = requestsFor("B.mov").back();
    EXPECT_EQ(resumed.range, "bytes=" + std::to_string(partial) + "-");
    EXPECT_EQ(resumed.status, 206);
    ASSERT_FALSE(recorder.updates.empty());
    EXPECT_GT(recorder.updates.front(), pausedPercent);
    EXPECT_EQ(sha256OfFile(libraryPath(episode("A.mov"))), sha256OfFile(a));
    EXPECT_EQ(sha256OfFile(libraryPath(episode("B.mov"))), sha256OfFile(b));
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

    restartAndResume();
    auto requests = requestsFor("B.mov");
    EXPECT_EQ(requests.back().range, "bytes=" + std::to_string(secondPause) + "-");
    EXPECT_EQ(requests.back().status, 206);
    EXPECT_EQ(sha256OfFile(libraryPath(episode("B.mov"))), sha256OfFile(b));
}

TEST_F(DownloadControllerTest, WithoutResumeDataThePausedLessonStartsAgain) {
    std::string b = makeLesson("B.mov", 1500000, 2);
    pauseDuringFirstTransfer({episode("B.mov")});
    fs::remove(cacheFolder() + "/ResumeData");
    restartAndResume();
    EXPECT_EQ(requestsFor("B.mov").back().range, "");
    EXPECT_EQ(sha256OfFile(libraryPath(episode("B.mov"))), sha256OfFile(b));
}

TEST_F(DownloadControllerTest, AServerThatIgnoresRangeStillGivesTheExactFile) {
    std::string b = makeLesson("B.mov", 1500000, 2);
    pauseDuringFirstTransfer({episode("B.mov")});
    DownloadController::uninitialize();
    FaultPlan plan;
    plan.ignoreRange = true;
    store->store().setFaults(plan);
    controller().resumeDownloadsIfNeeded();
    ASSERT_TRUE(waitFor([&] { return allRecordsConsumed(); }));
    auto last = requestsFor("B.mov").back();
    EXPECT_NE(last.range, "");
    EXPECT_EQ(last.status, 200);
    EXPECT_EQ(sha256OfFile(libraryPath(episode("B.mov"))), sha256OfFile(b));
}

TEST_F(DownloadControllerTest, ALessonChangedOnTheServerIsFetchedAgainWhole) {
    std::string b = makeLesson("B.mov", 1500000, 2);
    pauseDuringFirstTransfer({episode("B.mov")});
    DownloadController::uninitialize();
    FaultPlan plan;
    plan.changeOnRange = true;
    store->store().setFaults(plan);
    controller().resumeDownloadsIfNeeded();
    ASSERT_TRUE(waitFor([&] { return allRecordsConsumed(); }));
    EXPECT_EQ(requestsFor("B.mov").back().status, 200);
    EXPECT_EQ(sha256OfFile(libraryPath(episode("B.mov"))), sha256OfFile(b));
}

TEST_F(DownloadControllerTest, DeletingAPausedLessonRemovesItsLeftovers) {
    makeLesson("B.mov", 1500000, 2);
    EpisodeValues b = episode("B.mov");
    pauseDuringFirstTransfer({b});
    std::string upper = libraryPath(b);
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_TRUE(controller().fileIsPartial(upper));
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

TEST_F(DownloadControllerTest, DeletingAnUnstartedLessonRemovesItsRecord) {
    EpisodeValues lesson = episode("Lesson 1.mov");
    queue({{lesson}});
    ASSERT_TRUE(fileExists(workFolder() + "/Lesson 1.plist"));
    EXPECT_TRUE(controller().deleteEmptyFile(libraryPath(lesson)));
    EXPECT_FALSE(fileExists(workFolder() + "/Lesson 1.plist"));
    EXPECT_TRUE(controller().deleteEmptyFile(libraryPath(lesson)));
    EXPECT_FALSE(controller().checkForResumption());
}

TEST_F(DownloadControllerTest, LeftoversOfAnEarlierRunAreFoundWhateverTheirName) {
    writeFile(cacheFolder() + "/Notesplist", "");
    EXPECT_TRUE(controller().checkForResumption());
    EXPECT_FALSE(controller().fileIsPartial(cacheFolder() + "/Notesplist"));
    controller().startResumption();
    EXPECT_FALSE(fileExists(cacheFolder() + "/Notesplist"));
    controller().startDownloader();
    controller().pauseDownloads();
    EXPECT_FALSE(controller().checkForResumption());
}
