// The practice engine: sections and the speed trainer, the practice database across restarts,
// kills, moves and damage, and section loops on a real movie whose frames show their number.
#include "FrameNumberLesson.h"
#include "MovieMedia.h"
#include "TestEnvironment.h"

#include "platform/MainThread.h"
#include "platform/movie/NotificationCenter.h"
#include "platform/movie/QTMovie.h"
#include "practice/PracticeMemory.h"

#include <csignal>
#include <filesystem>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t second = 1'000'000'000;

TEST(LessonPractice, AAndBEditTheCurrentSection) {
    struct Step {
        char key; // '[' A, ']' B, '+' add, '-' remove the current one
        double at;
    };
    struct Case {
        std::vector<Step> steps;
        std::vector<std::pair<double, double>> sections;
        int current;
    };
    const Case cases[] = {
        {{{'[', 2}}, {{2, 10}}, 0},
        {{{']', 3}}, {{0, 3}}, 0},
        {{{'[', 2}, {']', 5}}, {{2, 5}}, 0},
        {{{'[', 2}, {']', 5}, {'[', 7}}, {{7, 10}}, 0}, // A past B: B goes to the end
        {{{'[', 2}, {']', 5}, {']', 1}}, {{0, 1}}, 0},  // B before A: A goes to the start
        {{{'[', 9.99}}, {{9.9, 10}}, 0},                // never shorter than a tenth
        {{{'[', 2}, {']', 5}, {'+', 6}}, {{2, 5}, {6, 10}}, 1},
        {{{'[', 2}, {'+', 6}, {'-', 0}}, {{2, 10}}, 0},
        {{{'[', 2}, {'-', 0}, {'[', 4}}, {{4, 10}}, 0},
    };
    for (const Case& c : cases) {
        LessonPractice practice;
        for (const Step& step : c.steps) {
            auto at = static_cast<std::int64_t>(step.at * second);
            if (step.key == '[')
                practice.setSectionStart(at, 10 * second);
            else if (step.key == ']')
                practice.setSectionEnd(at, 10 * second);
            else if (step.key == '+')
                practice.addSection(at, 10 * second);
            else
                practice.removeSection(practice.currentSection);
        }
        std::vector<std::pair<double, double>> sections;
        for (const PracticeSection& section : practice.sections)
            sections.emplace_back(double(section.startNs) / second, double(section.endNs) / second);
        EXPECT_EQ(sections, c.sections) << "case " << &c - cases;
        EXPECT_EQ(practice.currentSection, c.current) << "case " << &c - cases;
    }
}

TEST(SpeedTrainer, StepsTowardTheTargetEachPassAndHoldsIt) {
    struct Case {
        double start, step, target;
        std::vector<double> rates;
    };
    const Case cases[] = {
        {0.6, 0.05, 1.0, {0.6, 0.65, 0.7, 0.75, 0.8, 0.85, 0.9, 0.95, 1.0, 1.0, 1.0}},
        {0.6, 0.15, 1.0, {0.6, 0.75, 0.9, 1.0, 1.0}},
        {1.0, 0.1, 0.7, {1.0, 0.9, 0.8, 0.7, 0.7}},
    };
    for (const Case& c : cases) {
        SpeedTrainer trainer;
        trainer.startRate = c.start;
        trainer.step = c.step;
        trainer.targetRate = c.target;
        trainer.start();
        std::vector<double> rates{trainer.rate()};
        while (rates.size() < c.rates.size())
            rates.push_back(trainer.completePass());
        EXPECT_EQ(rates, c.rates);
        EXPECT_EQ(trainer.passes(), static_cast<int>(c.rates.size()) - 1);
        trainer.resumeAt(c.rates[2]);
        EXPECT_EQ(trainer.passes(), 2);
    }
}

