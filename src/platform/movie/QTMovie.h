#pragma once

#include "platform/movie/MovieAnnotations.h"
#include "platform/movie/MovieController.h"
#include "platform/movie/MovieImage.h"
#include "platform/movie/QTTime.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <sigc++/sigc++.h>
#include <string>
#include <utility>
#include <vector>

// Posted by a movie that played to its end (not when it loops, nor when it runs backwards into
// its start, which stops it).
inline constexpr const char* QTMovieDidEndNotification = "QTMovieDidEndNotification";
// Posted by a movie whose rate changed; the new rate is under the parameter key.
inline constexpr const char* QTMovieRateDidChangeNotification = "QTMovieRateDidChangeNotification";
inline constexpr const char* QTMovieRateDidChangeNotificationParameter =
    "QTMovieRateDidChangeNotificationParameter";
// Posted by a movie at the end of each pass through its loop section, before the next pass
// starts; a rate set by an observer applies to the next pass without a break.
inline constexpr const char* QTMovieSectionDidLoopNotification =
    "QTMovieSectionDidLoopNotification";

class ByteSource;
class MoviePipeline;

struct QTMovieSize {
    double width = 0;
    double height = 0;
};

// A movie opened from a file: a QuickTime or ISO-BMFF movie (.mov, .mp4, .m4v) our atom reader
// understands, a still picture shown as a one-frame movie, or any other file GStreamer recognises
// as sound or video (WebM, MKV, AVI, MPEG, MP3, Ogg, FLAC, WAV ...), whose length and kind are
// known once its pipeline has prerolled. Opening reads only the file's first bytes or structure;
// the GStreamer pipeline is built when the movie is first shown or played. Notifications go to the
// default NotificationCenter with the movie as their object. Playback is main-thread work; a movie
// opened only for its annotations or name may live on any one thread.
class QTMovie {
public:
    static constexpr std::int32_t defaultTimeScale = 600;

    QTMovie();
    virtual ~QTMovie();
    QTMovie(const QTMovie&) = delete;
    QTMovie& operator=(const QTMovie&) = delete;

    // Whether the file looks like something this class opens (a cheap look at its first bytes).
    static bool canInitWithFile(const std::string& path);
    // Opens the file; false (and error, when given, says why) for a file that is missing,
    // truncated, damaged or not a movie.
    bool initWithFile(const std::string& path, std::string* error);

    // Rate: 0 stopped, 1 normal speed, negative backwards, fractions slow.
    float rate() const { return playRate; }
    void setRate(float rate);
    void play() { setRate(1.0f); }
    void stop() { setRate(0.0f); }

    QTTime currentTime() const;
    void setCurrentTime(QTTime time);
    void gotoBeginning();
    void gotoEnd();
    void gotoPosterFrame();
    QTTime duration() const;
    long timeScale() const { return scale; }
    QTTime posterTime() const;

    bool muted() const { return isMuted; }
    void setMuted(bool muted);
    float volume() const { return soundVolume; }
    void setVolume(float volume);
    bool loops() const { return isLooping; }
    void setLoops(bool loops) { isLooping = loops; }
    // Accepted for compatibility; a movie is never edited here.
    bool editable() const { return isEditable; }
    void setEditable(bool editable) { isEditable = editable; }

    // The full path of the movie's file (empty for a movie not opened from a file).
    const std::string& fileName() const { return path; }
    // The file's name, extension included, as the user reads it (UTF-8).
    std::string displayName() const;
    QTMovieSize naturalSize() const { return natural; }
    bool isStillImage() const { return still != nullptr; }

    // The picture at the poster time; the picture itself for a still image.
    std::shared_ptr<MovieImage> posterFrameImage();
    // The picture shown last, if the movie has been shown or played.
    std::shared_ptr<MovieImage> currentFrameImage() const;

