#include "export/ExportPipeline.h"

#include "platform/movie/MoviePipeline.h"

#include <algorithm>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr std::int64_t finished = std::numeric_limits<std::int64_t>::max();

GstElement* make(const char* factory) {
    return gst_element_factory_make(factory, nullptr);
}

unsigned encoderThreads() {
    return std::max(1u, std::thread::hardware_concurrency());
}

// Adds the elements to the bin, links them in order and starts them; false (and nothing left
// in the bin) when one is missing or they do not link.
bool addChain(GstElement* bin, const std::vector<GstElement*>& chain) {
    if (std::ranges::find(chain, nullptr) != chain.end()) {
        for (GstElement* element : chain)
            if (element)
                gst_object_unref(gst_object_ref_sink(element));
        return false;
    }
    for (GstElement* element : chain)
        gst_bin_add(GST_BIN(bin), element);
    bool linked = true;
    for (std::size_t i = 1; i < chain.size() && linked; ++i)
        linked = gst_element_link(chain[i - 1], chain[i]);
    for (GstElement* element : chain) {
        if (linked)
            gst_element_sync_state_with_parent(element);
    }
    if (!linked) {
        for (GstElement* element : chain) {
            gst_element_set_state(element, GST_STATE_NULL);
            gst_bin_remove(GST_BIN(bin), element);
        }
    }
    return linked;
}

// decodebin's answers to autoplug-select (its enum is not in a public header).
enum AutoplugSelect { autoplugTry = 0, autoplugExpose = 1 };

// Pictures stay undecoded in a sound-only export: it never pays for video decoding.
gint skipPictureDecoders(GstElement*, GstPad*, GstCaps*, GstElementFactory* factory, gpointer) {
    bool decodesPictures =
        gst_element_factory_list_is_type(factory, GST_ELEMENT_FACTORY_TYPE_DECODER) &&
        gst_element_factory_list_is_type(factory, GST_ELEMENT_FACTORY_TYPE_MEDIA_VIDEO |
                                                      GST_ELEMENT_FACTORY_TYPE_MEDIA_IMAGE);
    return decodesPictures ? autoplugExpose : autoplugTry;
}

// Rewrites a time segment event through `change`; every other event passes unchanged.
template <typename Change> void rewriteTimeSegment(GstPadProbeInfo* info, Change change) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT)
        return;
    GstSegment segment;
    gst_event_copy_segment(event, &segment);
    if (segment.format != GST_FORMAT_TIME)
        return;
    change(segment);
    gst_event_unref(event);
    GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_segment(&segment);
}

} // namespace

ExportPipeline::ExportPipeline(ExportSettings chosen, std::string output)
    : settings(std::move(chosen)), format(ExportFormat::withId(settings.format)),
      outputPath(std::move(output)) {
    for (auto& position : positions)
        position = finished;
}

ExportPipeline::~ExportPipeline() {
    stop();
}

bool ExportPipeline::build(std::string* error) {
    if (!MoviePipeline::initializeGStreamer()) {
        *error = "GStreamer could not be started.";
        return false;
    }
    bin = GstRef<GstElement>::adopt(gst_pipeline_new("export"));
    source = make("filesrc");
    decoder = make("decodebin");
    fileSink = make("filesink");
    muxer = *format.muxer ? make(format.muxer) : nullptr;
    if (!source || !decoder || !fileSink || (*format.muxer && !muxer)) {
        *error = format.unavailableReason();
        if (error->empty())
            *error = "A GStreamer element for this format could not be made.";
        return false;
    }
    g_object_set(source, "location", settings.sourcePath.c_str(), nullptr);
    g_object_set(fileSink, "location", outputPath.c_str(), nullptr);
    if (!format.hasVideo)
        g_signal_connect(decoder, "autoplug-select", G_CALLBACK(skipPictureDecoders), nullptr);
    gst_bin_add_many(GST_BIN(bin.get()), source, decoder, fileSink, nullptr);
    gst_element_link(source, decoder);
    if (muxer) {
        gst_bin_add(GST_BIN(bin.get()), muxer);
        gst_element_link(muxer, fileSink);
    }
    g_signal_connect(decoder, "pad-added", G_CALLBACK(padAdded), this);
    g_signal_connect(decoder, "no-more-pads", G_CALLBACK(noMorePads), this);
    return true;
}

GstBus* ExportPipeline::bus() const {
    return gst_element_get_bus(bin.get());
}

void ExportPipeline::stop() {
    if (bin)
        gst_element_set_state(bin.get(), GST_STATE_NULL);
}

std::string ExportPipeline::describeError(GstMessage* message) const {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::string text = error ? error->message : "unknown error";
    g_clear_error(&error);
    GstObject* origin = GST_MESSAGE_SRC(message);
    if (origin == GST_OBJECT(bin.get()))
        return text;
    if (origin == GST_OBJECT(fileSink))
        return "The exported file could not be written: " + text;
    if (origin == GST_OBJECT(source) || gst_object_has_as_ancestor(origin, GST_OBJECT(decoder)))
        return "The lesson could not be read: " + text;
    return "The export failed: " + text;
}

