#include "app/AppController.h"

#include "app/FrlConstants.h"
#include "platform/Defaults.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "platform/movie/QTMovieView.h"
#include "platform/ui/AccessibleName.h"
#include "player/FrlQTMovie.h"

#include <filesystem>
#include <glib.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/button.h>
#include <gtkmm/gestureclick.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/scale.h>

namespace {

constexpr float reverseRate = -2.0f;
constexpr float fastForwardRate = 2.0f;

// Minutes and seconds of the framework's text form of a time (d:hh:mm:ss.ff/scale).
std::string minutesAndSeconds(QTTime time) {
    return QTStringFromTime(time).substr(5, 5);
}

} // namespace

void AppController::connectTransport() {
    playButton->signal_clicked().connect([this] { togglePlay(playButton); });
    reverseButton->signal_clicked().connect([this] { reverse(reverseButton); });
    fforwardButton->signal_clicked().connect([this] { fastForward(fforwardButton); });
    loopButton->signal_clicked().connect([this] { loop(loopButton); });
    movieRateSlider->signal_value_changed().connect([this] { adjustMovieRate(movieRateSlider); });
    // A pressed button shows its alternate picture until it is let go.
    for (auto* button : {playButton, reverseButton, fforwardButton, loopButton}) {
        auto press = Gtk::GestureClick::create();
        press->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
        press->signal_pressed().connect([this, button](int, double, double) {
            if (auto* image = dynamic_cast<Gtk::Image*>(button->get_child()))
                image->set(Resources::pathForImageResource(buttonPictures[button].second));
        });
        press->signal_released().connect([this, button](int, double, double) {
            if (auto* image = dynamic_cast<Gtk::Image*>(button->get_child()))
                image->set(Resources::pathForImageResource(buttonPictures[button].first));
        });
        button->add_controller(press);
    }
    connectPractice();
}

void AppController::setButtonPictures(Gtk::Button* button, const char* image,
                                      const char* alternateImage) {
    buttonPictures[button] = {image, alternateImage};
    if (auto* picture = dynamic_cast<Gtk::Image*>(button->get_child()))
        picture->set(Resources::pathForImageResource(image));
}

FrlQTMovie* AppController::currentMovie() const {
    return dynamic_cast<FrlQTMovie*>(movieView->movie());
}

float AppController::sliderRate() const {
    return static_cast<float>(movieRateSlider->get_value());
}

bool AppController::playMovieFile(const std::string& path, bool showOnlyPoster) {
    if (appMode == shopMode)
        setBrowseMode();
    if (int row = selectedFileListRow(); row >= 0) {
        const char* key = prodState == strumwellProduct  ? FrlsaveUserSelection
                          : prodState == jamcroftProduct ? FrlsaveUserSelectionJamcroft
                                                         : FrlsaveUserSelectionDownloadStore;
        Defaults::standard().setInteger(key, row);
    }
    rememberPractice();
    stopMovie();
    FrlQTMovie* movie = currentMovie();
    if (!movie || movie->movieFilePath() != path) {
        auto opened = std::make_unique<FrlQTMovie>();
        std::string reason;
        if (!opened->initWithFile(path, &reason)) {
            showUnplayableFile(path, reason);
            return false;
        }
        mainWindow->set_title(productDisplayName() + " (" +
                              Paths::stringByDeletingPathExtension(opened->displayName()) + ")");
        movie = opened.get();
        movieView->setMovie(std::move(opened));
    }
    movieView->queue_draw();
    movieView->gotoBeginning();
    movie->setMuted(false);
    movie->setLoops(isLooping);
    movie->setEditable(false);
    setupControlsForNewMovie();
    restorePractice(showOnlyPoster);
    if (showOnlyPoster) {
        movieView->gotoPosterFrame();
        // A poster stands still, so the button offers Play; a press still plays the selection.
        showPlayButtonAs(true);
        return true;
    }
    movieView->play();
    movie->setRate(sliderRate());
    return true;
}

// Never nothing: the movie area says why the file does not play, and the log keeps it. The
// previous movie, stopped, stays in the view beneath the message.
void AppController::showUnplayableFile(const std::string& path, const std::string& reason) {
    g_message("%s cannot be played: %s", Paths::displayName(path).c_str(), reason.c_str());
    movieView->showUnplayable(reason);
    clearTimeDisplayForCurrentMovie();
}

bool AppController::playCurrentSelection(bool posterOnly) {
    std::string path = getCurrentSelectionPath();
    if (path.empty())
        return false;
    return launchFile(path, posterOnly);
}

bool AppController::playNextSelection() {
    int row = selectedFileListRow();
    if (row < 0)
        return false;
    int next = row + 1;
    if (next >= fileListRowCount() || next >= lastRowCount)
        return false;
    ignoreSelectionChange = true;
    selectFileListRow(next);
    return playCurrentSelection(false);
}

void AppController::togglePlay(Gtk::Widget*) {
    FrlQTMovie* movie = currentMovie();
    if (movie && isMoviePlaying()) {
        pauseMovie();
        return;
    }
    if (movie && isMoviePaused) {
        restartMovie();
        return;
    }
    playCurrentSelection(false);
}

void AppController::reverse(Gtk::Widget*) {
    FrlQTMovie* movie = currentMovie();
    if (!movie)
        return;
    if (isMovieReverse) {
        setReverseButtonOff();
        movie->setRate(sliderRate());
        movie->setMuted(false);
    } else {
        setReverseButtonOn();
        if (isMovieFForward)
            setFforwardButtonOff();
        movie->setMuted(true);
        movie->setRate(reverseRate);
    }
    movieView->setNeedsDisplayInRect(movieView->movieControllerBounds());
}

