#include "app/AppController.h"

#include "platform/Defaults.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "platform/movie/NotificationCenter.h"
#include "platform/movie/QTMovieView.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"
#include "player/FrlQTMovie.h"
#include "practice/MprisService.h"
#include "practice/PracticeMemory.h"
#include "practice/SectionBand.h"
#include "practice/SectionList.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <giomm/simpleaction.h>
#include <gtk/gtk.h>
#include <gtkmm/application.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/button.h>
#include <gtkmm/columnviewcolumn.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/label.h>
#include <gtkmm/menubutton.h>
#include <gtkmm/scale.h>
#include <gtkmm/shortcutswindow.h>
#include <gtkmm/spinbutton.h>
#include <gtkmm/togglebutton.h>
#include <stdexcept>

namespace {

const char* const FrlresultsTablePractisedColumn = "Practised";
const char* const FrlshowPractisedColumn = "showPractisedColumn";
constexpr double seekSeconds = 5.0;
constexpr double coarseRateStep = 0.05;
constexpr double fineRateStep = 0.01;
constexpr double normalRate = 1.0;
// Practice is written at least this often while a lesson plays, besides every change.
constexpr std::int64_t saveIntervalUs = 10'000'000;
// A longer gap between two ticks is not counted as practice.
constexpr std::int64_t longestTickUs = 1'000'000;
constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;

template <typename T> T* widget(const Glib::RefPtr<Gtk::Builder>& builder, const char* name) {
    T* found = builder->get_widget<T>(name);
    if (!found)
        throw std::runtime_error(std::string("main window layout lacks ") + name);
    return found;
}

std::int64_t positionNs(const QTMovie& movie) {
    return QTTimeToNanoseconds(movie.currentTime());
}

std::int64_t durationNs(const QTMovie& movie) {
    return QTTimeToNanoseconds(movie.duration());
}

QTTime timeAt(const QTMovie& movie, std::int64_t nanoseconds) {
    return QTTimeFromNanoseconds(std::clamp<std::int64_t>(nanoseconds, 0, durationNs(movie)),
                                 static_cast<std::int32_t>(movie.timeScale()));
}

double seconds(std::int64_t nanoseconds) {
    return static_cast<double>(nanoseconds) / nanosecondsPerSecond;
}

// With its size, what tells a moved lesson: every annotation, in a fixed order.
std::string annotationsOf(FrlQTMovie& movie) {
    std::string joined;
    for (const auto& value :
         {movie.getAlbumAnnotation(), movie.getAuthorAnnotation(), movie.getCommentAnnotation(),
          movie.getDescriptionAnnotation(), movie.getArtistAnnotation()}) {
        joined += value.value_or("");
        joined += '\x1f';
    }
    return joined;
}

std::string percent(double rate) {
    return std::to_string(std::lround(rate * 100)) + " %";
}

std::string practisedText(std::int64_t milliseconds) {
    std::int64_t minutes = milliseconds / 60'000;
    if (minutes < 1)
        return "< 1 min";
    if (minutes < 60)
        return std::to_string(minutes) + " min";
    std::string rest = std::to_string(minutes % 60);
    return std::to_string(minutes / 60) + " h " + (rest.size() < 2 ? "0" : "") + rest + " min";
}

bool sameRange(const std::optional<QTTimeRange>& a, const std::optional<QTTimeRange>& b) {
    if (!a || !b)
        return !a && !b;
    return QTTimeCompare(a->time, b->time) == QTOrderedSame &&
           QTTimeCompare(a->duration, b->duration) == QTOrderedSame;
}

// The key's own symbol on the keyboard, without Shift: "=" for the key that gives "+" with Shift.
guint baseKey(guint keycode, guint group) {
    guint key = 0;
    gdk_display_translate_key(gdk_display_get_default(), keycode, GdkModifierType(0),
                              static_cast<int>(group), &key, nullptr, nullptr, nullptr);
    return key;
}

} // namespace

