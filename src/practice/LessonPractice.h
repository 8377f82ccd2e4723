#pragma once

#include "practice/PracticeSection.h"
#include "practice/SpeedTrainer.h"

#include <cstdint>
#include <string>
#include <vector>

// What a student left a lesson as: where it stood, how fast it played, its sections (one of them
// current, the one A and B edit and the section loop plays), the speed trainer's settings, the
// mirror and the time spent on it.
class LessonPractice {
public:
    // A section is never shorter than this, so a loop always has frames to show.
    static constexpr std::int64_t shortestSectionNs = 100'000'000;

    std::int64_t positionNs = 0;
    double rate = 1.0;
    std::vector<PracticeSection> sections;
    int currentSection = -1;
    bool sectionLoop = false;
    bool mirrored = false;
    SpeedTrainer trainer;
    std::int64_t practisedMs = 0;

    const PracticeSection* current() const;
    // A at the position: the current section starts there (a new one when there is none, up to
    // the movie's end); an end that would come before it moves to the movie's end.
    void setSectionStart(std::int64_t atNs, std::int64_t durationNs);
    // B at the position: the current section ends there (a new one when there is none, from the
    // movie's start); a start that would come after it moves to the movie's start.
    void setSectionEnd(std::int64_t atNs, std::int64_t durationNs);
    // A new current section from the position to the movie's end, named "Section N".
    void addSection(std::int64_t atNs, std::int64_t durationNs);
    void renameSection(int index, const std::string& name);
    void removeSection(int index);
    void pickSection(int index);
    // The section loop plays only when there is a section to play.
    bool loopsSection() const { return sectionLoop && current(); }

    bool operator==(const LessonPractice&) const = default;

private:
    PracticeSection& currentOrNew(std::int64_t startNs, std::int64_t endNs);
    std::string freshName() const;
};
