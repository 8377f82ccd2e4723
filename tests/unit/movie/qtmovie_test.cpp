#include "MovieMedia.h"

#include "platform/MainThread.h"
#include "platform/movie/BigEndian.h"
#include "platform/movie/MovieAnnotations.h"
#include "platform/movie/NotificationCenter.h"
#include "platform/movie/QTMovie.h"

#include "TestEnvironment.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// What one movie posts: its rate changes in order and its ends.
class Recorder {
public:
    explicit Recorder(const QTMovie& movie) {
        NotificationCenter::defaultCenter().addObserver(
            this,
            [this](const Notification& n) {
                rates.push_back(n.userInfo.at(QTMovieRateDidChangeNotificationParameter));
            },
            QTMovieRateDidChangeNotification, &movie);
        NotificationCenter::defaultCenter().addObserver(
            this, [this](const Notification&) { ++ends; }, QTMovieDidEndNotification, &movie);
    }
    ~Recorder() { NotificationCenter::defaultCenter().removeObserver(this); }

    std::vector<double> rates;
    int ends = 0;
};

double seconds(QTTime time) {
    return static_cast<double>(time.timeValue) / time.timeScale;
}

class QTMovieTest : public FreshEnvironmentTest {
protected:
    void SetUp() override {
        FreshEnvironmentTest::SetUp();
        MainThread::adopt();
    }

    std::unique_ptr<QTMovie> open(const std::string& path) {
        auto movie = std::make_unique<QTMovie>();
        std::string error;
        EXPECT_TRUE(movie->initWithFile(path, &error)) << error;
        return movie;
    }

    // Plays until the movie stops by itself; answers the seconds that took.
    static double playUntilStopped(QTMovie& movie, std::chrono::milliseconds limit = 8s) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(spinUntil([&] { return movie.rate() == 0; }, limit));
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

} // namespace

TEST_F(QTMovieTest, OpensALessonFromItsStructureAloneAndOnAnyThreadForItsAnnotations) {
    std::string path = MovieMedia::lesson({.seconds = 2, .width = 176, .height = 144});
    ASSERT_TRUE(QTMovie::canInitWithFile(path));
    auto movie = open(path);
    EXPECT_EQ(movie->timeScale(), 1000) << "ffmpeg's movie header scale";
    EXPECT_NEAR(seconds(movie->duration()), 2.0, 0.1);
    EXPECT_EQ(movie->naturalSize().width, 176);
    EXPECT_EQ(movie->naturalSize().height, 144);
    EXPECT_EQ(movie->displayName(), fs::path(path).filename().string());
    EXPECT_FALSE(movie->isStillImage());
    movie->setVolume(3.0f);
    EXPECT_EQ(movie->volume(), 1.0f);

    // Building a pipeline off the main thread aborts, so this proves that neither needs one.
    std::string copy = MovieMedia::copy(MovieMedia::lesson({.seconds = 0.5}), root(), "w.mov");
    bool saved = false;
    std::thread worker([&] {
        QTMovie other;
        if (other.initWithFile(copy, nullptr) && other.userData()) {
            other.userData()->setComment("Rhythm Slap");
            saved = other.updateMovieFile();
        }
    });
    worker.join();
    EXPECT_TRUE(saved);
    EXPECT_EQ(MovieAnnotations::open(copy)->comment(), "Rhythm Slap");
}

TEST_F(QTMovieTest, RefusesMissingTruncatedDamagedAndForeignFiles) {
    std::string contents = MovieMedia::readFile(MovieMedia::lesson({.seconds = 1}));
    std::vector<std::string> bad{root() + "/missing.mov", root()};
    for (double fraction : {0.0, 0.1, 0.5, 0.999}) {
        bad.push_back(root() + "/cut-" + std::to_string(fraction) + ".mov");
        MovieMedia::writeFile(bad.back(), contents.substr(0, contents.size() * fraction));
    }
    for (const auto& [name, text] :
         {std::pair{"scrambled.mov", std::string(4, '\0') + contents.substr(4)},
          std::pair{"notes.txt", std::string("Practice the slap pattern slowly.\n")},
          std::pair{"sheet.pdf", std::string("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n")},
          std::pair{
              "broken.png",
              MovieMedia::readFile(MovieMedia::picture("png", 32, 24, "red")).substr(0, 30)}}) {
        bad.push_back(root() + "/" + name);
        MovieMedia::writeFile(bad.back(), text);
    }
    for (const std::string& path : bad) {
        QTMovie movie;
        std::string error;
        EXPECT_FALSE(movie.initWithFile(path, &error)) << path;
        EXPECT_FALSE(error.empty()) << path;
    }
    EXPECT_FALSE(QTMovie::canInitWithFile(root() + "/notes.txt"));
    EXPECT_FALSE(QTMovie::canInitWithFile(root() + "/cut-0.000000.mov")) << "an empty placeholder";
}

TEST_F(QTMovieTest, AStillPictureOpensAsAOneFrameMovieThatEndsAtOnce) {
    std::string path = MovieMedia::picture("png", 40, 30, "blue");
    ASSERT_TRUE(QTMovie::canInitWithFile(path));
    auto movie = open(path);
    EXPECT_TRUE(movie->isStillImage());
    EXPECT_EQ(movie->naturalSize().width, 40);
    EXPECT_EQ(movie->duration().timeValue, 0);
    EXPECT_EQ(movie->userData(), nullptr);
    auto image = movie->posterFrameImage();
    ASSERT_TRUE(image);
    EXPECT_GT(image->pixelAt(20, 15)[2], 200);
    Recorder recorder(*movie);
    movie->play();
    playUntilStopped(*movie);
    EXPECT_EQ(recorder.ends, 1);
}