void AppController::connectPractice() {
    sectionStartButton = widget<Gtk::Button>(builder, "sectionStartButton");
    sectionEndButton = widget<Gtk::Button>(builder, "sectionEndButton");
    sectionLoopButton = widget<Gtk::ToggleButton>(builder, "sectionLoopButton");
    sectionsButton = widget<Gtk::MenuButton>(builder, "sectionsButton");
    sectionList = Gtk::Builder::get_widget_derived<SectionList>(builder, "sectionList");
    trainerButton = widget<Gtk::ToggleButton>(builder, "trainerButton");
    trainerSettingsButton = widget<Gtk::MenuButton>(builder, "trainerSettingsButton");
    trainerStartField = widget<Gtk::SpinButton>(builder, "trainerStartField");
    trainerStepField = widget<Gtk::SpinButton>(builder, "trainerStepField");
    trainerTargetField = widget<Gtk::SpinButton>(builder, "trainerTargetField");
    trainerStatus = widget<Gtk::Label>(builder, "trainerStatus");
    rateDisplay = widget<Gtk::Label>(builder, "rateDisplay");
    mirrorButton = widget<Gtk::ToggleButton>(builder, "mirrorButton");
    if (!sectionList)
        throw std::runtime_error("main window layout lacks sectionList");

    sectionStartButton->signal_clicked().connect([this] { setSectionStart(sectionStartButton); });
    sectionEndButton->signal_clicked().connect([this] { setSectionEnd(sectionEndButton); });
    sectionLoopButton->signal_clicked().connect([this] { toggleSectionLoop(sectionLoopButton); });
    trainerButton->signal_clicked().connect([this] { toggleSpeedTrainer(trainerButton); });
    mirrorButton->signal_clicked().connect([this] { toggleMirror(mirrorButton); });
    for (auto* field : {trainerStartField, trainerStepField, trainerTargetField})
        field->signal_value_changed().connect([this] { speedTrainerSettingsChanged(); });
    movieRateSlider->signal_value_changed().connect([this] { rateChanged(); });
    sectionList->signalAdded().connect([this] { addSection(nullptr); });
    sectionList->signalPicked().connect([this](int index) { pickSection(index); });
    sectionList->signalRemoved().connect([this](int index) { removeSection(index); });
    sectionList->signalRenamed().connect(
        [this](int index, const std::string& name) { renameSection(index, name); });

    sectionBand = Gtk::make_managed<SectionBand>(movieView->positionScrubber());
    movieView->addScrubberOverlay(*sectionBand);
    sectionBand->signalEdgeMoved().connect(
        [this](bool start, double at) { moveSectionEdge(start, at, false); });
    sectionBand->signalEdgeReleased().connect(
        [this](bool start, double at) { moveSectionEdge(start, at, true); });

    // Before the focused control, but never in a text field.
    practiceKeys = Gtk::EventControllerKey::create();
    practiceKeys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    practiceKeys->signal_key_pressed().connect(
        sigc::mem_fun(*this, &AppController::practiceKeyPressed), false);
    mainWindow->add_controller(practiceKeys);

    auto shortcuts = Gio::SimpleAction::create("shortcuts");
    shortcuts->signal_activate().connect(
        [this](const Glib::VariantBase&) { showShortcuts(nullptr); });
    application->add_action(shortcuts);
    connectPractisedColumn();

    practiceMemory = std::make_unique<PracticeMemory>();
    if (!practiceMemory->isPersistent())
        g_message("practice cannot be kept in %s; it lasts for this run only",
                  PracticeMemory::defaultLocation().c_str());
    mprisService = std::make_unique<MprisService>(*this);
    showPractice();
}

// Sections.

void AppController::setSectionStart(Gtk::Widget*) {
    FrlQTMovie* movie = currentMovie();
    if (!movie || !practiceLesson)
        return;
    practice.setSectionStart(positionNs(*movie), durationNs(*movie));
    sectionsChanged();
}

// B closes the section, and its loop begins.
void AppController::setSectionEnd(Gtk::Widget*) {
    FrlQTMovie* movie = currentMovie();
    if (!movie || !practiceLesson)
        return;
    practice.setSectionEnd(positionNs(*movie), durationNs(*movie));
    practice.sectionLoop = true;
    sectionsChanged();
}

