#include "platform/movie/QTMovie.h"

#include "platform/MainThread.h"
#include "platform/Paths.h"
#include "platform/movie/ByteSource.h"
#include "platform/movie/FrameGrabber.h"
#include "platform/movie/MoviePipeline.h"
#include "platform/movie/NotificationCenter.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gst/base/gsttypefindhelper.h>
#include <string_view>

namespace {

constexpr std::size_t sniffLength = 1024;
// Enough of the head for GStreamer's type finders, MPEG streams included.
constexpr std::size_t mediaSniffLength = 64 * 1024;

bool startsWith(std::string_view data, std::string_view prefix) {
    return data.substr(0, prefix.size()) == prefix;
}

// Pictures GStreamer decodes: PNG, JPEG, GIF, TIFF, BMP and SVG.
bool looksLikeStillImage(const ByteSource& source) {
    std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(source.size(), sniffLength)),
                     '\0');
    if (head.empty() || !source.read(0, head.size(), reinterpret_cast<std::uint8_t*>(head.data())))
        return false;
    std::string_view data(head);
    for (std::string_view magic :
         {std::string_view("\x89PNG\r\n\x1a\n"), std::string_view("\xFF\xD8\xFF"),
          std::string_view("GIF87a"), std::string_view("GIF89a"), std::string_view("II*\0", 4),
          std::string_view("MM\0*", 4), std::string_view("BM")}) {
        if (startsWith(data, magic))
            return true;
    }
    return data.find("<svg") != std::string_view::npos;
}

bool isMediaType(std::string_view type) {
    for (std::string_view kind : {"video/", "audio/", "application/ogg", "application/x-id3",
                                  "application/x-apetag", "application/mxf"}) {
        if (startsWith(type, kind))
            return true;
    }
    return false;
}

// Sound or video in a container GStreamer recognises, by its first bytes.
bool looksLikeMedia(const ByteSource& source) {
    std::vector<std::uint8_t> head(
        static_cast<std::size_t>(std::min<std::uint64_t>(source.size(), mediaSniffLength)));
    if (head.empty() || !source.read(0, head.size(), head.data()) ||
        !MoviePipeline::initializeGStreamer())
        return false;
    GstCaps* caps = gst_type_find_helper_for_data(nullptr, head.data(), head.size(), nullptr);
    if (!caps)
        return false;
    bool media = !gst_caps_is_empty(caps) &&
                 isMediaType(gst_structure_get_name(gst_caps_get_structure(caps, 0)));
    gst_caps_unref(caps);
    return media;
}

void explain(std::string* error, const char* why) {
    if (error)
        *error = why;
}

} // namespace

QTMovie::QTMovie() : controller(std::make_unique<MovieController>()) {}

QTMovie::~QTMovie() {
    controller->stopIdling();
    pipeline.reset();
}

bool QTMovie::canInitWithFile(const std::string& file) {
    auto source = ByteSource::openFile(file);
    return source && (MovieFile::looksLikeMovie(*source) || looksLikeStillImage(*source) ||
                      looksLikeMedia(*source));
}

bool QTMovie::initWithFile(const std::string& file, std::string* error) {
    std::error_code ignored;
    std::string absolute = std::filesystem::absolute(file, ignored).string();
    auto source = ByteSource::openFile(absolute);
    if (!source) {
        explain(error, "the file cannot be read");
        return false;
    }
    if (source->size() == 0) {
        explain(error, "the file is empty");
        return false;
    }
    bool opened = false;
    if (MovieFile::looksLikeMovie(*source)) {
        // A movie our reader refuses (compressed headers, junk at the end) may still play.
        opened = openStructure(absolute, error) ||
                 (MovieFile::holdsMovieAtom(*source) && openStream(*source, error));
    } else if (looksLikeStillImage(*source)) {
        opened = openStill(absolute, error);
    } else {
        opened = openStream(*source, error);
    }
    if (opened)
        path = absolute;
    return opened;
}

bool QTMovie::openStructure(const std::string& file, std::string* error) {
    annotations = MovieAnnotations::open(file);
    if (!annotations) {
        explain(error, "the movie is incomplete or damaged");
        return false;
    }
    const MovieFile& movie = annotations->file();
    scale = static_cast<std::int32_t>(std::min<std::uint32_t>(movie.timeScale(), INT32_MAX));
    durationValue = static_cast<std::int64_t>(std::min<std::uint64_t>(movie.duration(), INT64_MAX));
    posterValue =
        std::min<std::int64_t>(static_cast<std::int64_t>(movie.posterTime()), durationValue);
    natural = {movie.naturalWidth(), movie.naturalHeight()};
    return true;
}