TEST_F(QTMovieTest, PlaysToTheEndInRealTimeAndSaysSo) {
    auto movie = open(MovieMedia::lesson({.seconds = 1}));
    Recorder recorder(*movie);
    movie->setVisible(true);
    movie->setRate(1.0f);
    EXPECT_GT(playUntilStopped(*movie), 0.7) << "real time, not as fast as it decodes";
    EXPECT_EQ(recorder.rates, (std::vector<double>{1.0, 0.0}));
    EXPECT_EQ(recorder.ends, 1);
    EXPECT_TRUE(movie->currentTimeEqualsDuration());
    EXPECT_GT(movie->framesShown(), 15u);
    movie->gotoBeginning();
    movie->setRate(2.0f);
    playUntilStopped(*movie);
    EXPECT_EQ(recorder.ends, 2) << "and again from the beginning";
}

TEST_F(QTMovieTest, PlayingBackwardsStopsAtTheBeginningWithoutEnding) {
    auto movie = open(MovieMedia::lesson({.seconds = 2}));
    Recorder recorder(*movie);
    movie->setVisible(true);
    movie->setCurrentTime(QTMakeTime(1500, 1000));
    movie->setRate(-2.0f);
    spinUntil([&] { return seconds(movie->currentTime()) < 1.2; }, 3s);
    EXPECT_LT(seconds(movie->currentTime()), 1.4) << "runs backwards";
    playUntilStopped(*movie);
    EXPECT_EQ(recorder.rates, (std::vector<double>{-2.0, 0.0}));
    EXPECT_EQ(recorder.ends, 0);
    EXPECT_EQ(movie->currentTime().timeValue, 0);
}

TEST_F(QTMovieTest, LoopsWithoutEndingInEitherDirection) {
    auto movie = open(MovieMedia::lesson({.seconds = 1}));
    Recorder recorder(*movie);
    movie->setLoops(true);
    for (float rate : {4.0f, -4.0f}) {
        movie->setRate(rate);
        spinFor(1000ms);
        EXPECT_EQ(movie->rate(), rate);
    }
    movie->setLoops(false);
    playUntilStopped(*movie);
    EXPECT_EQ(recorder.ends, 0) << "backwards it stops, it does not end";
}

TEST_F(QTMovieTest, TimesStayInsideTheMovieAndTheControllerIdlesOnlyWhileShown) {
    auto movie = open(MovieMedia::lesson({.seconds = 1}));
    int ticks = 0;
    movie->quickTimeMovieController()->signalIdle().connect([&] { ++ticks; });
    movie->setCurrentTime(QTMakeTime(-300, 600));
    EXPECT_EQ(movie->currentTime().timeValue, 0);
    movie->setCurrentTime(QTMakeTime(99, 1));
    EXPECT_TRUE(movie->currentTimeEqualsDuration());
    movie->setCurrentTime(QTMakeTime(300, 600));
    spinFor(200ms);
    EXPECT_EQ(ticks, 0);
    movie->setVisible(true);
    spinFor(400ms);
    EXPECT_EQ(movie->currentTime().timeValue, 500) << "showing it does not move it";
    EXPECT_TRUE(movie->currentFrameImage());
    EXPECT_GE(ticks, 3);
    EXPECT_LE(ticks, 10);
    movie->setVisible(false);
    int shown = ticks;
    spinFor(200ms);
    EXPECT_EQ(ticks, shown);
}

TEST_F(QTMovieTest, PosterFrameComesFromTheMovieHeadersPosterTime) {
    std::string path = MovieMedia::copy(
        MovieMedia::lesson({.seconds = 2, .audio = false, .colours = {"red", "blue"}}), root(),
        "poster.mov");
    EXPECT_GT(open(path)->posterFrameImage()->pixelAt(10, 10)[0], 200);

    // Poster time 1.5 s, written into the movie header the way QuickTime keeps it.
    auto annotations = MovieAnnotations::open(path);
    ASSERT_TRUE(annotations);
    Atom moov = annotations->file().movieAtom();
    std::uint32_t poster = annotations->file().timeScale() * 3 / 2;
    BigEndian::write32(moov.child(makeFourCC("mvhd"))->payload().data() + 80, poster);
    std::string bytes = MovieMedia::readFile(path);
    std::vector<std::uint8_t> written = moov.bytes();
    bytes.replace(annotations->file().movieAtomPlace().offset, written.size(),
                  std::string(written.begin(), written.end()));
    MovieMedia::writeFile(path, bytes);

    auto movie = open(path);
    EXPECT_EQ(seconds(movie->posterTime()), 1.5);
    auto blue = movie->posterFrameImage();
    ASSERT_TRUE(blue);
    EXPECT_GT(blue->pixelAt(10, 10)[2], 200);
    EXPECT_LT(blue->pixelAt(10, 10)[0], 60);
    movie->gotoPosterFrame();
    EXPECT_EQ(seconds(movie->currentTime()), 1.5);
    EXPECT_EQ(open(MovieMedia::lesson({.seconds = 0.5, .video = false}))->posterImage(), nullptr);
}

TEST_F(QTMovieTest, ARewrittenMovieWithItsAtomAheadOfTheDataStillPlays) {
    std::string path = MovieMedia::copy(MovieMedia::lesson({.seconds = 1, .fastStart = true}),
                                        root(), "faststart.mov");
    auto annotations = MovieAnnotations::open(path);
    ASSERT_TRUE(annotations && annotations->setDescription(std::string(500, 'd')));
    ASSERT_TRUE(annotations->save());
    auto movie = open(path);
    Recorder recorder(*movie);
    movie->setVisible(true);
    movie->setRate(2.0f);
    playUntilStopped(*movie);
    EXPECT_EQ(recorder.ends, 1);
    EXPECT_GT(movie->framesShown(), 10u);
}
