#include "platform/movie/MoviePipeline.h"

#include "platform/MainThread.h"

#include <cstdlib>
#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <mutex>
#include <utility>

namespace {

// playbin's flags: video, audio and its own volume control; no subtitles.
constexpr guint playVideo = 1 << 0;
constexpr guint playAudio = 1 << 1;
constexpr guint softVolume = 1 << 4;
// A local file prerolls in well under a second; one that has not after this never will.
constexpr guint prerollPatienceSeconds = 5;

// The error's own words; the debug details (element, source line) are for the log only.
std::string errorText(GstMessage* message) {
    GError* error = nullptr;
    gchar* details = nullptr;
    gst_message_parse_error(message, &error, &details);
    std::string text = error ? error->message : "GStreamer reported an unknown error.";
    if (details)
        g_debug("%s", details);
    g_clear_error(&error);
    g_free(details);
    return text;
}

void setSyncOnSinks(GstElement* element) {
    if (!GST_IS_BIN(element)) {
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "sync"))
            g_object_set(element, "sync", TRUE, nullptr);
        return;
    }
    GstIterator* sinks = gst_bin_iterate_sinks(GST_BIN(element));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(sinks, &item) == GST_ITERATOR_OK) {
        setSyncOnSinks(GST_ELEMENT(g_value_get_object(&item)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(sinks);
}

} // namespace

bool MoviePipeline::initializeGStreamer() {
    static bool ready = [] { return gst_init_check(nullptr, nullptr, nullptr) == TRUE; }();
    return ready;
}

GstElement* MoviePipeline::createVideoSink(GstElement** appsink) {
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(
        "videoconvert ! videoscale ! videoflip name=flip ! appsink name=frames", TRUE, &error);
    if (!bin) {
        g_clear_error(&error);
        return nullptr;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(bin), "frames");
    GstCaps* caps = gst_caps_from_string("video/x-raw,format=RGBA,pixel-aspect-ratio=1/1");
    g_object_set(sink, "caps", caps, "sync", TRUE, "max-buffers", 2u, "enable-last-sample", FALSE,
                 nullptr);
    gst_caps_unref(caps);
    *appsink = sink;
    gst_object_unref(sink);
    return bin;
}

GstElement* MoviePipeline::createAudioSink() {
    const char* description = std::getenv("FRETLARK_AUDIO_SINK");
    if (description && *description) {
        GError* error = nullptr;
        GstElement* bin = gst_parse_bin_from_description(description, TRUE, &error);
        g_clear_error(&error);
        if (bin) {
            setSyncOnSinks(bin);
            return bin;
        }
    }
    return gst_element_factory_make("autoaudiosink", nullptr);
}

GstRef<GstElement> MoviePipeline::createPlaybin(const std::string& path, GstElement** appsink) {
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(path.c_str(), &error);
    g_clear_error(&error);
    auto playbin = GstRef<GstElement>::adopt(gst_element_factory_make("playbin", nullptr));
    auto videoSink = GstRef<GstElement>::adopt(createVideoSink(appsink));
    auto audioSink = GstRef<GstElement>::adopt(createAudioSink());
    auto tempo = GstRef<GstElement>::adopt(gst_element_factory_make("scaletempo", nullptr));
    if (!uri || !playbin || !videoSink || !audioSink) {
        g_free(uri);
        return {};
    }
    g_object_set(playbin.get(), "uri", uri, "video-sink", videoSink.get(), "audio-sink",
                 audioSink.get(), "flags", playVideo | playAudio | softVolume, nullptr);
    if (tempo)
        g_object_set(playbin.get(), "audio-filter", tempo.get(), nullptr);
    g_free(uri);
    return playbin;
}

MoviePipeline::MoviePipeline(const std::string& path, std::int64_t positionNs, Events handlers)
    : events(std::move(handlers)), mailbox(std::make_shared<Mailbox>()),
      targetPosition(positionNs) {
    MainThread::assertCurrent("MoviePipeline");
    GstElement* appsink = nullptr;
    if (initializeGStreamer())
        pipeline = createPlaybin(path, &appsink);
    if (!pipeline)
        return;
    GstElement* videoSink = nullptr;
    g_object_get(pipeline.get(), "video-sink", &videoSink, nullptr);
    if (videoSink) {
        flip = GstRef<GstElement>::adopt(gst_bin_get_by_name(GST_BIN(videoSink), "flip"));
        gst_object_unref(videoSink);
    }
    mailbox->owner = this;
    GstAppSinkCallbacks callbacks{};
    callbacks.new_preroll = [](GstAppSink* sink, gpointer box) {
        return newPreroll(GST_ELEMENT(sink), box);
    };
    callbacks.new_sample = [](GstAppSink* sink, gpointer box) {
        return newSample(GST_ELEMENT(sink), box);
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks, mailbox.get(), nullptr);

    bus = GstRef<GstBus>::adopt(gst_element_get_bus(pipeline.get()));
    gst_bus_add_watch(bus.get(), busMessage, this);
    // A failure to start arrives on the bus as an error, except when a decoder bin swallows a
    // damaged file's error; then the pipeline never prerolls, and the watchdog says so.
    gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    pending = targetPosition != 0;
    prerollWatchdog = g_timeout_add_seconds(prerollPatienceSeconds, prerollTimedOut, this);
}

gboolean MoviePipeline::prerollTimedOut(gpointer self) {
    auto* pipeline = static_cast<MoviePipeline*>(self);
    pipeline->prerollWatchdog = 0;
    if (pipeline->events.failed)
        pipeline->events.failed("it does not start playing");
    return G_SOURCE_REMOVE;
}

MoviePipeline::~MoviePipeline() {
    if (prerollWatchdog)
        g_source_remove(prerollWatchdog);
    if (!pipeline)
        return;
    gst_bus_remove_watch(bus.get());
    // Stopping joins the streaming threads, so no frame can arrive for this pipeline afterwards.
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    std::lock_guard guard(mailbox->lock);
    mailbox->owner = nullptr;
    mailbox->sample.reset();
}

void MoviePipeline::apply(double rate, std::int64_t positionNs) {
    targetRate = rate;
    targetPosition = positionNs < 0 ? 0 : positionNs;
    pending = true;
    if (prerolled)
        applyNow();
}

void MoviePipeline::applyNow() {
    if (!pipeline)
        return;
    pending = false;
    // A refused seek changes nothing downstream; whatever end comes next is current.
    seeking = seek(targetRate, targetPosition,
                   static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE));
    gst_element_set_state(pipeline.get(), targetRate == 0 ? GST_STATE_PAUSED : GST_STATE_PLAYING);
}