void AppController::toggleSectionLoop(Gtk::Widget*) {
    if (!practiceLesson || !practice.current()) {
        showPractice();
        return;
    }
    practice.sectionLoop = !practice.sectionLoop;
    if (!practice.sectionLoop && practice.trainer.enabled)
        practice.trainer.enabled = false;
    sectionsChanged();
}

void AppController::addSection(Gtk::Widget*) {
    FrlQTMovie* movie = currentMovie();
    if (!movie || !practiceLesson)
        return;
    practice.addSection(positionNs(*movie), durationNs(*movie));
    sectionsChanged();
}

void AppController::renameSection(int index, const std::string& name) {
    practice.renameSection(index, name);
    rememberPractice();
}

void AppController::removeSection(int index) {
    practice.removeSection(index);
    if (!practice.current())
        practice.trainer.enabled = false;
    sectionsChanged();
}

// A picked section plays from its start.
void AppController::pickSection(int index) {
    if (index == practice.currentSection)
        return;
    practice.pickSection(index);
    sectionsChanged();
    if (FrlQTMovie* movie = currentMovie(); movie && practice.current())
        movie->setCurrentTime(timeAt(*movie, practice.current()->startNs));
}

// While an end is dragged only the band follows; the loop takes the new end when it is let go.
void AppController::moveSectionEdge(bool start, double at, bool finished) {
    FrlQTMovie* movie = currentMovie();
    if (!movie || !practice.current())
        return;
    auto nanoseconds = static_cast<std::int64_t>(at * nanosecondsPerSecond);
    if (start)
        practice.setSectionStart(nanoseconds, durationNs(*movie));
    else
        practice.setSectionEnd(nanoseconds, durationNs(*movie));
    if (finished) {
        sectionsChanged();
        return;
    }
    const PracticeSection* section = practice.current();
    sectionBand->setSection(std::pair{seconds(section->startNs), seconds(section->endNs)},
                            practice.loopsSection());
}

void AppController::sectionsChanged() {
    applyPracticeToMovie();
    showSections();
    showPractice();
    rememberPractice();
}

// Speed trainer.

void AppController::toggleSpeedTrainer(Gtk::Widget*) {
    if (!practiceLesson || !practice.current()) {
        showPractice();
        return;
    }
    practice.trainer.enabled = !practice.trainer.enabled;
    if (practice.trainer.enabled) {
        practice.sectionLoop = true;
        practice.trainer.start();
        applyPracticeToMovie();
        setTrainerRate(practice.trainer.rate());
    }
    showPractice();
    rememberPractice();
}

void AppController::speedTrainerSettingsChanged() {
    if (showingPractice)
        return;
    SpeedTrainer& trainer = practice.trainer;
    trainer.startRate = trainerStartField->get_value() / 100;
    trainer.step = trainerStepField->get_value() / 100;
    trainer.targetRate = trainerTargetField->get_value() / 100;
    if (trainer.enabled) {
        trainer.start();
        setTrainerRate(trainer.rate());
    }
    showPractice();
    rememberPractice();
}

// Each pass of the section: the trainer sets the next pass's rate (not while reverse or
// fast-forward run the movie).
void AppController::sectionDidLoop() {
    if (!practice.trainer.enabled || isMovieReverse || isMovieFForward)
        return;
    setTrainerRate(practice.trainer.completePass());
    showPractice();
    rememberPractice();
}

// The trainer's rate goes to the slider, and straight to a running movie: after a rate below 1
// the transport counts the movie as stopped until its next tick and would let the slider pass. A
// movie standing still stays still until it is played.
void AppController::setTrainerRate(double rate) {
    FrlQTMovie* movie = currentMovie();
    if (!movie || !movie->isPlaying()) {
        setSliderRateQuietly(rate);
        showPractice();
        return;
    }
    trainerSettingRate = true;
    movieRateSlider->set_value(rate);
    trainerSettingRate = false;
    if (!isMovieReverse && !isMovieFForward)
        movie->setRate(static_cast<float>(rate));
}

