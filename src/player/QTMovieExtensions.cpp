// QTMovieExtensions: time and file-name operations that work on any movie.
#include "platform/movie/QTMovie.h"

#include <cinttypes>
#include <cstdio>

bool QTMovie::isPlaying() const {
    return rate() != 0.0f;
}

QTTime QTMovie::currentPlayTime() const {
    return currentTime();
}

void QTMovie::setTime(std::int32_t time) {
    QTTime resultTime;
    timeToQTTime(time, resultTime);
    setCurrentTime(resultTime);
}

void QTMovie::timeToQTTime(std::int32_t time, QTTime& resultTime) const {
    resultTime = QTMakeTime(static_cast<std::int64_t>(time), timeScale());
}

double QTMovie::currentTimeValue() const {
    return static_cast<double>(currentTime().timeValue);
}

bool QTMovie::currentTimeEqualsDuration() const {
    return QTTimeCompare(duration(), currentTime()) == QTOrderedSame;
}

// The poster frame, else the frame shown; an unnamed picture is named after the movie's file.
std::shared_ptr<MovieImage> QTMovie::posterImage() {
    std::shared_ptr<MovieImage> image = posterFrameImage();
    if (!image)
        image = currentFrameImage();
    if (!image)
        return nullptr;
    if (image->name().empty())
        image->setName(movieFilePath().empty() ? "<no name>" : movieFileName());
    return image;
}

std::string QTMovie::movieFilePath() const {
    return fileName();
}

std::string QTMovie::movieFileName() const {
    return filenameFromFullPath(movieFilePath());
}

std::string QTMovie::filenameFromFullPath(const std::string& fullPath) {
    std::size_t slash = fullPath.rfind('/');
    return slash == std::string::npos ? fullPath : fullPath.substr(slash + 1);
}

// Hours, minutes and seconds of the duration, as a clock reads them: 1:02:05.
std::string QTMovie::durationAsString() const {
    QTTime length = duration();
    std::int64_t seconds = length.timeScale > 0 ? length.timeValue / length.timeScale : 0;
    char text[64];
    std::snprintf(text, sizeof text, "%" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600,
                  seconds / 60 % 60, seconds % 60);
    return text;
}
