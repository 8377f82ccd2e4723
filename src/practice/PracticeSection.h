#pragma once

#include <cstdint>
#include <string>

// A named stretch of a lesson that the student plays over and over: from A (start) to B (end),
// in nanoseconds of movie time.
struct PracticeSection {
    std::string name;
    std::int64_t startNs = 0;
    std::int64_t endNs = 0;

    bool operator==(const PracticeSection&) const = default;
};
