#include "export/ExportFormat.h"

#include "export/ExportSettings.h"
#include "platform/movie/MoviePipeline.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <gst/gst.h>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace {

const std::vector<ExportFormat> formats = {
    {ExportFormatId::mp4, "MP4 video (H.264, AAC)", "mp4", true, "mp4mux", "openh264enc",
     "h264parse", "avenc_aac"},
    {ExportFormatId::webm, "WebM video (VP9, Opus)", "webm", true, "webmmux", "vp9enc", "",
     "opusenc"},
    {ExportFormatId::mp3, "MP3 sound", "mp3", false, "id3v2mux", "", "", "lamemp3enc"},
    {ExportFormatId::oggVorbis, "Ogg Vorbis sound", "ogg", false, "oggmux", "", "", "vorbisenc"},
    {ExportFormatId::flac, "FLAC sound (lossless)", "flac", false, "", "", "", "flacenc"},
};

// Where Debian 12 keeps each element, for the reason shown beside a format that is missing one.
const std::pair<const char*, const char*> packages[] = {
    {"openh264enc", "gstreamer1.0-plugins-bad"},
    {"h264parse", "gstreamer1.0-plugins-bad"},
    {"avenc_aac", "gstreamer1.0-libav"},
    {"mp4mux", "gstreamer1.0-plugins-good"},
    {"vp9enc", "gstreamer1.0-plugins-good"},
    {"webmmux", "gstreamer1.0-plugins-good"},
    {"lamemp3enc", "gstreamer1.0-plugins-good"},
    {"id3v2mux", "gstreamer1.0-plugins-good"},
    {"flacenc", "gstreamer1.0-plugins-good"},
    {"scaletempo", "gstreamer1.0-plugins-good"},
    {"queue", "libgstreamer1.0-0"},
};

const char* packageOf(const std::string& element) {
    for (const auto& [name, package] : packages)
        if (element == name)
            return package;
    return "gstreamer1.0-plugins-base";
}

int byQuality(ExportQuality quality, int smaller, int balanced, int best) {
    switch (quality) {
    case ExportQuality::smaller:
        return smaller;
    case ExportQuality::balanced:
        return balanced;
    default:
        return best;
    }
}

} // namespace

const std::vector<ExportFormat>& ExportFormat::all() {
    return formats;
}

const ExportFormat& ExportFormat::withId(ExportFormatId id) {
    for (const auto& format : formats)
        if (format.id == id)
            return format;
    throw std::invalid_argument("unknown export format");
}

std::vector<std::string> ExportFormat::elementsNeeded() const {
    std::vector<std::string> needed = {"decodebin",     "queue",      "audioconvert",
                                       "audioresample", "scaletempo", audioEncoder};
    if (hasVideo)
        needed.insert(needed.end(), {"videoconvert", "videorate", videoEncoder});
    for (const char* optional : {videoParser, muxer})
        if (*optional)
            needed.emplace_back(optional);
    return needed;
}

std::vector<std::string> ExportFormat::missingElements() const {
    MoviePipeline::initializeGStreamer();
    std::vector<std::string> missing;
    std::ranges::copy_if(elementsNeeded(), std::back_inserter(missing),
                         [](const std::string& element) {
                             GstElementFactory* factory = gst_element_factory_find(element.c_str());
                             if (factory)
                                 gst_object_unref(factory);
                             return factory == nullptr;
                         });
    return missing;
}

std::string ExportFormat::unavailableReason() const {
    std::vector<std::string> missing = missingElements();
    if (missing.empty())
        return {};
    std::string reason = "Needs the GStreamer plug-in";
    reason += missing.size() > 1 ? "s " : " ";
    for (std::size_t i = 0; i < missing.size(); ++i) {
        if (i > 0)
            reason += ", ";
        reason += missing[i] + " (package " + packageOf(missing[i]) + ")";
    }
    return reason + ", which is not installed.";
}

std::string ExportFormat::suggestedFileName(const std::string& sourcePath, int speedPercent) const {
    std::string name = std::filesystem::path(sourcePath).stem().string();
    if (speedPercent < ExportSettings::fullSpeedPercent)
        name += " at " + std::to_string(speedPercent) + "%";
    return name + "." + extension;
}

int ExportFormat::audioBitrate(ExportQuality quality) const {
    switch (id) {
    case ExportFormatId::mp4:
        return byQuality(quality, 96000, 128000, 192000);
    case ExportFormatId::webm:
        return byQuality(quality, 64000, 96000, 128000);
    case ExportFormatId::mp3:
        return byQuality(quality, 128000, 192000, 256000);
    default:
        return 0;
    }
}

int ExportFormat::videoBitrate(ExportQuality quality, int width, int height,
                               double framesPerSecond) const {
    if (!hasVideo)
        return 0;
    // Bits per pixel of each frame; VP9 reaches the same look with about a third less.
    double bitsPerPixel = byQuality(quality, 6, 10, 18) / 100.0;
    if (id == ExportFormatId::webm)
        bitsPerPixel *= 0.65;
    double rate = framesPerSecond > 0 ? framesPerSecond : 30.0;
    double bits = bitsPerPixel * width * height * rate;
    return static_cast<int>(std::clamp(bits, 200000.0, 20000000.0));
}

double ExportFormat::vorbisQuality(ExportQuality quality) const {
    return byQuality(quality, 3, 5, 8) / 10.0;
}

std::string ExportFormat::describeQuality(ExportQuality quality, int width, int height) const {
    char text[128];
    std::string sound;
    if (id == ExportFormatId::flac)
        sound = "lossless sound";
    else if (id == ExportFormatId::oggVorbis)
        sound = "sound about " + std::to_string(byQuality(quality, 112, 160, 256)) + "\u00a0kbit/s";
    else
        sound = "sound " + std::to_string(audioBitrate(quality) / 1000) + "\u00a0kbit/s";
    if (!hasVideo || width <= 0 || height <= 0) {
        sound[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sound[0])));
        return sound;
    }
    double megabits = videoBitrate(quality, width, height, 30.0) / 1e6;
    std::snprintf(text, sizeof text, "Picture about %.1f\u00a0Mbit/s, %s", megabits, sound.c_str());
    return text;
}