class PracticeMemoryTest : public FreshEnvironmentTest {
protected:
    std::string database() const { return home() + "/.local/share/fretlark/practice.sqlite3"; }
    LessonIdentity lesson(const std::string& path, const std::string& annotations = "Mara") {
        if (!fs::exists(path))
            writeFile(path, std::string(1000, 'x'));
        return {path, fs::file_size(path), annotations};
    }
    static LessonPractice sample() {
        LessonPractice practice;
        practice.positionNs = 42 * second;
        practice.rate = 0.75;
        practice.sections = {{"Intro", 1 * second, 3 * second}, {"Solo ✓", 5 * second, 8 * second}};
        practice.currentSection = 1;
        practice.sectionLoop = true;
        practice.mirrored = true;
        practice.trainer.enabled = true;
        practice.trainer.startRate = 0.5;
        practice.trainer.step = 0.1;
        practice.trainer.targetRate = 0.9;
        practice.practisedMs = 123456;
        return practice;
    }
};

TEST_F(PracticeMemoryTest, EverythingComesBackAfterARestartAndBeforeTheWrite) {
    LessonIdentity lesson = this->lesson(root() + "/Lesson.mov");
    {
        PracticeMemory memory;
        EXPECT_EQ(memory.practiceFor(lesson), std::nullopt);
        memory.remember(lesson, sample());
        EXPECT_EQ(memory.practiceFor(lesson), sample());
    }
    PracticeMemory memory;
    EXPECT_TRUE(memory.isPersistent());
    EXPECT_EQ(memory.practiceFor(lesson), sample());
    EXPECT_EQ(memory.practisedMs(lesson.path), 123456);
}

TEST_F(PracticeMemoryTest, AMovedLessonKeepsItsPracticeWhenSizeAndAnnotationsMatch) {
    struct Case {
        bool oldFileGone;
        std::string annotations;
        std::size_t size;
        bool kept;
    };
    const Case cases[] = {{true, "Mara", 1000, true},
                          {false, "Mara", 1000, false},
                          {true, "Theo", 1000, false},
                          {true, "Mara", 999, false}};
    for (const Case& c : cases) {
        std::string folder = root() + "/case" + std::to_string(&c - cases);
        fs::create_directories(folder + "/Renamed");
        std::string before = folder + "/Lesson 1.mov";
        std::string after = folder + "/Renamed/Lesson One.mov";
        PracticeMemory memory;
        memory.remember(lesson(before), sample());
        memory.flush();
        if (c.oldFileGone)
            fs::rename(before, after);
        writeFile(after, std::string(c.size, 'x'));
        auto found = memory.practiceFor(lesson(after, c.annotations));
        EXPECT_EQ(found.has_value(), c.kept) << "case " << &c - cases;
        if (!c.kept)
            continue;
        EXPECT_EQ(found->sections, sample().sections);
        memory.flush();
        PracticeMemory restarted;
        EXPECT_EQ(restarted.practisedMs(after), 123456);
        EXPECT_EQ(restarted.practisedMs(before), std::nullopt);
    }
}

TEST_F(PracticeMemoryTest, ADamagedDatabaseIsSetAsideAndANewOneStarted) {
    fs::create_directories(fs::path(database()).parent_path());
    writeFile(database(), std::string(4096, '\x5a'));
    LessonIdentity lesson = this->lesson(root() + "/Lesson.mov");
    {
        PracticeMemory memory;
        EXPECT_TRUE(memory.isPersistent());
        memory.remember(lesson, sample());
    }
    EXPECT_EQ(readFile(database() + ".damaged"), std::string(4096, '\x5a'));
    EXPECT_EQ(PracticeMemory().practiceFor(lesson), sample());
}

// The child writes change after change until it is killed: change k holds k sections (one to
// seven), each starting at k, and the position k.
int writeUntilKilled(const std::string& lessonPath) {
    PracticeMemory memory;
    LessonIdentity lesson{lessonPath, 1, ""};
    for (std::int64_t k = 1;; ++k) {
        LessonPractice practice;
        practice.positionNs = k;
        for (std::int64_t n = 0; n <= k % 7; ++n)
            practice.sections.push_back({"Section", k, k + second});
        memory.remember(lesson, practice);
        if (k % 64 == 0)
            memory.flush();
    }
}