// Mirror, rate and position.

void AppController::toggleMirror(Gtk::Widget*) {
    if (!practiceLesson) {
        showPractice();
        return;
    }
    practice.mirrored = !practice.mirrored;
    applyPracticeToMovie();
    showPractice();
    rememberPractice();
}

void AppController::changeRateBy(double step) {
    auto adjustment = movieRateSlider->get_adjustment();
    double rate = std::round((sliderRate() + step) * 100) / 100;
    movieRateSlider->set_value(std::clamp(rate, adjustment->get_lower(), adjustment->get_upper()));
}

void AppController::resetRate() {
    movieRateSlider->set_value(normalRate);
}

// A rate set by hand: training goes on from there.
void AppController::rateChanged() {
    if (practice.trainer.enabled && !trainerSettingRate && !showingPractice)
        practice.trainer.resumeAt(movieRateSlider->get_value());
    showPractice();
    if (!showingPractice)
        rememberPractice();
}

void AppController::seekBy(double offset) {
    FrlQTMovie* movie = currentMovie();
    if (!movie)
        return;
    movie->setCurrentTime(timeAt(
        *movie, positionNs(*movie) + static_cast<std::int64_t>(offset * nanosecondsPerSecond)));
    adjustTimeDisplayForCurrentMovie();
}

// Stepping shows single frames, so a running movie stops first.
void AppController::stepFrame(int frames) {
    FrlQTMovie* movie = currentMovie();
    if (!movie)
        return;
    if (movie->isPlaying())
        pauseMovie();
    movie->stepFrames(frames);
    adjustTimeDisplayForCurrentMovie();
}

void AppController::goToSectionStart() {
    FrlQTMovie* movie = currentMovie();
    if (!movie)
        return;
    if (const PracticeSection* section = practice.current())
        movie->setCurrentTime(timeAt(*movie, section->startNs));
    else
        movieView->gotoBeginning();
    adjustTimeDisplayForCurrentMovie();
}

// Keys: the player's own, wherever the focus is, except in text fields; the arrows and Home stay
// with the library browser and the sliders when they have the focus.
bool AppController::practiceKeyPressed(guint key, guint keycode, Gdk::ModifierType state) {
    GtkWidget* focus = mainWindow->get_focus() ? mainWindow->get_focus()->gobj() : nullptr;
    if (focus && GTK_IS_EDITABLE(focus))
        return false;
    using Modifier = Gdk::ModifierType;
    if ((state & (Modifier::CONTROL_MASK | Modifier::ALT_MASK | Modifier::SUPER_MASK |
                  Modifier::META_MASK)) != Modifier(0))
        return false;
    bool shift = (state & Modifier::SHIFT_MASK) != Modifier(0);
    auto event = practiceKeys->get_current_event();
    guint base = baseKey(keycode, event ? practiceKeys->get_group() : 0);
    bool navigating = focus && (GTK_IS_RANGE(focus) ||
                                gtk_widget_is_ancestor(focus, GTK_WIDGET(fsBrowser->gobj())));
    if (key == GDK_KEY_bracketleft) {
        setSectionStart(nullptr);
    } else if (key == GDK_KEY_bracketright) {
        setSectionEnd(nullptr);
    } else if (key == GDK_KEY_backslash) {
        toggleSectionLoop(nullptr);
    } else if (base == GDK_KEY_minus || key == GDK_KEY_KP_Subtract) {
        changeRateBy(shift ? -fineRateStep : -coarseRateStep);
    } else if (base == GDK_KEY_plus || base == GDK_KEY_equal || key == GDK_KEY_KP_Add) {
        changeRateBy(shift ? fineRateStep : coarseRateStep);
    } else if (key == GDK_KEY_0 || key == GDK_KEY_KP_0) {
        resetRate();
    } else if ((key == GDK_KEY_Left || key == GDK_KEY_Right) && !navigating) {
        int direction = key == GDK_KEY_Left ? -1 : 1;
        if (shift)
            stepFrame(direction);
        else
            seekBy(direction * seekSeconds);
    } else if (key == GDK_KEY_Home && !navigating) {
        goToSectionStart();
    } else {
        return false;
    }
    if (mprisService)
        mprisService->refresh();
    return true;
}