    // Sound without pictures, as its pipeline found it.
    bool isSoundOnly() const { return soundOnly; }
    // The encoded picture (JPEG, PNG) a sound file carries as its cover, or nothing.
    const std::vector<std::uint8_t>& coverArt() const { return cover; }
    // Why GStreamer could not play the file; empty while nothing went wrong.
    const std::string& failureReason() const { return failure; }
    // The pipeline prerolled (length, kind and cover are known) or failed (main thread).
    sigc::signal<void()>& signalStatusChanged() { return statusChanged; }

    // The movie's user-data list; null when the movie has none (a still image, a file our atom
    // reader does not understand).
    MovieAnnotations* userData() { return annotations.get(); }
    // Writes changed annotations into the movie's file.
    bool updateMovieFile();

    MovieController* quickTimeMovieController() { return controller.get(); }
    // Shown in a view: builds the pipeline (the current frame appears) and makes the controller
    // idle.
    void setVisible(bool visible);
    bool isVisible() const { return shown; }
    // A new picture is ready (main thread).
    sigc::signal<void()>& signalFrameChanged() { return frameChanged; }
    // Frames shown since the movie was first shown or played.
    std::uint64_t framesShown() const;

    // Practice: a section that plays over and over, seamlessly, in either direction (none: the
    // whole movie, as before); the picture flipped left to right; steps of whole frames.
    void setLoopSection(std::optional<QTTimeRange> section);
    std::optional<QTTimeRange> loopSection() const { return section; }
    void setMirrored(bool mirrored);
    bool mirrored() const { return isMirrored; }
    // Moves by count frames (negative: back) and shows that frame.
    void stepFrames(int count);

    // QTMovieExtensions: small operations on any movie (src/player/QTMovieExtensions.cpp).
    bool isPlaying() const;
    QTTime currentPlayTime() const;
    void setTime(std::int32_t time);
    void timeToQTTime(std::int32_t time, QTTime& resultTime) const;
    double currentTimeValue() const;
    bool currentTimeEqualsDuration() const;
    std::shared_ptr<MovieImage> posterImage();
    std::string movieFilePath() const;
    std::string movieFileName() const;
    static std::string filenameFromFullPath(const std::string& fullPath);
    std::string durationAsString() const;

private:
    bool openStructure(const std::string& file, std::string* error);
    bool openStill(const std::string& file, std::string* error);
    bool openStream(const ByteSource& source, std::string* error);
    void streamReady();
    std::int64_t latestNs() const;
    void ensurePipeline();
    std::int64_t durationNs() const;
    std::int64_t positionNs() const;
    void reachedEnd();
    void failed(const std::string& reason);
    void changeRate(float rate);
    void postRateChange(float rate);
    void sectionEnded();
    std::optional<std::pair<std::int64_t, std::int64_t>> sectionNs() const;

    std::string path;
    std::unique_ptr<MovieAnnotations> annotations;
    std::shared_ptr<MovieImage> still;
    std::shared_ptr<MovieImage> poster;
    std::int32_t scale = defaultTimeScale;
    std::int64_t durationValue = 0;
    bool durationKnown = true;
    bool streamed = false;
    bool soundOnly = false;
    std::vector<std::uint8_t> cover;
    std::string failure;
    std::int64_t posterValue = 0;
    QTMovieSize natural;

    float playRate = 0;
    float soundVolume = 1;
    bool isMuted = false;
    bool isLooping = false;
    bool isEditable = false;
    bool shown = false;
    bool atEnd = false;
    bool broken = false;
    std::int64_t restingNs = 0;
    std::optional<QTTimeRange> section;
    bool isMirrored = false;
    // Between a section's end and its next pass: a rate set now rides on the next pass.
    bool wrapping = false;

    std::unique_ptr<MovieController> controller;
    std::unique_ptr<MoviePipeline> pipeline;
    sigc::signal<void()> frameChanged;
    sigc::signal<void()> statusChanged;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
