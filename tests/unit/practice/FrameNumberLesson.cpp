#include "FrameNumberLesson.h"

#include "MovieMedia.h"

#include <filesystem>
#include <stdexcept>

namespace {

constexpr int bits = 8;

bool light(const MovieImage& image, int x, int y) {
    return image.pixelAt(x, y)[0] > 128;
}

} // namespace

std::string frameNumberLesson(double seconds, int framesPerSecond, int width) {
    std::string size = std::to_string(width) + "x" + std::to_string(width * 3 / 4);
    std::string path = MovieMedia::folder() + "/frames-" + std::to_string(seconds) + "-" +
                       std::to_string(framesPerSecond) + "-" + size + ".mov";
    if (std::filesystem::exists(path))
        return path;
    std::string rate = std::to_string(framesPerSecond);
    std::string picture =
        "format=yuv420p,geq=lum='if(lt(Y,H/3),if(bitand(N,pow(2,floor(X*8/W))),235,16),"
        "if(lt(X,W/2),235,16))':cb=128:cr=128";
    std::string errors;
    if (!MovieMedia::run({"ffmpeg",  "-v",
                          "error",   "-y",
                          "-f",      "lavfi",
                          "-i",      "color=c=black:s=" + size + ":r=" + rate,
                          "-f",      "lavfi",
                          "-i",      "sine=frequency=440:sample_rate=44100",
                          "-t",      std::to_string(seconds),
                          "-vf",     picture,
                          "-c:v",    "libx264",
                          "-preset", "ultrafast",
                          "-g",      rate,
                          "-c:a",    "aac",
                          path},
                         nullptr, &errors))
        throw std::runtime_error("ffmpeg could not make the frame-number lesson: " + errors);
    return path;
}

int frameNumber(const MovieImage& image) {
    int block = image.width() / bits;
    if (block < 4 || image.height() < 12)
        return -1;
    int number = 0;
    for (int bit = 0; bit < bits; ++bit) {
        if (light(image, bit * block + block / 2, image.height() / 6))
            number |= 1 << bit;
    }
    return number;
}

bool isMirrored(const MovieImage& image) {
    int y = image.height() * 2 / 3;
    return !light(image, image.width() / 4, y) && light(image, image.width() * 3 / 4, y);
}