// The time practised shows as a column of the file list when the student asks for it, from the
// main menu or any column title's menu; the choice is kept.
void AppController::connectPractisedColumn() {
    Gtk::ColumnViewColumn* column =
        resultsView->tableColumnWithIdentifier(FrlresultsTablePractisedColumn);
    if (!column)
        return;
    bool shown = Defaults::standard().boolForKey(FrlshowPractisedColumn);
    column->set_visible(shown);
    auto toggle = Gio::SimpleAction::create_bool("show-practised", shown);
    toggle->signal_activate().connect([column, action = toggle.get()](const Glib::VariantBase&) {
        bool show = !column->get_visible();
        action->set_state(Glib::Variant<bool>::create(show));
        column->set_visible(show);
        Defaults::standard().setBool(FrlshowPractisedColumn, show);
    });
    application->add_action(toggle);
    auto menu = Gio::Menu::create();
    menu->append("Time Practised", "app.show-practised");
    for (Gtk::ColumnViewColumn* each : resultsView->tableColumns())
        each->set_header_menu(menu);
}

void AppController::showShortcuts(Gtk::Widget*) {
    if (!shortcutsWindow) {
        std::string layout = Resources::pathForLayout("Shortcuts");
        if (layout.empty())
            return;
        auto shortcutsBuilder = Gtk::Builder::create_from_file(layout);
        shortcutsWindow.reset(shortcutsBuilder->get_widget<Gtk::ShortcutsWindow>("shortcuts"));
        if (!shortcutsWindow)
            return;
        shortcutsWindow->set_transient_for(*mainWindow);
        shortcutsWindow->set_hide_on_close(true);
    }
    shortcutsWindow->present();
}

// Remembered practice.

// Called with each lesson the loader puts in the view: a lesson opened anew brings back its
// practice; its next play starts where it was left.
void AppController::restorePractice(bool showOnlyPoster) {
    FrlQTMovie* movie = currentMovie();
    if (!movie || movie->isStillImage()) {
        NotificationCenter::defaultCenter().removeObserver(this, QTMovieSectionDidLoopNotification);
        practiceLesson.reset();
        practice = {};
        showSections();
        showPractice();
        return;
    }
    if (!practiceLesson || practiceLesson->path != movie->movieFilePath())
        openPractice(*movie);
    applyPracticeToMovie();
    if (!showOnlyPoster && resumeAtNs) {
        movie->setCurrentTime(timeAt(*movie, *resumeAtNs));
        resumeAtNs.reset();
    }
    showPractice();
    if (mprisService)
        mprisService->refresh();
}

void AppController::openPractice(FrlQTMovie& movie) {
    auto& center = NotificationCenter::defaultCenter();
    center.removeObserver(this, QTMovieSectionDidLoopNotification);
    center.addObserver(
        this, [this](const Notification&) { sectionDidLoop(); }, QTMovieSectionDidLoopNotification,
        &movie);
    std::error_code error;
    auto size = std::filesystem::file_size(movie.movieFilePath(), error);
    practiceLesson = LessonIdentity{movie.movieFilePath(), error ? 0 : size, annotationsOf(movie)};
    auto remembered = practiceMemory->practiceFor(*practiceLesson);
    practice = remembered.value_or(LessonPractice{});
    if (!remembered)
        practice.rate = movieRateSlider->get_value();
    lessonPlayed = false;
    lastPracticeTickUs = g_get_monotonic_time();
    resumeAtNs.reset();
    // A lesson left near its end starts again from the beginning.
    if (practice.positionNs > 0 && practice.positionNs < durationNs(movie) - nanosecondsPerSecond)
        resumeAtNs = practice.positionNs;
    if (practice.trainer.enabled)
        practice.trainer.resumeAt(practice.rate);
    setSliderRateQuietly(practice.rate);
    showSections();
}