std::int64_t ExportPipeline::sourcePosition() const {
    std::int64_t slowest = std::min(positions[sound].load(), positions[picture].load());
    if (slowest == finished)
        return (linked[sound] || linked[picture]) ? sourceDuration() : -1;
    return slowest;
}

std::int64_t ExportPipeline::sourceDuration() const {
    gint64 duration = -1;
    if (!decoder || !gst_element_query_duration(decoder, GST_FORMAT_TIME, &duration))
        return -1;
    return duration;
}

void ExportPipeline::padAdded(GstElement*, GstPad* pad, ExportPipeline* self) {
    self->addStream(pad);
}

void ExportPipeline::noMorePads(GstElement*, ExportPipeline* self) {
    std::lock_guard guard(self->branchLock);
    if (self->linked[sound] || self->linked[picture])
        return;
    self->reportProblem(self->format.hasVideo ? "The lesson has no picture or sound to export."
                                              : "The lesson has no sound to export.");
}

void ExportPipeline::addStream(GstPad* pad) {
    GstRef<GstCaps> caps = GstRef<GstCaps>::adopt(gst_pad_get_current_caps(pad));
    if (!caps)
        caps = GstRef<GstCaps>::adopt(gst_pad_query_caps(pad, nullptr));
    std::string media = caps && !gst_caps_is_empty(caps.get())
                            ? gst_structure_get_name(gst_caps_get_structure(caps.get(), 0))
                            : "";
    Kind kind = kindCount;
    if (media == "audio/x-raw")
        kind = sound;
    else if (media == "video/x-raw" && format.hasVideo)
        kind = picture;
    std::lock_guard guard(branchLock);
    if (kind == kindCount || linked[kind]) {
        drop(pad);
        return;
    }
    if (!addBranch(kind, pad, caps.get())) {
        drop(pad);
        reportProblem(format.unavailableReason().empty()
                          ? "The lesson's streams could not be encoded in this format."
                          : format.unavailableReason());
    }
}

bool ExportPipeline::addBranch(Kind kind, GstPad* pad, GstCaps* caps) {
    std::vector<GstElement*> chain = branchElements(kind, caps);
    if (!addChain(bin.get(), chain) || !linkToOutput(chain.back()))
        return false;
    GstElement* queue = chain.front();
    GstRef<GstPad> queueSink = GstRef<GstPad>::adopt(gst_element_get_static_pad(queue, "sink"));
    auto buffersAndEvents =
        GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM);
    gst_pad_add_probe(queueSink.get(), buffersAndEvents, trackPosition, &positions[kind], nullptr);
    if (settings.speedPercent < ExportSettings::fullSpeedPercent) {
        // Sound: the segment that scaletempo further down reads; picture: every timestamp.
        GstRef<GstPad> queueSource =
            GstRef<GstPad>::adopt(gst_element_get_static_pad(queue, "src"));
        gst_pad_add_probe(queueSource.get(), buffersAndEvents,
                          kind == sound ? slowSound : stretchPicture, this, nullptr);
    }
    positions[kind] = 0;
    linked[kind] = true;
    return gst_pad_link(pad, queueSink.get()) == GST_PAD_LINK_OK;
}

std::vector<GstElement*> ExportPipeline::branchElements(Kind kind, GstCaps* caps) {
    std::vector<GstElement*> chain = {make("queue")};
    if (kind == picture) {
        chain.insert(chain.end(), {make("videoconvert"), make("videorate"), pictureEncoder(caps)});
        if (*format.videoParser)
            chain.push_back(make(format.videoParser));
        return chain;
    }
    chain.push_back(make("audioconvert"));
    if (settings.speedPercent < ExportSettings::fullSpeedPercent)
        chain.insert(chain.end(), {make("scaletempo"), make("audioconvert")});
    chain.insert(chain.end(), {make("audioresample"), soundEncoder()});
    return chain;
}

GstElement* ExportPipeline::soundEncoder() {
    GstElement* encoder = make(format.audioEncoder);
    if (!encoder)
        return nullptr;
    // Timestamps follow the samples: slowed sound comes out of scaletempo with timestamps that
    // jitter around its sample count, which a container would keep as gaps and overlaps.
    g_object_set(encoder, "perfect-timestamp", TRUE, nullptr);
    int bitrate = format.audioBitrate(settings.quality);
    switch (format.id) {
    case ExportFormatId::mp3:
        // Constant bitrate: every player reads the length of the file right.
        g_object_set(encoder, "target", 1, "bitrate", bitrate / 1000, "cbr", TRUE, nullptr);
        break;
    case ExportFormatId::oggVorbis:
        g_object_set(encoder, "quality", format.vorbisQuality(settings.quality), nullptr);
        break;
    case ExportFormatId::flac:
        break;
    default:
        g_object_set(encoder, "bitrate", bitrate, nullptr);
        break;
    }
    return encoder;
}

