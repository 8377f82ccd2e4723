#include "platform/movie/QTTime.h"

#include <cstdio>
#include <limits>

namespace {

__extension__ typedef __int128 Wide;

constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;

std::int64_t clampToInt64(Wide value) {
    if (value > std::numeric_limits<std::int64_t>::max())
        return std::numeric_limits<std::int64_t>::max();
    if (value < std::numeric_limits<std::int64_t>::min())
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

// Rounds halves away from zero; b is positive.
Wide roundedDivide(Wide a, Wide b) {
    return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

} // namespace

QTTime QTMakeTime(std::int64_t timeValue, long timeScale) {
    return {timeValue, static_cast<std::int32_t>(timeScale), 0};
}

QTTimeRange QTMakeTimeRange(QTTime time, QTTime duration) {
    return {time, duration};
}

QTComparisonResult QTTimeCompare(QTTime a, QTTime b) {
    bool aEndless = (a.flags & kQTTimeIsIndefinite) != 0;
    bool bEndless = (b.flags & kQTTimeIsIndefinite) != 0;
    if (aEndless || bEndless)
        return aEndless == bEndless ? QTOrderedSame
               : aEndless           ? QTOrderedDescending
                                    : QTOrderedAscending;
    if (a.timeScale == 0 || b.timeScale == 0)
        return a.timeValue == b.timeValue  ? QTOrderedSame
               : a.timeValue < b.timeValue ? QTOrderedAscending
                                           : QTOrderedDescending;
    Wide left = Wide{a.timeValue} * b.timeScale;
    Wide right = Wide{b.timeValue} * a.timeScale;
    if ((a.timeScale < 0) != (b.timeScale < 0))
        std::swap(left, right);
    return left == right ? QTOrderedSame : left < right ? QTOrderedAscending : QTOrderedDescending;
}

std::string QTStringFromTime(QTTime time) {
    if (time.flags & kQTTimeIsIndefinite)
        return "INDEFINITE";
    if (time.timeScale <= 0)
        return "0:00:00:00.00/0";
    bool negative = time.timeValue < 0;
    Wide value = negative ? -Wide{time.timeValue} : Wide{time.timeValue};
    Wide seconds = value / time.timeScale;
    auto units = static_cast<long long>(value % time.timeScale);
    auto days = static_cast<long long>(seconds / 86400);
    auto hours = static_cast<int>(seconds / 3600 % 24);
    auto minutes = static_cast<int>(seconds / 60 % 60);
    auto secs = static_cast<int>(seconds % 60);
    char text[96];
    std::snprintf(text, sizeof text, "%s%lld:%02d:%02d:%02d.%02lld/%d", negative ? "-" : "", days,
                  hours, minutes, secs, units, time.timeScale);
    return text;
}

std::int64_t QTTimeToNanoseconds(QTTime time) {
    if (time.timeScale == 0)
        return 0;
    return clampToInt64(Wide{time.timeValue} * nanosecondsPerSecond / time.timeScale);
}

QTTime QTTimeFromNanoseconds(std::int64_t nanoseconds, std::int32_t timeScale) {
    return {clampToInt64(roundedDivide(Wide{nanoseconds} * timeScale, nanosecondsPerSecond)),
            timeScale, 0};
}
