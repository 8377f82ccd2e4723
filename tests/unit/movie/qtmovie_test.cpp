#include "MovieMedia.h"

#include "platform/MainThread.h"
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

TEST_F(QTMovieTest, OpensALessonFromItsStructureAlone) {
    std::string path = MovieMedia::lesson({.seconds = 2, .width = 176, .height = 144});
    ASSERT_TRUE(QTMovie::canInitWithFile(path));
    auto movie = open(path);
    EXPECT_EQ(movie->timeScale(), 1000) << "ffmpeg's movie header scale";
    EXPECT_NEAR(seconds(movie->duration()), 2.0, 0.1);
    EXPECT_EQ(movie->naturalSize().width, 176);
    EXPECT_EQ(movie->naturalSize().height, 144);
    EXPECT_EQ(movie->fileName(), path);
    EXPECT_EQ(movie->displayName(), fs::path(path).filename().string());
    EXPECT_EQ(movie->rate(), 0);
    EXPECT_EQ(seconds(movie->currentTime()), 0);
    EXPECT_FALSE(movie->isStillImage());
    EXPECT_EQ(movie->framesShown(), 0u);

    movie->setEditable(true);
    EXPECT_TRUE(movie->editable());
    movie->setMuted(true);
    movie->setVolume(3.0f);
    EXPECT_TRUE(movie->muted());
    EXPECT_EQ(movie->volume(), 1.0f);
}

TEST_F(QTMovieTest, OpensForItsAnnotationsOnAnyThreadWithoutAPipeline) {
    // Building a pipeline off the main thread aborts, so opening and annotating there proves
    // that neither needs one.
    std::string path = MovieMedia::copy(MovieMedia::lesson({.seconds = 0.5}), root(), "worker.mov");
    bool saved = false;
    std::thread worker([&] {
        QTMovie movie;
        if (!movie.initWithFile(path, nullptr) || !movie.userData())
            return;
        movie.userData()->setComment("Rhythm Slap");
        saved = movie.updateMovieFile();
    });
    worker.join();
    EXPECT_TRUE(saved);
    EXPECT_EQ(MovieAnnotations::open(path)->comment(), "Rhythm Slap");
}

