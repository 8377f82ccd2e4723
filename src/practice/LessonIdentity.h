#pragma once

#include <cstdint>
#include <string>

// What tells one lesson file from another: its path, and for a lesson moved or renamed, its size
// and its annotations together.
struct LessonIdentity {
    std::string path;
    std::uint64_t size = 0;
    std::string annotations;
};