// Plays from the position to the media's end in the direction of the rate; with a section, to the
// section's end. Forwards the section is a segment, whose end is announced ahead of time so the
// next pass follows without a break. Backwards the demuxer misplaces the next segment in time (its
// first frames come late), so a pass ends as the movie would, once its last frame is shown.
bool MoviePipeline::seek(double rate, std::int64_t positionNs, GstSeekFlags flags) {
    double seekRate = rate == 0 ? 1.0 : rate;
    bool backwards = rate < 0;
    auto start = static_cast<gint64>(backwards ? 0 : positionNs);
    auto stop = backwards ? static_cast<gint64>(positionNs) : static_cast<gint64>(-1);
    if (loop && rate != 0) {
        auto [from, to] = *loop;
        if (!backwards)
            flags = static_cast<GstSeekFlags>(flags | GST_SEEK_FLAG_SEGMENT);
        start = backwards || positionNs < from || positionNs >= to ? from : positionNs;
        stop = !backwards || positionNs <= from || positionNs > to ? to : positionNs;
    }
    GstEvent* event = gst_event_new_seek(seekRate, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, start,
                                         GST_SEEK_TYPE_SET, stop);
    guint32 seqnum = gst_event_get_seqnum(event);
    bool sent = gst_element_send_event(pipeline.get(), event);
    seekSeqnum = sent ? seqnum : GST_SEQNUM_INVALID;
    return sent;
}

void MoviePipeline::loopSection(double rate) {
    if (!pipeline || !loop || rate == 0)
        return;
    if (rate < 0) {
        apply(rate, loop->second);
        return;
    }
    targetRate = rate;
    seek(rate, loop->first, GST_SEEK_FLAG_ACCURATE);
}

void MoviePipeline::setMirrored(bool mirrored) {
    if (flip)
        g_object_set(flip.get(), "video-direction",
                     mirrored ? GST_VIDEO_ORIENTATION_HORIZ : GST_VIDEO_ORIENTATION_IDENTITY,
                     nullptr);
}

std::optional<std::int64_t> MoviePipeline::frameDuration() const {
    if (!frameShown || !GST_CLOCK_TIME_IS_VALID(GST_BUFFER_DURATION(frameShown->buffer())))
        return std::nullopt;
    return static_cast<std::int64_t>(GST_BUFFER_DURATION(frameShown->buffer()));
}

void MoviePipeline::pause() {
    if (auto now = position())
        targetPosition = *now;
    targetRate = 0;
    if (pipeline)
        gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
}

std::optional<std::int64_t> MoviePipeline::position() const {
    if (!pipeline || seeking || pending)
        return targetPosition;
    gint64 now = 0;
    if (!gst_element_query_position(pipeline.get(), GST_FORMAT_TIME, &now) || now < 0)
        return std::nullopt;
    return now;
}

std::optional<std::int64_t> MoviePipeline::duration() const {
    gint64 length = 0;
    if (!pipeline || !gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &length) ||
        length < 0)
        return std::nullopt;
    return length;
}

