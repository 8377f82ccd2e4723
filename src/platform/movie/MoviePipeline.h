#pragma once

#include "platform/movie/GstRef.h"
#include "platform/movie/MovieImage.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The GStreamer side of a shown or played movie: a playbin whose video ends in an appsink (frames
// handed to the main thread as MovieImages) and whose audio goes through scaletempo, so rates
// other than 1 keep the pitch. Rates are seeks: a positive rate plays from a position to the end,
// a negative one from the position back to the start. Created, driven and destroyed on the main
// thread; its events arrive there too.
class MoviePipeline {
public:
    struct Events {
        std::function<void()> ended;
        // Why GStreamer cannot play the file, in its own words.
        std::function<void(const std::string& reason)> failed;
        std::function<void()> frame;
        // Prerolled for the first time, or the length changed: the queries below answer.
        std::function<void()> ready;
        // The section's end was reached: loopSection starts the next pass.
        std::function<void()> sectionEnded;
    };

    // A stretch [start, end) in nanoseconds.
    using Section = std::pair<std::int64_t, std::int64_t>;

    // Loads GStreamer once per process; false when it cannot start.
    static bool initializeGStreamer();
    // "videoconvert ! videoscale ! videoflip ! appsink" delivering square-pixel RGBA; appsink
    // receives the sink.
    static GstElement* createVideoSink(GstElement** appsink);
    // The element named by FRETLARK_AUDIO_SINK (running in real time), else autoaudiosink.
    static GstElement* createAudioSink();

    // Builds the pipeline and prerolls it, paused, at the position.
    MoviePipeline(const std::string& path, std::int64_t positionNs, Events events);
    ~MoviePipeline();
    MoviePipeline(const MoviePipeline&) = delete;
    MoviePipeline& operator=(const MoviePipeline&) = delete;

    bool isValid() const { return static_cast<bool>(pipeline); }
    // Moves to the position and plays at the rate from there; rate 0 shows the position paused.
    void apply(double rate, std::int64_t positionNs);
    // Stops where it stands.
    void pause();
    std::optional<std::int64_t> position() const;
    std::optional<std::int64_t> duration() const;
    bool hasVideo() const;
    // The encoded cover picture of the sound, if its tags carry one.
    std::vector<std::uint8_t> coverArt() const;
    void setVolume(double volume);
    void setMuted(bool muted);

    // While a section is set, running plays it over and over (segment seeks): forwards from the
    // position when it lies inside, else from the start; backwards likewise from the end. Takes
    // effect with the next apply.
    void setSection(std::optional<Section> section) { loop = section; }
    // The section's next pass at the rate, without a flush, so no frame is lost at the seam.
    void loopSection(double rate);
    // Flips the picture left to right; a paused picture changes with the next apply.
    void setMirrored(bool mirrored);
    // How long the picture shown lasts, when the stream says.
    std::optional<std::int64_t> frameDuration() const;

    std::shared_ptr<MovieImage> currentFrame() const { return frameShown; }
    // Frames that reached the main thread since the pipeline was built.
    std::uint64_t framesShown() const { return frameCount; }

private:
    static GstRef<GstElement> createPlaybin(const std::string& path, GstElement** appsink);

    // What the appsink's streaming thread leaves for the main thread: the newest frame only.
    struct Mailbox : std::enable_shared_from_this<Mailbox> {
        std::mutex lock;
        GstRef<GstSample> sample;
        bool posted = false;
        MoviePipeline* owner = nullptr;
    };

    static gboolean busMessage(GstBus* bus, GstMessage* message, gpointer self);
    static gboolean prerollTimedOut(gpointer self);
    static GstFlowReturn newSample(GstElement* sink, gpointer mailbox);
    static GstFlowReturn newPreroll(GstElement* sink, gpointer mailbox);
    static void deposit(Mailbox* mailbox, GstSample* sample);
    void collectFrame();
    void applyNow();
    bool seek(double rate, std::int64_t positionNs, GstSeekFlags flags);
    bool handleMessage(GstMessage* message);

    GstRef<GstElement> pipeline;
    GstRef<GstBus> bus;
    Events events;
    std::shared_ptr<Mailbox> mailbox;
    std::shared_ptr<MovieImage> frameShown;
    std::uint64_t frameCount = 0;

    bool prerolled = false;
    bool announced = false;
    guint prerollWatchdog = 0;
    bool pending = false;
    bool seeking = false;
    double targetRate = 0;
    std::int64_t targetPosition = 0;
    guint32 seekSeqnum = GST_SEQNUM_INVALID;
    std::optional<Section> loop;
    GstRef<GstElement> flip;
};