// The slider shows the lesson's rate; a movie that stands still stays still.
void AppController::setSliderRateQuietly(double rate) {
    bool wasPaused = std::exchange(isMoviePaused, true);
    showingPractice = true;
    movieRateSlider->set_value(rate);
    showingPractice = false;
    isMoviePaused = wasPaused;
}

void AppController::rememberPractice() {
    if (!practiceLesson || !practiceMemory)
        return;
    FrlQTMovie* movie = currentMovie();
    // Only a lesson played since it was opened has a new place; browsing past it keeps the old.
    if (movie && lessonPlayed && !resumeAtNs && movie->movieFilePath() == practiceLesson->path)
        practice.positionNs = positionNs(*movie);
    practice.rate = movieRateSlider->get_value();
    practiceMemory->remember(*practiceLesson, practice);
    showPractisedTime();
}

void AppController::practiceTick(FrlQTMovie* movie) {
    std::int64_t now = g_get_monotonic_time();
    std::int64_t elapsed = std::min(now - lastPracticeTickUs, longestTickUs);
    lastPracticeTickUs = now;
    if (practiceLesson && movie->isPlaying() && movie->movieFilePath() == practiceLesson->path) {
        lessonPlayed = true;
        practice.practisedMs += elapsed / 1000;
        if (now - lastPracticeSaveUs > saveIntervalUs) {
            lastPracticeSaveUs = now;
            rememberPractice();
        }
    }
    if (mprisService)
        mprisService->refresh();
}

void AppController::applyPracticeToMovie() {
    FrlQTMovie* movie = currentMovie();
    if (!movie)
        return;
    std::optional<QTTimeRange> section;
    if (const PracticeSection* current = practice.current(); current && practice.loopsSection()) {
        std::int32_t scale = static_cast<std::int32_t>(movie->timeScale());
        section = QTMakeTimeRange(QTTimeFromNanoseconds(current->startNs, scale),
                                  QTTimeFromNanoseconds(current->endNs - current->startNs, scale));
    }
    if (!sameRange(section, movie->loopSection()))
        movie->setLoopSection(section);
    if (movie->mirrored() != practice.mirrored)
        movie->setMirrored(practice.mirrored);
}

void AppController::showPractice() {
    bool lesson = practiceLesson.has_value();
    bool section = lesson && practice.current();
    bool wasShowing = std::exchange(showingPractice, true);
    for (Gtk::Widget* control :
         {static_cast<Gtk::Widget*>(sectionStartButton),
          static_cast<Gtk::Widget*>(sectionEndButton), static_cast<Gtk::Widget*>(sectionsButton),
          static_cast<Gtk::Widget*>(mirrorButton)})
        control->set_sensitive(lesson);
    sectionLoopButton->set_sensitive(section);
    sectionLoopButton->set_active(practice.loopsSection());
    trainerButton->set_sensitive(section);
    trainerButton->set_active(practice.trainer.enabled);
    mirrorButton->set_active(practice.mirrored);
    trainerStartField->set_value(practice.trainer.startRate * 100);
    trainerStepField->set_value(practice.trainer.step * 100);
    trainerTargetField->set_value(practice.trainer.targetRate * 100);
    trainerStatus->set_text(practice.trainer.enabled
                                ? "Pass " + std::to_string(practice.trainer.passes() + 1) + " at " +
                                      percent(practice.trainer.rate())
                                : "");
    rateDisplay->set_text(percent(sliderRate()));
    if (const PracticeSection* current = section ? practice.current() : nullptr)
        sectionBand->setSection(std::pair{seconds(current->startNs), seconds(current->endNs)},
                                practice.loopsSection());
    else
        sectionBand->setSection(std::nullopt, false);
    showingPractice = wasShowing;
}

void AppController::showSections() {
    sectionList->setSections(practice.sections, practice.currentSection);
}

