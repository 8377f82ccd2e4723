#pragma once

#include "platform/movie/MovieImage.h"

#include <cstdint>
#include <memory>
#include <string>

// Decodes one picture of a movie or still image without playing it: poster frames, and the
// picture of a still image opened as a movie. Waits a few seconds at most.
class FrameGrabber {
public:
    // Nothing when the file has no picture there or cannot be decoded.
    static std::shared_ptr<MovieImage> frameAt(const std::string& path, std::int64_t positionNs);
};