bool MoviePipeline::hasVideo() const {
    gint streams = 0;
    if (pipeline)
        g_object_get(pipeline.get(), "n-video", &streams, nullptr);
    return streams > 0;
}

std::vector<std::uint8_t> MoviePipeline::coverArt() const {
    GstTagList* tags = nullptr;
    if (pipeline)
        g_signal_emit_by_name(pipeline.get(), "get-audio-tags", 0, &tags);
    if (!tags)
        return {};
    GstSample* sample = nullptr;
    if (!gst_tag_list_get_sample(tags, GST_TAG_IMAGE, &sample))
        gst_tag_list_get_sample(tags, GST_TAG_PREVIEW_IMAGE, &sample);
    gst_tag_list_unref(tags);
    auto owned = GstRef<GstSample>::adopt(sample);
    GstBuffer* buffer = owned ? gst_sample_get_buffer(owned.get()) : nullptr;
    std::vector<std::uint8_t> bytes(buffer ? gst_buffer_get_size(buffer) : 0);
    if (buffer)
        gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
    return bytes;
}

void MoviePipeline::setVolume(double volume) {
    if (pipeline)
        g_object_set(pipeline.get(), "volume", volume, nullptr);
}

void MoviePipeline::setMuted(bool muted) {
    if (pipeline)
        g_object_set(pipeline.get(), "mute", muted ? TRUE : FALSE, nullptr);
}

gboolean MoviePipeline::busMessage(GstBus*, GstMessage* message, gpointer self) {
    static_cast<MoviePipeline*>(self)->handleMessage(message);
    return G_SOURCE_CONTINUE;
}

// The events are the last thing each branch does: their handlers may destroy this pipeline.
bool MoviePipeline::handleMessage(GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ASYNC_DONE:
        if (GST_MESSAGE_SRC(message) != GST_OBJECT(pipeline.get()))
            return true;
        prerolled = true;
        seeking = false;
        if (prerollWatchdog)
            g_source_remove(std::exchange(prerollWatchdog, 0));
        if (pending)
            applyNow();
        if (!announced && events.ready) {
            announced = true;
            events.ready();
        }
        return true;
    case GST_MESSAGE_DURATION_CHANGED:
        if (announced && events.ready)
            events.ready();
        return true;
    case GST_MESSAGE_EOS:
        // An end from before the latest seek is stale.
        if (seekSeqnum != GST_SEQNUM_INVALID && gst_message_get_seqnum(message) != seekSeqnum)
            return true;
        if (loop && targetRate < 0 && events.sectionEnded)
            events.sectionEnded();
        else if (events.ended)
            events.ended();
        return true;
    case GST_MESSAGE_SEGMENT_DONE:
        if (GST_MESSAGE_SRC(message) != GST_OBJECT(pipeline.get()) ||
            gst_message_get_seqnum(message) != seekSeqnum)
            return true;
        if (loop && targetRate != 0 && events.sectionEnded)
            events.sectionEnded();
        return true;
    case GST_MESSAGE_ERROR:
        if (prerollWatchdog)
            g_source_remove(std::exchange(prerollWatchdog, 0));
        if (events.failed)
            events.failed(errorText(message));
        return true;
    default:
        return true;
    }
}

GstFlowReturn MoviePipeline::newSample(GstElement* sink, gpointer box) {
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    deposit(static_cast<Mailbox*>(box), sample);
    return GST_FLOW_OK;
}

GstFlowReturn MoviePipeline::newPreroll(GstElement* sink, gpointer box) {
    GstSample* sample = gst_app_sink_pull_preroll(GST_APP_SINK(sink));
    deposit(static_cast<Mailbox*>(box), sample);
    return GST_FLOW_OK;
}

// Runs on a streaming thread. Only the newest frame is kept; one main-thread call collects it.
void MoviePipeline::deposit(Mailbox* box, GstSample* sample) {
    auto owned = GstRef<GstSample>::adopt(sample);
    if (!owned)
        return;
    std::lock_guard guard(box->lock);
    box->sample = std::move(owned);
    if (box->posted || !box->owner)
        return;
    box->posted = true;
    std::weak_ptr<Mailbox> weak = box->weak_from_this();
    postToMainThread([weak] {
        auto alive = weak.lock();
        if (!alive)
            return;
        MoviePipeline* owner = nullptr;
        {
            std::lock_guard guard(alive->lock);
            owner = alive->owner;
        }
        if (owner)
            owner->collectFrame();
    });
}

void MoviePipeline::collectFrame() {
    GstRef<GstSample> sample;
    {
        std::lock_guard guard(mailbox->lock);
        sample = std::move(mailbox->sample);
        mailbox->posted = false;
    }
    if (!sample)
        return;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    if (frameShown && frameShown->buffer() == buffer)
        return;
    auto image = MovieImage::fromSample(sample.get());
    if (!image)
        return;
    frameShown = std::move(image);
    ++frameCount;
    if (events.frame)
        events.frame();
}