// The shown lesson's row in the file list shows its time practised.
void AppController::showPractisedTime() {
    Gtk::ColumnViewColumn* column =
        resultsView->tableColumnWithIdentifier(FrlresultsTablePractisedColumn);
    if (!column || !lastVisNodes || !practiceLesson)
        return;
    for (std::size_t row = 0; row < lastVisNodes->size(); ++row) {
        if ((*lastVisNodes)[row]->absolutePath() != practiceLesson->path)
            continue;
        if (auto* cell =
                dynamic_cast<Gtk::Label*>(resultsView->cellAt(static_cast<int>(row), column)))
            cell->set_text(practisedText(practice.practisedMs));
        return;
    }
}

std::optional<std::string> AppController::practisedColumnValue(Gtk::ColumnViewColumn* column,
                                                               const std::string& path) {
    if (TableView::identifierOf(column) != FrlresultsTablePractisedColumn)
        return std::nullopt;
    if (practiceLesson && practiceLesson->path == path)
        return practisedText(practice.practisedMs);
    auto practised = practiceMemory ? practiceMemory->practisedMs(path) : std::nullopt;
    return practised ? practisedText(*practised) : std::string();
}

bool AppController::playPreviousSelection() {
    int row = selectedFileListRow();
    if (row <= 0)
        return false;
    ignoreSelectionChange = true;
    selectFileListRow(row - 1);
    return playCurrentSelection(false);
}

// The media-player service.

MprisState AppController::mprisState() {
    MprisState state;
    state.rate = sliderRate();
    state.volume = movieView->volumeControl().get_value();
    state.loopStatus = practice.loopsSection() ? "Track" : isLooping ? "Playlist" : "None";
    int row = selectedFileListRow();
    state.canGoNext = row >= 0 && row + 1 < std::min(fileListRowCount(), lastRowCount);
    state.canGoPrevious = row > 0;
    FrlQTMovie* movie = currentMovie();
    if (!movie || movie->isStillImage())
        return state;
    state.hasLesson = true;
    state.path = movie->movieFilePath();
    gchar* title =
        g_filename_display_name(Paths::stringByDeletingPathExtension(movie->displayName()).c_str());
    state.title = title;
    g_free(title);
    state.artist = movie->getArtistAnnotation().value_or("");
    state.lengthUs = durationNs(*movie) / 1000;
    state.positionUs = positionNs(*movie) / 1000;
    state.playingRate = movie->rate();
    state.playbackStatus = movie->isPlaying()      ? "Playing"
                           : state.positionUs == 0 ? "Stopped"
                                                   : "Paused";
    return state;
}

void AppController::mprisRaise() {
    mainWindow->present();
}

void AppController::mprisQuit() {
    terminate(nullptr);
}

void AppController::mprisPlayPause() {
    togglePlay(nullptr);
}

void AppController::mprisPlay() {
    if (!isMoviePlaying())
        togglePlay(nullptr);
}

void AppController::mprisPause() {
    if (isMoviePlaying())
        pauseMovie();
}

void AppController::mprisStop() {
    if (!currentMovie())
        return;
    pauseIfPlaying();
    movieView->gotoBeginning();
    adjustTimeDisplayForCurrentMovie();
}

void AppController::mprisNext() {
    playNextSelection();
}

void AppController::mprisPrevious() {
    playPreviousSelection();
}

void AppController::mprisSeek(std::int64_t offsetUs) {
    seekBy(static_cast<double>(offsetUs) / 1e6);
}

void AppController::mprisSetPosition(std::int64_t positionUs) {
    if (FrlQTMovie* movie = currentMovie())
        movie->setCurrentTime(timeAt(*movie, positionUs * 1000));
}

void AppController::mprisSetRate(double rate) {
    movieRateSlider->set_value(rate);
}

// Track is the section loop, Playlist the loop of the whole movie; one at a time.
void AppController::mprisSetLoopStatus(const std::string& loopStatus) {
    bool section = loopStatus == "Track" && practice.current();
    bool wholeMovie = loopStatus == "Playlist";
    if (isLooping != wholeMovie)
        loop(nullptr);
    if (practice.sectionLoop != section && practiceLesson) {
        practice.sectionLoop = section;
        if (!section)
            practice.trainer.enabled = false;
        sectionsChanged();
    }
}

void AppController::mprisSetVolume(double volume) {
    movieView->volumeControl().set_value(volume);
}