bool QTMovie::openStill(const std::string& file, std::string* error) {
    still = FrameGrabber::frameAt(file, 0);
    if (!still) {
        explain(error, "the picture cannot be decoded");
        return false;
    }
    natural = {static_cast<double>(still->width()), static_cast<double>(still->height())};
    return true;
}

// Length and size come from the pipeline once it has prerolled.
bool QTMovie::openStream(const ByteSource& source, std::string* error) {
    if (!looksLikeMedia(source)) {
        explain(error, "it is neither a movie nor a sound file");
        return false;
    }
    streamed = true;
    durationKnown = false;
    return true;
}

std::string QTMovie::displayName() const {
    return Paths::displayName(std::filesystem::path(path).filename().string());
}

QTTime QTMovie::duration() const {
    return QTMakeTime(durationValue, scale);
}

QTTime QTMovie::posterTime() const {
    return QTMakeTime(posterValue, scale);
}

std::int64_t QTMovie::durationNs() const {
    return QTTimeToNanoseconds(duration());
}

// The latest position there is: the end, or for a stream of unknown length, no limit.
std::int64_t QTMovie::latestNs() const {
    return durationKnown ? durationNs() : INT64_MAX;
}

std::int64_t QTMovie::positionNs() const {
    if (atEnd)
        return durationNs();
    std::int64_t now = restingNs;
    if (pipeline) {
        if (auto reported = pipeline->position())
            now = *reported;
    }
    return std::clamp<std::int64_t>(now, 0, latestNs());
}

QTTime QTMovie::currentTime() const {
    if (atEnd)
        return duration();
    return QTTimeFromNanoseconds(positionNs(), scale);
}

void QTMovie::setCurrentTime(QTTime time) {
    if (time.timeScale <= 0)
        return;
    std::int64_t target = std::clamp<std::int64_t>(QTTimeToNanoseconds(time), 0, latestNs());
    atEnd = target > 0 && target == durationNs();
    restingNs = target;
    if (pipeline)
        pipeline->apply(playRate, target);
}

void QTMovie::gotoBeginning() {
    setCurrentTime(QTMakeTime(0, scale));
}

void QTMovie::gotoEnd() {
    setCurrentTime(duration());
}

void QTMovie::gotoPosterFrame() {
    setCurrentTime(posterTime());
}

void QTMovie::setRate(float rate) {
    float old = playRate;
    if (!std::isfinite(rate) || rate == old)
        return;
    changeRate(rate);
    if (playRate != old)
        postRateChange(playRate);
}

void QTMovie::changeRate(float rate) {
    // At a section's seam a rate in the same direction waits for the next pass's seek.
    if (wrapping && rate != 0 && (rate > 0) == (playRate > 0)) {
        playRate = rate;
        return;
    }
    wrapping = false;
    std::int64_t from = positionNs();
    playRate = rate;
    restingNs = from;
    if (rate == 0) {
        if (pipeline)
            pipeline->pause();
        return;
    }
    ensurePipeline();
    if (broken) {
        playRate = 0;
        return;
    }
    atEnd = false;
    pipeline->apply(rate, from);
}

void QTMovie::postRateChange(float rate) {
    NotificationCenter::defaultCenter().postNotification(
        QTMovieRateDidChangeNotification, this,
        {{QTMovieRateDidChangeNotificationParameter, static_cast<double>(rate)}});
}

void QTMovie::setMuted(bool muted) {
    isMuted = muted;
    if (pipeline)
        pipeline->setMuted(muted);
}

void QTMovie::setVolume(float volume) {
    soundVolume = std::clamp(volume, 0.0f, 1.0f);
    if (pipeline)
        pipeline->setVolume(soundVolume);
}

void QTMovie::setVisible(bool visible) {
    if (visible == shown)
        return;
    shown = visible;
    if (!visible) {
        controller->stopIdling();
        return;
    }
    ensurePipeline();
    controller->startIdling();
}

void QTMovie::ensurePipeline() {
    MainThread::assertCurrent("QTMovie playback");
    if (pipeline && !broken)
        return;
    broken = path.empty();
    if (broken)
        return;
    MoviePipeline::Events events;
    events.ended = [this] { reachedEnd(); };
    events.failed = [this](const std::string& reason) { failed(reason); };
    events.ready = [this] { streamReady(); };
    events.frame = [this] {
        auto frame = pipeline->currentFrame();
        if (streamed && natural.width == 0 && frame)
            natural = {static_cast<double>(frame->width()), static_cast<double>(frame->height())};
        frameChanged.emit();
    };
    events.sectionEnded = [this] { sectionEnded(); };
    pipeline = std::make_unique<MoviePipeline>(path, restingNs, std::move(events));
    broken = !pipeline->isValid();
    pipeline->setSection(sectionNs());
    pipeline->setMirrored(isMirrored);
    pipeline->setVolume(soundVolume);
    pipeline->setMuted(isMuted);
}