void AppController::fastForward(Gtk::Widget*) {
    FrlQTMovie* movie = currentMovie();
    if (!movie)
        return;
    if (isMovieFForward) {
        setFforwardButtonOff();
        movie->setRate(sliderRate());
        movie->setMuted(false);
    } else {
        setFforwardButtonOn();
        if (isMovieReverse)
            setReverseButtonOff();
        movie->setMuted(true);
        movie->setRate(fastForwardRate);
    }
    movieView->setNeedsDisplayInRect(movieView->movieControllerBounds());
}

void AppController::loop(Gtk::Widget*) {
    if (isLooping)
        setLoopButtonOff();
    else
        setLoopButtonOn();
    if (FrlQTMovie* movie = currentMovie())
        movie->setLoops(isLooping);
}

void AppController::adjustMovieRate(Gtk::Widget*) {
    adjustMovieRateToCurrentSliderSetting();
}

void AppController::setupControlsForNewMovie() {
    clearButtonStates();
    setPlayButtonOn();
    enableMovieCallbacksForCurrentMovie();
}

void AppController::restartMovie() {
    FrlQTMovie* movie = currentMovie();
    if (!movie)
        return;
    clearButtonStates();
    movie->setMuted(false);
    movie->setLoops(isLooping);
    movieView->play();
    movie->setRate(sliderRate());
}

void AppController::stopMovie() {
    FrlQTMovie* movie = currentMovie();
    if (!movie || movie->rate() == 0.0f)
        return;
    movie->setRate(0.0f);
    movieView->gotoBeginning();
    movie->removeAllMovieCallbacks();
}

void AppController::pauseMovie() {
    clearButtonStates();
    if (currentMovie())
        movieView->pause();
}

void AppController::pauseIfPlaying() {
    if (currentMovie() && currentMovie()->isPlaying())
        pauseMovie();
}

bool AppController::isMoviePlaying() const {
    return currentMovie() && currentMovie()->isPlaying();
}

void AppController::adjustMovieRateToCurrentSliderSetting() {
    FrlQTMovie* movie = currentMovie();
    if (!movie || isMoviePaused)
        return;
    movie->setRate(sliderRate());
    movieView->setNeedsDisplayInRect(movieView->movieControllerBounds());
}

void AppController::adjustTimeDisplayForCurrentMovie() {
    FrlQTMovie* movie = currentMovie();
    if (!movie)
        return;
    movieTime->set_text(minutesAndSeconds(movie->currentPlayTime()) + " / " +
                        minutesAndSeconds(movie->duration()));
}

void AppController::clearTimeDisplayForCurrentMovie() {
    movieTime->set_text("");
    movieTime->queue_draw();
}

void AppController::setPlayButtonOn() {
    isMoviePaused = false;
    showPlayButtonAs(false);
}

void AppController::setPlayButtonOff() {
    isMoviePaused = true;
    showPlayButtonAs(true);
}

void AppController::showPlayButtonAs(bool play) {
    if (play)
        setButtonPictures(playButton, "play_active", "play_press");
    else
        setButtonPictures(playButton, "pause_active", "pause_press");
    playButton->set_tooltip_text(play ? "Play" : "Pause");
    AccessibleName::set(*playButton, play ? "Play" : "Pause");
}

void AppController::setLoopButtonOn() {
    isLooping = true;
    setButtonPictures(loopButton, "loop_on", "loop_onpress");
}

void AppController::setLoopButtonOff() {
    isLooping = false;
    setButtonPictures(loopButton, "loop_off", "loop_offpress");
}

void AppController::setReverseButtonOn() {
    isMovieReverse = true;
    setButtonPictures(reverseButton, "rewind_on", "rewind_onpress");
}

void AppController::setReverseButtonOff() {
    isMovieReverse = false;
    setButtonPictures(reverseButton, "rewind_off", "rewind_offpress");
}

void AppController::setFforwardButtonOn() {
    isMovieFForward = true;
    setButtonPictures(fforwardButton, "fastfwd_on", "fastfwd_onpress");
}

void AppController::setFforwardButtonOff() {
    isMovieFForward = false;
    setButtonPictures(fforwardButton, "fastfwd_off", "fastfwd_offpress");
}

void AppController::clearButtonStates() {
    setReverseButtonOff();
    setFforwardButtonOff();
}

void AppController::enableMovieCallbacksForCurrentMovie() {
    FrlQTMovie* movie = currentMovie();
    if (!movie)
        return;
    movie->setMovieDidEndNotificationCallback(
        FrlQTMovie::selector<&AppController::movieDidEndCallBack>(), this);
    movie->setMovieRateChangeNotificationCallback(
        FrlQTMovie::selector<&AppController::movieStoppedCallBack>(), this);
    movie->setMoviePlaybackNotificationCallback(
        FrlQTMovie::selector<&AppController::moviePlayingCallBack>(), this);
}

void AppController::moviePlayingCallBack(FrlQTMovie* movie) {
    adjustTimeDisplayForCurrentMovie();
    if (movie->isPlaying() && isMoviePaused)
        setPlayButtonOn();
    practiceTick(movie);
}

void AppController::movieStoppedCallBack(FrlQTMovie*) {
    adjustTimeDisplayForCurrentMovie();
    clearButtonStates();
    setPlayButtonOff();
}

void AppController::movieDidEndCallBack(FrlQTMovie*) {
    movieView->gotoBeginning();
    movieTime->set_text("");
    clearButtonStates();
    setPlayButtonOff();
    if (!isLooping)
        playNextSelection();
}
