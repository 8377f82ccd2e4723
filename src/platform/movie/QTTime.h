#pragma once

#include <cstdint>
#include <string>

// A movie time: a count of units in a time scale (units per second), as the movie framework
// keeps it so that times stay exact in the movie's own units.
struct QTTime {
    std::int64_t timeValue = 0;
    std::int32_t timeScale = 0;
    std::int32_t flags = 0;
};

// The time has no end (an unknown duration).
constexpr std::int32_t kQTTimeIsIndefinite = 1 << 0;

// A stretch of a movie: where it starts and how long it lasts.
struct QTTimeRange {
    QTTime time;
    QTTime duration;
};

enum QTComparisonResult { QTOrderedAscending = -1, QTOrderedSame = 0, QTOrderedDescending = 1 };

QTTime QTMakeTime(std::int64_t timeValue, long timeScale);
QTTimeRange QTMakeTimeRange(QTTime time, QTTime duration);
// Compares the times they stand for, whatever their scales.
QTComparisonResult QTTimeCompare(QTTime a, QTTime b);
// "days:hours:minutes:seconds.units/scale", as in 0:00:01:05.00/600; "INDEFINITE" for no end.
std::string QTStringFromTime(QTTime time);
// The time in nanoseconds, rounded toward zero; 0 for a time without a scale.
std::int64_t QTTimeToNanoseconds(QTTime time);
// The nanoseconds as units of the scale, rounded to the nearest unit.
QTTime QTTimeFromNanoseconds(std::int64_t nanoseconds, std::int32_t timeScale);
