#pragma once

#include "export/ExportSettings.h"
#include "platform/movie/GstRef.h"

#include <atomic>
#include <cstdint>
#include <gst/gst.h>
#include <mutex>
#include <string>
#include <vector>

// The GStreamer pipeline of one export: the source file decoded, its picture and sound encoded for
// the chosen format and written to outputPath. Branches are built as the decoder finds streams;
// the first sound stream (and, for a video format, the first picture stream) is kept, any other
// stream is dropped. A practice speed below 100 % stretches every timestamp and keeps the sound's
// pitch through scaletempo.
class ExportPipeline {
public:
    ExportPipeline(ExportSettings settings, std::string outputPath);
    ~ExportPipeline();
    ExportPipeline(const ExportPipeline&) = delete;
    ExportPipeline& operator=(const ExportPipeline&) = delete;

    // Builds the fixed part (source, decoder, container, file); false and why when an element
    // cannot be made.
    bool build(std::string* error);
    GstElement* pipeline() const { return bin.get(); }
    GstBus* bus() const;
    // Sets the pipeline to NULL: every file is closed once this returns.
    void stop();

    // A sentence for the user about an error message of the pipeline's bus.
    std::string describeError(GstMessage* message) const;

    // How far the slowest kept stream has got, in the source's own time (ns), and the source's
    // length; both -1 while unknown.
    std::int64_t sourcePosition() const;
    std::int64_t sourceDuration() const;

private:
    enum Kind { sound, picture, kindCount };

    static void padAdded(GstElement* decoder, GstPad* pad, ExportPipeline* self);
    static void noMorePads(GstElement* decoder, ExportPipeline* self);
    static GstPadProbeReturn trackPosition(GstPad* pad, GstPadProbeInfo* info, gpointer data);
    static GstPadProbeReturn slowSound(GstPad* pad, GstPadProbeInfo* info, gpointer data);
    static GstPadProbeReturn stretchPicture(GstPad* pad, GstPadProbeInfo* info, gpointer data);

    void addStream(GstPad* pad);
    bool addBranch(Kind kind, GstPad* pad, GstCaps* caps);
    // The queue first, then converters, scaletempo for slowed sound, and the encoder.
    std::vector<GstElement*> branchElements(Kind kind, GstCaps* caps);
    GstElement* soundEncoder();
    GstElement* pictureEncoder(GstCaps* caps);
    bool linkToOutput(GstElement* last);
    void drop(GstPad* pad);
    void reportProblem(const std::string& text);
    std::uint64_t stretched(std::uint64_t time, std::uint64_t start) const;

    ExportSettings settings;
    const ExportFormat& format;
    std::string outputPath;
    GstRef<GstElement> bin;
    GstElement* source = nullptr;
    GstElement* decoder = nullptr;
    GstElement* muxer = nullptr;
    GstElement* fileSink = nullptr;

    // The decoder's streaming threads add branches and report positions.
    std::mutex branchLock;
    std::atomic<bool> linked[kindCount] = {false, false};
    std::atomic<std::int64_t> positions[kindCount];
    std::uint64_t pictureSegmentStart = 0;
};
