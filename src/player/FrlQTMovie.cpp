#include "player/FrlQTMovie.h"

#include <cmath>

bool MyMCActionFilterCallBack(MovieController*, std::int16_t action, void*, void* refCon) {
    if (action == MovieController::mcActionIdle && refCon)
        static_cast<FrlQTMovie*>(refCon)->callPlaybackSelector();
    return false;
}

FrlQTMovie::FrlQTMovie() = default;

FrlQTMovie::~FrlQTMovie() {
    if (MovieController* controller = quickTimeMovieController())
        controller->setActionFilterWithRefCon(nullptr, nullptr);
    NotificationCenter::defaultCenter().removeObserver(this);
}

void FrlQTMovie::removeAllMovieCallbacks() {
    removeMovieDidEndNotification();
    removeMovieRateChangeNotification();
    removeMCActionFilter();
}

// Did end.

void FrlQTMovie::setMovieDidEndNotificationCallback(Selector selector, void* withObject) {
    if (!movieDidEndSelector || !movieDidEndTargetObject)
        installMovieDidEndNotification();
    setMovieDidEndSelector(selector, withObject);
}

void FrlQTMovie::installMovieDidEndNotification() {
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification& notification) { movieDidEnd(notification); },
        QTMovieDidEndNotification, nullptr);
}

void FrlQTMovie::movieDidEnd(const Notification&) {
    callMovieDidEndSelector();
}

void FrlQTMovie::setMovieDidEndSelector(Selector selector, void* withObject) {
    movieDidEndSelector = selector;
    movieDidEndTargetObject = withObject;
}

void FrlQTMovie::callMovieDidEndSelector() {
    if (movieDidEndTargetObject && movieDidEndSelector)
        movieDidEndSelector(movieDidEndTargetObject, this);
}

void FrlQTMovie::removeMovieDidEndNotification() {
    NotificationCenter::defaultCenter().removeObserver(this, QTMovieDidEndNotification, nullptr);
    setMovieDidEndSelector(nullptr, nullptr);
}

// Rate changes: stopped.

void FrlQTMovie::setMovieRateChangeNotificationCallback(Selector selector, void* withObject) {
    if (!movieStoppedSelector || !movieStoppedTargetObject)
        installRateChangeNotification();
    setMovieStoppedSelector(selector, withObject);
}

void FrlQTMovie::installRateChangeNotification() {
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification& notification) { movieRateChanged(notification); },
        QTMovieRateDidChangeNotification, nullptr);
}

// Any rate whose integer part is 0 counts as stopped, 0.5 included.
void FrlQTMovie::movieRateChanged(const Notification& notification) {
    auto found = notification.userInfo.find(QTMovieRateDidChangeNotificationParameter);
    double rate = found == notification.userInfo.end() ? 0.0 : found->second;
    if (std::trunc(rate) == 0.0)
        callMovieStoppedSelector();
}

void FrlQTMovie::setMovieStoppedSelector(Selector selector, void* withObject) {
    movieStoppedSelector = selector;
    movieStoppedTargetObject = withObject;
}

void FrlQTMovie::callMovieStoppedSelector() {
    if (movieStoppedTargetObject && movieStoppedSelector)
        movieStoppedSelector(movieStoppedTargetObject, this);
}

void FrlQTMovie::removeMovieRateChangeNotification() {
    NotificationCenter::defaultCenter().removeObserver(this, QTMovieRateDidChangeNotification,
                                                       nullptr);
    setMovieStoppedSelector(nullptr, nullptr);
}

// Playback: the controller's idle action.

void FrlQTMovie::setMoviePlaybackNotificationCallback(Selector selector, void* withObject) {
    if (!playbackSelector || !playbackTargetObject)
        installMCActionFilter();
    setPlaybackSelector(selector, withObject);
}

void FrlQTMovie::installMCActionFilter() {
    if (!mcActionFilterCallBack)
        mcActionFilterCallBack = MyMCActionFilterCallBack;
    MovieController* controller = quickTimeMovieController();
    if (!controller || controller->setActionFilterWithRefCon(mcActionFilterCallBack, this) !=
                           MovieController::noErr)
        mcActionFilterCallBack = nullptr;
}

void FrlQTMovie::setPlaybackSelector(Selector selector, void* withObject) {
    playbackSelector = selector;
    playbackTargetObject = withObject;
}

void FrlQTMovie::callPlaybackSelector() {
    if (playbackTargetObject && playbackSelector)
        playbackSelector(playbackTargetObject, this);
}

void FrlQTMovie::removeMCActionFilter() {
    if (MovieController* controller = quickTimeMovieController())
        controller->setActionFilterWithRefCon(nullptr, this);
    mcActionFilterCallBack = nullptr;
    setPlaybackSelector(nullptr, nullptr);
}

// Annotations.

bool FrlQTMovie::setUserDataText(FourCC type, const std::string& value) {
    MovieAnnotations* list = userData();
    return list && list->setText(type, value);
}

std::optional<std::string> FrlQTMovie::getUserDataText(FourCC type) {
    if (!theUserData)
        theUserData = userData();
    if (!theUserData)
        return std::nullopt;
    return theUserData->text(type);
}

bool FrlQTMovie::setAlbumAnnotation(const std::string& value) {
    return setUserDataText(MovieAnnotations::albumType, value);
}

bool FrlQTMovie::setAuthorAnnotation(const std::string& value) {
    return setUserDataText(MovieAnnotations::authorType, value);
}

bool FrlQTMovie::setCommentAnnotation(const std::string& value) {
    return setUserDataText(MovieAnnotations::commentType, value);
}

bool FrlQTMovie::setDescriptionAnnotation(const std::string& value) {
    return setUserDataText(MovieAnnotations::descriptionType, value);
}

bool FrlQTMovie::setArtistAnnotation(const std::string& value) {
    return setUserDataText(MovieAnnotations::artistType, value);
}

std::optional<std::string> FrlQTMovie::getAlbumAnnotation() {
    return getUserDataText(MovieAnnotations::albumType);
}

std::optional<std::string> FrlQTMovie::getAuthorAnnotation() {
    return getUserDataText(MovieAnnotations::authorType);
}

std::optional<std::string> FrlQTMovie::getCommentAnnotation() {
    return getUserDataText(MovieAnnotations::commentType);
}

std::optional<std::string> FrlQTMovie::getDescriptionAnnotation() {
    return getUserDataText(MovieAnnotations::descriptionType);
}

std::optional<std::string> FrlQTMovie::getArtistAnnotation() {
    return getUserDataText(MovieAnnotations::artistType);
}
