#include "platform/movie/MovieImage.h"

std::shared_ptr<MovieImage> MovieImage::fromSample(GstSample* sample) {
    if (!sample)
        return nullptr;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_RGBA)
        return nullptr;
    std::shared_ptr<MovieImage> image(new MovieImage);
    image->sample = GstRef<GstSample>::share(sample);
    if (!gst_video_frame_map(&image->frame, &info, buffer, GST_MAP_READ)) {
        image->frame = GstVideoFrame{};
        return nullptr;
    }
    return image;
}

MovieImage::~MovieImage() {
    if (frame.buffer)
        gst_video_frame_unmap(&frame);
}

const std::uint8_t* MovieImage::pixels() const {
    return static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
}

std::size_t MovieImage::byteCount() const {
    return static_cast<std::size_t>(stride()) * static_cast<std::size_t>(height());
}

std::array<std::uint8_t, 4> MovieImage::pixelAt(int x, int y) const {
    const std::uint8_t* p = pixels() + static_cast<std::ptrdiff_t>(y) * stride() + x * 4;
    return {p[0], p[1], p[2], p[3]};
}