GstElement* ExportPipeline::pictureEncoder(GstCaps* caps) {
    GstElement* encoder = make(format.videoEncoder);
    if (!encoder)
        return nullptr;
    const GstStructure* picture = gst_caps_get_structure(caps, 0);
    int width = 0, height = 0, numerator = 0, denominator = 1;
    gst_structure_get_int(picture, "width", &width);
    gst_structure_get_int(picture, "height", &height);
    gst_structure_get_fraction(picture, "framerate", &numerator, &denominator);
    double framesPerSecond = denominator ? double(numerator) / denominator : 0;
    int bitrate = format.videoBitrate(settings.quality, width, height, framesPerSecond);
    // A key frame every two seconds lets a phone's player seek quickly.
    int keyInterval = framesPerSecond > 0 ? int(framesPerSecond * 2) : 60;
    if (format.id == ExportFormatId::mp4) {
        g_object_set(encoder, "bitrate", guint(bitrate), "rate-control", 1, "gop-size",
                     guint(keyInterval), "complexity", 0, "multi-thread", encoderThreads(),
                     nullptr);
    } else {
        gst_util_set_object_arg(G_OBJECT(encoder), "end-usage", "vbr");
        g_object_set(encoder, "target-bitrate", bitrate, "deadline", gint64(1), "cpu-used", 8,
                     "threads", int(encoderThreads()), "row-mt", TRUE, "keyframe-max-dist",
                     keyInterval, nullptr);
    }
    return encoder;
}

bool ExportPipeline::linkToOutput(GstElement* last) {
    if (!muxer)
        return gst_element_link(last, fileSink);
    GstRef<GstPad> source = GstRef<GstPad>::adopt(gst_element_get_static_pad(last, "src"));
    GstRef<GstPad> input =
        GstRef<GstPad>::adopt(gst_element_get_compatible_pad(muxer, source.get(), nullptr));
    return input && gst_pad_link(source.get(), input.get()) == GST_PAD_LINK_OK;
}

void ExportPipeline::drop(GstPad* pad) {
    GstElement* sink = make("fakesink");
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(bin.get()), sink);
    gst_element_sync_state_with_parent(sink);
    GstRef<GstPad> input = GstRef<GstPad>::adopt(gst_element_get_static_pad(sink, "sink"));
    gst_pad_link(pad, input.get());
}

void ExportPipeline::reportProblem(const std::string& text) {
    GError* error = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_FORMAT, text.c_str());
    gst_element_post_message(bin.get(),
                             gst_message_new_error(GST_OBJECT(bin.get()), error, nullptr));
    g_error_free(error);
}

std::uint64_t ExportPipeline::stretched(std::uint64_t time, std::uint64_t start) const {
    if (time < start)
        return time;
    return start + gst_util_uint64_scale_int(time - start, ExportSettings::fullSpeedPercent,
                                             settings.speedPercent);
}

GstPadProbeReturn ExportPipeline::trackPosition(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* position = static_cast<std::atomic<std::int64_t>*>(data);
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (GST_BUFFER_PTS_IS_VALID(buffer)) {
            std::int64_t end = GST_BUFFER_PTS(buffer);
            if (GST_BUFFER_DURATION_IS_VALID(buffer))
                end += GST_BUFFER_DURATION(buffer);
            *position = std::max(end, position->load());
        }
    } else if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS) {
        *position = finished;
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn ExportPipeline::slowSound(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* self = static_cast<ExportPipeline*>(data);
    if (!(info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM))
        return GST_PAD_PROBE_OK;
    // scaletempo plays a segment of rate r in 1/r of the time at the same pitch.
    rewriteTimeSegment(info, [self](GstSegment& segment) {
        segment.rate = self->settings.speedPercent / double(ExportSettings::fullSpeedPercent);
    });
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn ExportPipeline::stretchPicture(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* self = static_cast<ExportPipeline*>(data);
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
        std::uint64_t start = self->pictureSegmentStart;
        if (GST_BUFFER_PTS_IS_VALID(buffer))
            GST_BUFFER_PTS(buffer) = self->stretched(GST_BUFFER_PTS(buffer), start);
        if (GST_BUFFER_DTS_IS_VALID(buffer))
            GST_BUFFER_DTS(buffer) = self->stretched(GST_BUFFER_DTS(buffer), start);
        if (GST_BUFFER_DURATION_IS_VALID(buffer))
            GST_BUFFER_DURATION(buffer) = self->stretched(GST_BUFFER_DURATION(buffer), 0);
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        return GST_PAD_PROBE_OK;
    }
    rewriteTimeSegment(info, [self](GstSegment& segment) {
        self->pictureSegmentStart = segment.start;
        if (GST_CLOCK_TIME_IS_VALID(segment.stop))
            segment.stop = self->stretched(segment.stop, segment.start);
        if (GST_CLOCK_TIME_IS_VALID(segment.duration))
            segment.duration = self->stretched(segment.duration, 0);
    });
    return GST_PAD_PROBE_OK;
}
