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

TEST_F(FrlQTMovieTest, RegistersEachCallbackOnceAndReplacesThePair) {
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
    EXPECT_EQ(second.ended, std::vector<FrlQTMovie*>{movie.get()});
    EXPECT_EQ(second.stopped, std::vector<FrlQTMovie*>{movie.get()}) << "the end stops it: rate 0";
}

TEST_F(FrlQTMovieTest, RemovingAllCallbacksLetsTheNextRegistrationInstallAgain) {
    auto movie = open(MovieMedia::lesson({.seconds = 1}));
    Client client;
    client.registerWith(*movie);
    movie->removeAllMovieCallbacks();
    EXPECT_EQ(observations(*movie, ""), 0u);
    EXPECT_EQ(movie->quickTimeMovieController()->actionFilter(), nullptr);
    movie->setRate(2.0f);
    movie->setRate(0.0f);
    EXPECT_TRUE(client.stopped.empty());

    client.registerWith(*movie);
    client.registerWith(*movie);
    EXPECT_EQ(observations(*movie, QTMovieDidEndNotification), 1u);
    EXPECT_EQ(observations(*movie, QTMovieRateDidChangeNotification), 1u);
    EXPECT_EQ(movie->quickTimeMovieController()->actionFilter(), &MyMCActionFilterCallBack);
    movie->setRate(1.0f);
    movie->setRate(0.0f);
    EXPECT_EQ(client.stopped.size(), 1u);
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
    EXPECT_EQ(client.stopped, std::vector<FrlQTMovie*>{registered.get()});
    EXPECT_EQ(registered->rate(), 0.0f);
}

TEST_F(FrlQTMovieTest, PlaybackCallbackFollowsTheControllersIdleAction) {
    auto movie = open(MovieMedia::lesson({.seconds = 1}));
    Client client;
    client.registerWith(*movie);
    int controllerOwnIdles = 0;
    movie->quickTimeMovieController()->signalIdle().connect([&] { ++controllerOwnIdles; });
    movie->setVisible(true);
    ASSERT_TRUE(spinUntil([&] { return client.playing.size() >= 3; }, 2s));
    EXPECT_EQ(client.playing.front(), movie.get());
    EXPECT_GE(controllerOwnIdles, 3) << "the filter never takes the action";

    movie->removeMCActionFilter();
    std::size_t before = client.playing.size();
    spinFor(250ms);
    EXPECT_EQ(client.playing.size(), before);
    EXPECT_FALSE(
        MyMCActionFilterCallBack(nullptr, MovieController::mcActionIdle, nullptr, nullptr));
}

TEST_F(FrlQTMovieTest, DestructionRemovesEveryObserverAndTheFilter) {
    auto movie = open(MovieMedia::lesson({.seconds = 1}));
    Client client;
    client.registerWith(*movie);
    const FrlQTMovie* gone = movie.get();
    movie.reset();
    EXPECT_EQ(NotificationCenter::defaultCenter().observationCount(gone), 0u);
    NotificationCenter::defaultCenter().postNotification(QTMovieDidEndNotification, nullptr);
    EXPECT_TRUE(client.ended.empty());
}

TEST_F(FrlQTMovieTest, AnnotationsRoundTripThroughTheMovieFile) {
    std::string path =
        MovieMedia::copy(MovieMedia::lesson({.seconds = 0.5}), root(), "Lesson 1.mov");
    {
        auto movie = open(path);
        EXPECT_EQ(movie->getArtistAnnotation(), std::nullopt);
        EXPECT_TRUE(movie->setAlbumAnnotation("http://store.example/album"));
        EXPECT_TRUE(movie->setAuthorAnnotation("Jamcroft"));
        EXPECT_TRUE(movie->setCommentAnnotation("Rhythm Slap"));
        EXPECT_TRUE(movie->setDescriptionAnnotation("Bass Advanced"));
        EXPECT_TRUE(movie->setArtistAnnotation("Zoë Åberg"));
        EXPECT_EQ(movie->getDescriptionAnnotation(), "Bass Advanced") << "in memory before saving";
        EXPECT_TRUE(movie->updateMovieFile());
    }
    auto reopened = open(path);
    EXPECT_EQ(reopened->getAlbumAnnotation(), "http://store.example/album");
    EXPECT_EQ(reopened->getAuthorAnnotation(), "Jamcroft");
    EXPECT_EQ(reopened->getCommentAnnotation(), "Rhythm Slap");
    EXPECT_EQ(reopened->getDescriptionAnnotation(), "Bass Advanced");
    EXPECT_EQ(reopened->getArtistAnnotation(), "Zoë Åberg");

    // A picture has no user data: nothing to read, nothing written.
    auto picture = open(MovieMedia::picture("png", 16, 16, "green"));
    EXPECT_FALSE(picture->setArtistAnnotation("Nobody"));
    EXPECT_EQ(picture->getArtistAnnotation(), std::nullopt);
    EXPECT_FALSE(picture->updateMovieFile());
}

TEST_F(FrlQTMovieTest, ExtensionsOnTimesAndNames) {
    EXPECT_EQ(QTMovie::filenameFromFullPath("/a/b/c.mov"), "c.mov");
    EXPECT_EQ(QTMovie::filenameFromFullPath("/a/b/"), "");
    EXPECT_EQ(QTMovie::filenameFromFullPath("c.mov"), "c.mov");

    std::string path =
        MovieMedia::copy(MovieMedia::lesson({.seconds = 2}), root(), "Slap Intro.mov");
    auto movie = open(path);
    QTTime negative;
    movie->timeToQTTime(-7, negative);
    EXPECT_EQ(negative.timeValue, -7);
    EXPECT_EQ(negative.timeScale, movie->timeScale());
    movie->setTime(-7);
    EXPECT_EQ(movie->currentPlayTime().timeValue, 0) << "the movie keeps to its own span";
    movie->setTime(1500);
    EXPECT_EQ(movie->currentTimeValue(), 1500.0);
    EXPECT_FALSE(movie->currentTimeEqualsDuration());
    movie->setCurrentTime(movie->duration());
    EXPECT_TRUE(movie->currentTimeEqualsDuration());
    EXPECT_EQ(movie->movieFilePath(), path);
    EXPECT_EQ(movie->movieFileName(), "Slap Intro.mov");
    EXPECT_EQ(movie->durationAsString(), "0:00:02");

    EXPECT_FALSE(movie->isPlaying());
    movie->setRate(-1.0f);
    EXPECT_TRUE(movie->isPlaying()) << "backwards is playing too";
    movie->setRate(0.0f);

    auto image = movie->posterImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->name(), "Slap Intro.mov");
    image->setName("Renamed");
    EXPECT_EQ(movie->posterImage()->name(), "Renamed") << "a named picture keeps its name";
}