// The end of the media in the direction of play. Forwards the movie ends; backwards it stops at
// its start. Notification handlers may destroy this movie, so nothing follows a post but a check.
void QTMovie::reachedEnd() {
    bool forwards = playRate > 0;
    if (playRate == 0)
        return;
    if (isLooping && durationNs() > 0) {
        pipeline->apply(playRate, forwards ? 0 : durationNs());
        return;
    }
    playRate = 0;
    if (forwards) {
        atEnd = true;
        restingNs = durationNs();
        pipeline->pause();
    } else {
        restingNs = 0;
        pipeline->apply(0, 0);
    }
    std::weak_ptr<bool> stillHere = alive;
    postRateChange(0);
    if (forwards && stillHere.lock())
        NotificationCenter::defaultCenter().postNotification(QTMovieDidEndNotification, this);
}

// What the pipeline found: a stream's length, whether there are pictures, a cover.
void QTMovie::streamReady() {
    failure.clear();
    soundOnly = !pipeline->hasVideo();
    cover = soundOnly ? pipeline->coverArt() : std::vector<std::uint8_t>();
    if (auto length = pipeline->duration(); streamed && length) {
        durationValue = QTTimeFromNanoseconds(*length, scale).timeValue;
        durationKnown = true;
    }
    statusChanged.emit();
}

// The user sees the reason in the movie view; the log keeps it too.
void QTMovie::failed(const std::string& reason) {
    broken = true;
    failure = reason;
    g_message("%s cannot be played: %s", displayName().c_str(), reason.c_str());
    std::weak_ptr<bool> stillHere = alive;
    statusChanged.emit();
    if (!stillHere.lock() || playRate == 0)
        return;
    restingNs = positionNs();
    playRate = 0;
    postRateChange(0);
}

std::shared_ptr<MovieImage> QTMovie::posterFrameImage() {
    if (still)
        return still;
    if (!poster && !path.empty())
        poster = FrameGrabber::frameAt(path, QTTimeToNanoseconds(posterTime()));
    return poster;
}

std::shared_ptr<MovieImage> QTMovie::currentFrameImage() const {
    if (pipeline && pipeline->currentFrame())
        return pipeline->currentFrame();
    return still;
}

std::uint64_t QTMovie::framesShown() const {
    return pipeline ? pipeline->framesShown() : 0;
}

bool QTMovie::updateMovieFile() {
    return annotations && annotations->save();
}

void QTMovie::setLoopSection(std::optional<QTTimeRange> loop) {
    section = loop;
    if (!pipeline)
        return;
    pipeline->setSection(sectionNs());
    // Running, the movie keeps its place and takes up the new bounds at once.
    if (playRate != 0)
        pipeline->apply(playRate, positionNs());
}

// The section in nanoseconds, cut to the movie; nothing when less than a frame remains.
std::optional<std::pair<std::int64_t, std::int64_t>> QTMovie::sectionNs() const {
    if (!section)
        return std::nullopt;
    std::int64_t start =
        std::clamp<std::int64_t>(QTTimeToNanoseconds(section->time), 0, durationNs());
    std::int64_t end =
        std::clamp<std::int64_t>(start + QTTimeToNanoseconds(section->duration), 0, durationNs());
    constexpr std::int64_t shortest = 20'000'000;
    if (end - start < shortest)
        return std::nullopt;
    return std::pair{start, end};
}

void QTMovie::sectionEnded() {
    wrapping = true;
    std::weak_ptr<bool> stillHere = alive;
    NotificationCenter::defaultCenter().postNotification(QTMovieSectionDidLoopNotification, this);
    if (!stillHere.lock() || !wrapping)
        return;
    wrapping = false;
    pipeline->loopSection(playRate);
}

void QTMovie::setMirrored(bool mirrored) {
    isMirrored = mirrored;
    if (!pipeline)
        return;
    pipeline->setMirrored(mirrored);
    // A paused picture is decoded again to show the change.
    if (playRate == 0)
        pipeline->apply(0, positionNs());
}

void QTMovie::stepFrames(int count) {
    constexpr std::int64_t fallbackFrameNs = 1'000'000'000 / 30;
    std::int64_t frame = fallbackFrameNs;
    if (pipeline && pipeline->frameDuration() && *pipeline->frameDuration() > 0)
        frame = *pipeline->frameDuration();
    // Aim at the middle of the frame, so rounding never lands on its neighbour.
    std::int64_t index = (positionNs() + frame / 4) / frame + count;
    std::int64_t target = std::clamp<std::int64_t>(index * frame + frame / 2, 0, durationNs());
    setCurrentTime(QTTimeFromNanoseconds(target, scale));
}