TEST_F(QTMovieTest, RefusesMissingTruncatedDamagedAndForeignFiles) {
    std::string lesson = MovieMedia::lesson({.seconds = 1});
    std::string contents = MovieMedia::readFile(lesson);
    std::vector<std::string> bad;
    for (double fraction : {0.0, 0.1, 0.5, 0.9, 0.999}) {
        std::string path = root() + "/cut-" + std::to_string(fraction) + ".mov";
        MovieMedia::writeFile(
            path, contents.substr(0, static_cast<std::size_t>(contents.size() * fraction)));
        bad.push_back(path);
    }
    std::string scrambled = root() + "/scrambled.mov";
    MovieMedia::writeFile(scrambled, std::string(4, '\0') + contents.substr(4));
    bad.push_back(scrambled);
    std::string text = root() + "/notes.txt";
    MovieMedia::writeFile(text, "Practice the slap pattern slowly.\n");
    bad.push_back(text);
    std::string pdf = root() + "/sheet.pdf";
    MovieMedia::writeFile(pdf, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    bad.push_back(pdf);
    std::string brokenPicture = root() + "/broken.png";
    MovieMedia::writeFile(
        brokenPicture,
        MovieMedia::readFile(MovieMedia::picture("png", 32, 24, "red")).substr(0, 30));
    bad.push_back(brokenPicture);
    bad.push_back(root() + "/missing.mov");
    bad.push_back(root());

    for (const std::string& path : bad) {
        QTMovie movie;
        std::string error;
        EXPECT_FALSE(movie.initWithFile(path, &error)) << path;
        EXPECT_FALSE(error.empty()) << path;
    }
    EXPECT_FALSE(QTMovie::canInitWithFile(text));
    EXPECT_FALSE(QTMovie::canInitWithFile(pdf));
    EXPECT_FALSE(QTMovie::canInitWithFile(root() + "/cut-0.000000.mov")) << "an empty placeholder";
}

TEST_F(QTMovieTest, StillPicturesOpenAsOneFrameMovies) {
    for (const char* extension : {"png", "svg"}) {
        SCOPED_TRACE(extension);
        std::string path = MovieMedia::picture(extension, 40, 30, "blue");
        ASSERT_TRUE(QTMovie::canInitWithFile(path));
        auto movie = open(path);
        EXPECT_TRUE(movie->isStillImage());
        EXPECT_EQ(movie->naturalSize().width, 40);
        EXPECT_EQ(movie->naturalSize().height, 30);
        EXPECT_EQ(movie->timeScale(), QTMovie::defaultTimeScale);
        EXPECT_EQ(movie->duration().timeValue, 0);
        EXPECT_EQ(movie->userData(), nullptr);
        auto image = movie->posterFrameImage();
        ASSERT_TRUE(image);
        auto pixel = image->pixelAt(20, 15);
        EXPECT_LT(pixel[0], 30);
        EXPECT_GT(pixel[2], 200);

        Recorder recorder(*movie);
        movie->play();
        playUntilStopped(*movie);
        EXPECT_EQ(recorder.ends, 1) << "playing a picture ends at once";
    }
}

TEST_F(QTMovieTest, PlaysToTheEndAndSaysSo) {
    auto movie = open(MovieMedia::lesson({.seconds = 1}));
    Recorder recorder(*movie);
    movie->setVisible(true);
    movie->setRate(1.0f);
    double took = playUntilStopped(*movie);
    EXPECT_GT(took, 0.7) << "real time, not as fast as it decodes";
    EXPECT_EQ(recorder.rates, (std::vector<double>{1.0, 0.0}));
    EXPECT_EQ(recorder.ends, 1);
    EXPECT_EQ(QTTimeCompare(movie->currentTime(), movie->duration()), QTOrderedSame);
    EXPECT_GT(movie->framesShown(), 15u);

    // From the beginning again.
    movie->gotoBeginning();
    EXPECT_EQ(movie->currentTime().timeValue, 0);
    movie->setRate(2.0f);
    playUntilStopped(*movie);
    EXPECT_EQ(recorder.ends, 2);
}

TEST_F(QTMovieTest, RatesScaleTheSpeedOfPlay) {
    auto movie = open(MovieMedia::lesson({.seconds = 4}));
    for (float rate : {2.0f, 0.5f}) {
        SCOPED_TRACE(rate);
        movie->gotoBeginning();
        movie->setRate(rate);
        spinUntil([&] { return seconds(movie->currentTime()) > 0.05; }, 3s);
        double from = seconds(movie->currentTime());
        auto start = std::chrono::steady_clock::now();
        spinFor(800ms);
        double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        double advanced = seconds(movie->currentTime()) - from;
        EXPECT_NEAR(advanced / wall, rate, rate * 0.35);
        movie->stop();
    }
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
    EXPECT_FALSE(movie->currentTimeEqualsDuration());

    // And from the very end of the movie.
    movie->gotoEnd();
    movie->setRate(-4.0f);
    playUntilStopped(*movie);
    EXPECT_EQ(recorder.ends, 0);
    EXPECT_EQ(movie->currentTime().timeValue, 0);
}

TEST_F(QTMovieTest, LoopsWithoutEndingInEitherDirection) {
    auto movie = open(MovieMedia::lesson({.seconds = 1}));
    Recorder recorder(*movie);
    movie->setLoops(true);
    movie->setRate(4.0f);
    spinFor(1000ms);
    EXPECT_EQ(movie->rate(), 4.0f);
    EXPECT_EQ(recorder.ends, 0);
    movie->setRate(-4.0f);
    spinFor(1000ms);
    EXPECT_EQ(movie->rate(), -4.0f);
    movie->setLoops(false);
    playUntilStopped(*movie);
    EXPECT_EQ(recorder.ends, 0) << "backwards it stops, it does not end";
}

TEST_F(QTMovieTest, TimesStayInsideTheMovie) {
    auto movie = open(MovieMedia::lesson({.seconds = 1}));
    movie->setCurrentTime(QTMakeTime(-300, 600));
    EXPECT_EQ(movie->currentTime().timeValue, 0);
    movie->setCurrentTime(QTMakeTime(99, 1));
    EXPECT_TRUE(movie->currentTimeEqualsDuration());
    movie->setCurrentTime(QTMakeTime(300, 600));
    EXPECT_EQ(movie->currentTime().timeValue, 500);
    movie->setVisible(true);
    spinFor(300ms);
    EXPECT_EQ(movie->currentTime().timeValue, 500) << "showing it does not move it";
    ASSERT_TRUE(movie->currentFrameImage());
}

TEST_F(QTMovieTest, PosterFrameComesFromTheMovieHeadersPosterTime) {
    std::string path = MovieMedia::copy(
        MovieMedia::lesson({.seconds = 2, .audio = false, .colours = {"red", "blue"}}), root(),
        "poster.mov");
    auto first = open(path);
    auto red = first->posterFrameImage();
    ASSERT_TRUE(red);
    EXPECT_GT(red->pixelAt(10, 10)[0], 200);

    // Poster time 1.5 s, written into the movie header the way QuickTime keeps it.
    auto annotations = MovieAnnotations::open(path);
    ASSERT_TRUE(annotations);
    Atom moov = annotations->file().movieAtom();
    Atom* header = moov.child(makeFourCC("mvhd"));
    ASSERT_TRUE(header);
    std::uint32_t scale = annotations->file().timeScale();
    std::uint32_t poster = scale * 3 / 2;
    header->payload()[80] = static_cast<std::uint8_t>(poster >> 24);
    header->payload()[81] = static_cast<std::uint8_t>(poster >> 16);
    header->payload()[82] = static_cast<std::uint8_t>(poster >> 8);
    header->payload()[83] = static_cast<std::uint8_t>(poster);
    std::string bytes = MovieMedia::readFile(path);
    std::vector<std::uint8_t> written = moov.bytes();
    bytes.replace(annotations->file().movieAtomPlace().offset, written.size(),
                  std::string(written.begin(), written.end()));
    MovieMedia::writeFile(path, bytes);

    auto second = open(path);
    EXPECT_EQ(seconds(second->posterTime()), 1.5);
    auto blue = second->posterFrameImage();
    ASSERT_TRUE(blue);
    EXPECT_GT(blue->pixelAt(10, 10)[2], 200);
    EXPECT_LT(blue->pixelAt(10, 10)[0], 60);
    second->gotoPosterFrame();
    EXPECT_EQ(seconds(second->currentTime()), 1.5);
}

TEST_F(QTMovieTest, AMovieWithoutPicturesHasNoPosterButPlays) {
    auto movie = open(MovieMedia::lesson({.seconds = 0.5, .video = false}));
    EXPECT_EQ(movie->naturalSize().width, 0);
    EXPECT_EQ(movie->posterImage(), nullptr);
    Recorder recorder(*movie);
    movie->setRate(2.0f);
    playUntilStopped(*movie);
    EXPECT_EQ(recorder.ends, 1);
}

TEST_F(QTMovieTest, ARewrittenMovieWithItsAtomAheadOfTheDataStillPlays) {
    std::string path = MovieMedia::copy(MovieMedia::lesson({.seconds = 1, .fastStart = true}),
                                        root(), "faststart.mov");
    auto annotations = MovieAnnotations::open(path);
    ASSERT_TRUE(annotations);
    ASSERT_TRUE(annotations->setDescription(std::string(500, 'd')));
    ASSERT_TRUE(annotations->save());

    auto movie = open(path);
    Recorder recorder(*movie);
    movie->setVisible(true);
    movie->setRate(2.0f);
    playUntilStopped(*movie);
    EXPECT_EQ(recorder.ends, 1);
    EXPECT_GT(movie->framesShown(), 10u);
}

TEST_F(QTMovieTest, TheControllerIdlesOnlyWhileTheMovieIsShown) {
    auto movie = open(MovieMedia::lesson({.seconds = 1}));
    int ticks = 0;
    movie->quickTimeMovieController()->signalIdle().connect([&] { ++ticks; });
    spinFor(200ms);
    EXPECT_EQ(ticks, 0);
    movie->setVisible(true);
    spinFor(400ms);
    EXPECT_GE(ticks, 3);
    EXPECT_LE(ticks, 10);
    movie->setVisible(false);
    int shown = ticks;
    spinFor(200ms);
    EXPECT_EQ(ticks, shown);
}
