#include "platform/VersionQuery.h"

#include <cstdlib>
#include <gst/gst.h>
#include <gtk/gtk.h>
#include <webkit/webkit.h>

namespace {

constexpr unsigned minimumGtkMinor = 8;
constexpr unsigned minimumWebKitMinor = 40;
const char* const requiredElements[] = {"playbin", "appsink",      "scaletempo",
                                        "qtdemux", "videoconvert", "audioconvert"};

// Lessons are H.264 video with AAC sound, whichever plug-in decodes them.
const char* const requiredDecoders[] = {"video/x-h264", "audio/mpeg, mpegversion=(int)4"};

bool decoderAvailable(const char* format) {
    GList* decoders =
        gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DECODER, GST_RANK_MARGINAL);
    GstCaps* caps = gst_caps_from_string(format);
    GList* fitting = gst_element_factory_list_filter(decoders, caps, GST_PAD_SINK, FALSE);
    bool found = fitting != nullptr;
    gst_plugin_feature_list_free(fitting);
    gst_caps_unref(caps);
    gst_plugin_feature_list_free(decoders);
    return found;
}

bool elementsAvailable() {
    if (!gst_is_initialized() && !gst_init_check(nullptr, nullptr, nullptr))
        return false;
    for (const char* name : requiredElements) {
        GstElementFactory* factory = gst_element_factory_find(name);
        if (!factory)
            return false;
        gst_object_unref(factory);
    }
    for (const char* format : requiredDecoders) {
        if (!decoderAvailable(format))
            return false;
    }
    return true;
}

} // namespace

std::optional<std::uint32_t> VersionQuery::override(const char* variable, bool& overridden) {
    const char* text = std::getenv(variable);
    overridden = text && *text;
    if (!overridden || std::string(text) == "fail")
        return std::nullopt;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 0);
    if (*end != '\0')
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::uint32_t VersionQuery::systemVersion() {
    bool gtkOk = gtk_get_major_version() == 4 && gtk_get_minor_version() >= minimumGtkMinor;
    bool webOk =
        webkit_get_major_version() > 2 ||
        (webkit_get_major_version() == 2 && webkit_get_minor_version() >= minimumWebKitMinor);
    return gtkOk && webOk ? 0x1040 : 0x1039;
}

std::uint32_t VersionQuery::movieFrameworkVersion() {
    guint major = 0, minor = 0, micro = 0, nano = 0;
    gst_version(&major, &minor, &micro, &nano);
    bool ok = major == 1 && minor >= 22 && elementsAvailable();
    return (ok ? 0x0700u : 0x0600u) << 16;
}

std::optional<std::uint32_t> VersionQuery::gestalt(const std::string& selector) {
    bool overridden = false;
    if (selector == "sysv") {
        auto value = override("FRETLARK_SYSTEM_VERSION", overridden);
        return overridden ? value : std::optional<std::uint32_t>(systemVersion());
    }
    if (selector == "qtim") {
        auto value = override("FRETLARK_QUICKTIME_VERSION", overridden);
        return overridden ? value : std::optional<std::uint32_t>(movieFrameworkVersion());
    }
    return std::nullopt;
}