TEST_F(PracticeMemoryTest, AKillInTheMiddleOfAChangeLeavesTheLastWholeChange) {
    std::string lesson = root() + "/Lesson.mov";
    for (int delayMs : {30, 120, 400}) {
        gchar* self = g_file_read_link("/proc/self/exe", nullptr);
        std::vector<char*> argv{self, const_cast<char*>("--write-until-killed"),
                                const_cast<char*>(lesson.c_str()), nullptr};
        GPid child = 0;
        ASSERT_TRUE(g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                                  nullptr, &child, nullptr));
        g_free(self);
        std::optional<std::int64_t> seen;
        for (int tries = 0; tries < 500 && !seen; ++tries, g_usleep(10'000)) {
            if (fs::exists(database()))
                seen = PracticeMemory().practisedMs(lesson);
        }
        g_usleep(delayMs * 1000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        ASSERT_TRUE(seen) << "the child wrote nothing";
        auto left = PracticeMemory().practiceFor({lesson, 1, ""});
        ASSERT_TRUE(left);
        std::int64_t k = left->positionNs;
        EXPECT_GT(k, 0);
        EXPECT_EQ(left->sections.size(), static_cast<std::size_t>(k % 7 + 1));
        for (const PracticeSection& section : left->sections)
            EXPECT_EQ(section.startNs, k);
    }
}

// Section loops on the real pipeline: the frames shown on each side of every seam.
class SectionLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        MainThread::adopt();
        setenv("FRETLARK_AUDIO_SINK", "fakesink", 0);
        ASSERT_TRUE(movie.initWithFile(frameNumberLesson(3, 10), nullptr));
        movie.signalFrameChanged().connect([this] {
            if (auto image = movie.currentFrameImage())
                shown.push_back(frameNumber(*image));
        });
        NotificationCenter::defaultCenter().addObserver(
            this, [this](const Notification&) { ++loops; }, QTMovieSectionDidLoopNotification,
            &movie);
        movie.setVisible(true);
    }
    void TearDown() override { NotificationCenter::defaultCenter().removeObserver(this); }

    // The (last before, first after) frames of each jump against the direction of play.
    std::vector<std::pair<int, int>> seams(int direction) const {
        std::vector<std::pair<int, int>> found;
        for (std::size_t i = 1; i < shown.size(); ++i) {
            if ((shown[i] - shown[i - 1]) * direction < 0)
                found.emplace_back(shown[i - 1], shown[i]);
        }
        return found;
    }

    QTMovie movie;
    std::vector<int> shown;
    int loops = 0;
};

TEST_F(SectionLoopTest, AfterEachEndTheNextFrameIsWithinOneFrameOfTheOtherEnd) {
    // Frames 7 to 15 of a lesson of ten frames a second.
    movie.setLoopSection(QTMakeTimeRange(QTMakeTime(450, 600), QTMakeTime(480, 600)));
    const int first = 7;
    const int last = 15;
    for (float rate : {2.0f, -2.0f}) {
        shown.clear();
        int direction = rate > 0 ? 1 : -1;
        movie.setRate(rate);
        ASSERT_TRUE(spinUntil([&] { return seams(direction).size() >= 20; }, 30s))
            << "rate " << rate << ": " << seams(direction).size() << " passes";
        movie.stop();
        for (auto [before, after] : seams(direction)) {
            EXPECT_LE(std::abs(before - (direction > 0 ? last : first)), 1) << "rate " << rate;
            EXPECT_LE(std::abs(after - (direction > 0 ? first : last)), 1) << "rate " << rate;
        }
    }
    EXPECT_GE(loops, 40);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-until-killed")
        return writeUntilKilled(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
