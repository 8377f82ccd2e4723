#pragma once

#include "platform/movie/GstRef.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <gst/video/video.h>
#include <memory>
#include <string>

// One decoded picture of a movie: RGBA pixels, straight alpha, square pixels. The pixels stay in
// the GStreamer buffer they were decoded into; the image keeps it mapped while it lives.
class MovieImage {
public:
    // Nothing when the sample is not a mappable RGBA video frame.
    static std::shared_ptr<MovieImage> fromSample(GstSample* sample);
    ~MovieImage();
    MovieImage(const MovieImage&) = delete;
    MovieImage& operator=(const MovieImage&) = delete;

    int width() const { return GST_VIDEO_FRAME_WIDTH(&frame); }
    int height() const { return GST_VIDEO_FRAME_HEIGHT(&frame); }
    int stride() const { return GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0); }
    const std::uint8_t* pixels() const;
    std::size_t byteCount() const;
    // R, G, B and A of one pixel.
    std::array<std::uint8_t, 4> pixelAt(int x, int y) const;

    // The buffer holding the pixels: the same buffer means the same frame.
    const GstBuffer* buffer() const { return frame.buffer; }

    const std::string& name() const { return imageName; }
    void setName(std::string name) { imageName = std::move(name); }

private:
    MovieImage() = default;

    GstRef<GstSample> sample;
    GstVideoFrame frame{};
    std::string imageName;
};
