#include "MovieMedia.h"

#include "platform/MainThread.h"
#include "platform/movie/NotificationCenter.h"
#include "player/FrlQTMovie.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// A client of the movie's callbacks, as the transport is: it counts what it is sent and by whom.
class Client {
public:
    void movieDidEndCallBack(FrlQTMovie* movie) { ended.push_back(movie); }
    void movieStoppedCallBack(FrlQTMovie* movie) { stopped.push_back(movie); }
    void moviePlayingCallBack(FrlQTMovie* movie) { playing.push_back(movie); }

    void registerWith(FrlQTMovie& movie) {
        movie.setMovieDidEndNotificationCallback(
            FrlQTMovie::selector<&Client::movieDidEndCallBack>(), this);
        movie.setMovieRateChangeNotificationCallback(
            FrlQTMovie::selector<&Client::movieStoppedCallBack>(), this);
        movie.setMoviePlaybackNotificationCallback(
            FrlQTMovie::selector<&Client::moviePlayingCallBack>(), this);
    }

    std::vector<FrlQTMovie*> ended;
    std::vector<FrlQTMovie*> stopped;
    std::vector<FrlQTMovie*> playing;
};

class FrlQTMovieTest : public FreshEnvironmentTest {
protected:
    void SetUp() override {
        FreshEnvironmentTest::SetUp();
        MainThread::adopt();
        setenv("LANG", "en_US.UTF-8", 1);
    }

    static std::unique_ptr<FrlQTMovie> open(const std::string& path) {
        auto movie = std::make_unique<FrlQTMovie>();
        EXPECT_TRUE(movie->initWithFile(path, nullptr));
        return movie;
    }

    static std::size_t observations(const FrlQTMovie& movie, const char* name) {
        return NotificationCenter::defaultCenter().observationCount(&movie, name);
    }
};

} // namespace

TEST_F(FrlQTMovieTest, RegistersEachCallbackOnceReplacingThePairUntilAllAreRemoved) {
    auto movie = open(MovieMedia::lesson({.seconds = 1}));
    Client first, second;
    first.registerWith(*movie);
    second.registerWith(*movie);
    EXPECT_EQ(observations(*movie, QTMovieDidEndNotification), 1u);
    EXPECT_EQ(observations(*movie, QTMovieRateDidChangeNotification), 1u);
    EXPECT_EQ(movie->quickTimeMovieController()->actionFilter(), &MyMCActionFilterCallBack);
    movie->setRate(4.0f);
    ASSERT_TRUE(spinUntil([&] { return !second.ended.empty(); }, 5s));
    EXPECT_TRUE(first.ended.empty()) << "the second registration replaced the first";
    EXPECT_EQ(second.stopped, std::vector<FrlQTMovie*>{movie.get()}) << "the end stops it: rate 0";

    movie->removeAllMovieCallbacks();
    EXPECT_EQ(observations(*movie, ""), 0u);
    EXPECT_EQ(movie->quickTimeMovieController()->actionFilter(), nullptr);
    movie->setRate(2.0f);
    movie->setRate(0.0f);
    EXPECT_EQ(second.stopped.size(), 1u);
    second.registerWith(*movie);
    EXPECT_EQ(observations(*movie, QTMovieDidEndNotification), 1u);
    const FrlQTMovie* gone = movie.get();
    movie.reset();
    EXPECT_EQ(NotificationCenter::defaultCenter().observationCount(gone), 0u);
}

TEST_F(FrlQTMovieTest, OnlyRatesWhoseIntegerPartIsZeroCountAsStopped) {
    auto movie = open(MovieMedia::lesson({.seconds = 2}));
    Client client;
    client.registerWith(*movie);
    for (float rate : {2.0f, -2.0f, 1.0f, -1.0f})
        movie->setRate(rate);
    EXPECT_TRUE(client.stopped.empty());
    for (float rate : {0.5f, -0.9f, 0.0f})
        movie->setRate(rate);
    EXPECT_EQ(client.stopped.size(), 3u);
}

TEST_F(FrlQTMovieTest, NotificationsFromAnyMovieReachARegisteredOne) {
    auto registered = open(MovieMedia::lesson({.seconds = 1}));
    auto other = open(MovieMedia::lesson({.seconds = 0.5}));
    Client client;
    client.registerWith(*registered);
    other->setRate(4.0f);
    ASSERT_TRUE(spinUntil([&] { return !client.ended.empty(); }, 5s));
    // The callback names the registered movie, whichever movie ended.
    EXPECT_EQ(client.ended, std::vector<FrlQTMovie*>{registered.get()});
    EXPECT_EQ(registered->rate(), 0.0f);
}

TEST_F(FrlQTMovieTest, ExtensionsOnTimesAndNames) {
    EXPECT_EQ(QTMovie::filenameFromFullPath("/a/b/c.mov"), "c.mov");
    EXPECT_EQ(QTMovie::filenameFromFullPath("/a/b/"), "");
    std::string path =
        MovieMedia::copy(MovieMedia::lesson({.seconds = 2}), root(), "Slap Intro.mov");
    auto movie = open(path);
    movie->setTime(-7);
    EXPECT_EQ(movie->currentPlayTime().timeValue, 0) << "the movie keeps to its own span";
    movie->setTime(1500);
    EXPECT_EQ(movie->currentTimeValue(), 1500.0);
    EXPECT_EQ(movie->movieFileName(), "Slap Intro.mov");
    EXPECT_EQ(movie->durationAsString(), "0:00:02");
    movie->setRate(-1.0f);
    EXPECT_TRUE(movie->isPlaying()) << "backwards is playing too";
    auto image = movie->posterImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->name(), "Slap Intro.mov");
}
