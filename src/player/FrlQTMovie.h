#pragma once

#include "platform/movie/MovieController.h"
#include "platform/movie/NotificationCenter.h"
#include "platform/movie/QTMovie.h"

#include <cstdint>
#include <optional>
#include <string>

class FrlQTMovie;

// The controller's action filter for FrlQTMovie: on the idle action it has the movie (the
// reference value) call its playback selector. It never takes an action itself.
bool MyMCActionFilterCallBack(MovieController* controller, std::int16_t action, void* params,
                              void* refCon);

// A lesson movie: the movie with three client callbacks (did-end, stopped, playback) and the five
// text annotations the library and the download engine use.
class FrlQTMovie : public QTMovie {
public:
    // What a target is sent: one of its operations, called with the movie as the one argument.
    using Selector = void (*)(void* target, FrlQTMovie* movie);
    // The selector for an operation of the target's class:
    // selector<&AppController::movieDidEndCallBack>().
    template <auto Method> static Selector selector();

    FrlQTMovie();
    ~FrlQTMovie() override;

    void removeAllMovieCallbacks();

    void setMovieDidEndNotificationCallback(Selector selector, void* withObject);
    void installMovieDidEndNotification();
    void movieDidEnd(const Notification& notification);
    void setMovieDidEndSelector(Selector selector, void* withObject);
    void callMovieDidEndSelector();
    void removeMovieDidEndNotification();

    void setMovieRateChangeNotificationCallback(Selector selector, void* withObject);
    void installRateChangeNotification();
    void movieRateChanged(const Notification& notification);
    void setMovieStoppedSelector(Selector selector, void* withObject);
    void callMovieStoppedSelector();
    void removeMovieRateChangeNotification();

    void setMoviePlaybackNotificationCallback(Selector selector, void* withObject);
    void installMCActionFilter();
    void setPlaybackSelector(Selector selector, void* withObject);
    void callPlaybackSelector();
    void removeMCActionFilter();

    // Changes the item in memory; updateMovieFile() writes it.
    bool setUserDataText(FourCC type, const std::string& value);
    std::optional<std::string> getUserDataText(FourCC type);

    bool setAlbumAnnotation(const std::string& value);
    bool setAuthorAnnotation(const std::string& value);
    bool setCommentAnnotation(const std::string& value);
    bool setDescriptionAnnotation(const std::string& value);
    bool setArtistAnnotation(const std::string& value);
    std::optional<std::string> getAlbumAnnotation();
    std::optional<std::string> getAuthorAnnotation();
    std::optional<std::string> getCommentAnnotation();
    std::optional<std::string> getDescriptionAnnotation();
    std::optional<std::string> getArtistAnnotation();

private:
    MovieController::ActionFilter mcActionFilterCallBack = nullptr;
    Selector playbackSelector = nullptr;
    Selector movieStoppedSelector = nullptr;
    Selector movieDidEndSelector = nullptr;
    void* movieDidEndTargetObject = nullptr;
    void* playbackTargetObject = nullptr;
    void* movieStoppedTargetObject = nullptr;
    MovieAnnotations* theUserData = nullptr;
};

template <typename> struct FrlSelectorTarget;
template <typename T> struct FrlSelectorTarget<void (T::*)(FrlQTMovie*)> { using type = T; };

template <auto Method> FrlQTMovie::Selector FrlQTMovie::selector() {
    using Target = typename FrlSelectorTarget<decltype(Method)>::type;
    return [](void* target, FrlQTMovie* movie) { (static_cast<Target*>(target)->*Method)(movie); };
}
