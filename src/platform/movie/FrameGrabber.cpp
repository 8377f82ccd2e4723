#include "platform/movie/FrameGrabber.h"

#include "platform/movie/GstRef.h"
#include "platform/movie/MoviePipeline.h"

#include <gst/app/gstappsink.h>

namespace {

constexpr GstClockTime patience = 5 * GST_SECOND;
constexpr guint videoOnly = 1 << 0;

// Waits for the pipeline to preroll; an error or an end without a picture fails at once.
bool settled(GstElement* pipeline) {
    auto bus = GstRef<GstBus>::adopt(gst_element_get_bus(pipeline));
    auto types =
        static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR | GST_MESSAGE_EOS);
    for (;;) {
        auto message =
            GstRef<GstMessage>::adopt(gst_bus_timed_pop_filtered(bus.get(), patience, types));
        if (!message)
            return false;
        if (GST_MESSAGE_TYPE(message.get()) != GST_MESSAGE_ASYNC_DONE)
            return false;
        if (GST_MESSAGE_SRC(message.get()) == GST_OBJECT(pipeline))
            return true;
    }
}

} // namespace

std::shared_ptr<MovieImage> FrameGrabber::frameAt(const std::string& path,
                                                  std::int64_t positionNs) {
    if (!MoviePipeline::initializeGStreamer())
        return nullptr;
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(path.c_str(), &error);
    g_clear_error(&error);
    if (!uri)
        return nullptr;
    auto pipeline = GstRef<GstElement>::adopt(gst_element_factory_make("playbin", nullptr));
    GstElement* appsink = nullptr;
    GstElement* videoSink = MoviePipeline::createVideoSink(&appsink);
    if (!pipeline || !videoSink) {
        g_free(uri);
        if (videoSink)
            gst_object_unref(gst_object_ref_sink(videoSink));
        return nullptr;
    }
    // Sound is not wanted; a fake sink keeps playbin from looking for a sound card.
    g_object_set(pipeline.get(), "uri", uri, "video-sink", videoSink, "audio-sink",
                 gst_element_factory_make("fakesink", nullptr), "flags", videoOnly, nullptr);
    g_object_set(appsink, "sync", FALSE, nullptr);
    g_free(uri);

    std::shared_ptr<MovieImage> image;
    gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    bool ready = settled(pipeline.get());
    if (ready && positionNs > 0) {
        ready = gst_element_seek_simple(
                    pipeline.get(), GST_FORMAT_TIME,
                    static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                    positionNs) &&
                settled(pipeline.get());
    }
    if (ready) {
        // Prerolled means the picture is there, unless the file has no video at all.
        auto sample = GstRef<GstSample>::adopt(
            gst_app_sink_try_pull_preroll(GST_APP_SINK(appsink), GST_SECOND / 10));
        image = MovieImage::fromSample(sample.get());
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return image;
}
