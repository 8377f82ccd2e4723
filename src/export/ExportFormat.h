#pragma once

#include <string>
#include <vector>

enum class ExportFormatId { mp4, webm, mp3, oggVorbis, flac };

// How hard the encoders work for the picture and the sound: smaller files or better quality.
enum class ExportQuality { smaller, balanced, best };

// One file format the export offers: its container and encoders (GStreamer element names) and
// what each quality setting means for it.
class ExportFormat {
public:
    ExportFormatId id;
    const char* name;
    const char* extension;
    bool hasVideo;
    // The container, or for MP3 the tag writer; empty where the encoder's stream is the file.
    const char* muxer;
    const char* videoEncoder;
    const char* videoParser;
    const char* audioEncoder;

    static const std::vector<ExportFormat>& all();
    static const ExportFormat& withId(ExportFormatId id);

    // Every element the export of this format builds, converters included.
    std::vector<std::string> elementsNeeded() const;
    std::vector<std::string> missingElements() const;
    // Empty when the format can be exported; otherwise which plug-in is missing and which
    // Debian package carries it.
    std::string unavailableReason() const;

    // The name an export of the source suggests: its own name with this format's extension, and
    // the practice speed when slowed ("Lesson 1 at 75%.mp3").
    std::string suggestedFileName(const std::string& sourcePath, int speedPercent) const;

    // A lossless format has nothing to choose.
    bool hasQualitySetting() const { return id != ExportFormatId::flac; }
    int audioBitrate(ExportQuality quality) const;
    // Video bits per second for a picture of this size and frame rate.
    int videoBitrate(ExportQuality quality, int width, int height, double framesPerSecond) const;
    // Vorbis is tuned by quality rather than bitrate.
    double vorbisQuality(ExportQuality quality) const;
    // What the quality setting gives, in words for the dialog ("Picture about 2.8 Mbit/s, sound
    // 128 kbit/s"); the picture's part only when its size is known.
    std::string describeQuality(ExportQuality quality, int width, int height) const;
};
