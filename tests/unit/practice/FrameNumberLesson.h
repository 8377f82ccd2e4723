#pragma once

#include "platform/movie/MovieImage.h"

#include <string>

// A generated lesson whose frames show their own number: eight black or white blocks across the
// top third, bit 0 on the left; below them the left half is white and the right half black, so a
// mirrored picture shows. With a tone, as lessons have; a keyframe every second.
std::string frameNumberLesson(double seconds, int framesPerSecond, int width = 160);
// The number the picture shows; -1 for a picture too small to hold it.
int frameNumber(const MovieImage& image);
// Whether the picture is flipped left to right.
bool isMirrored(const MovieImage& image);
