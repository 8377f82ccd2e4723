#include "practice/LessonPractice.h"

#include <algorithm>

const PracticeSection* LessonPractice::current() const {
    if (currentSection < 0 || currentSection >= static_cast<int>(sections.size()))
        return nullptr;
    return &sections[static_cast<std::size_t>(currentSection)];
}

PracticeSection& LessonPractice::currentOrNew(std::int64_t startNs, std::int64_t endNs) {
    if (!current()) {
        sections.push_back({freshName(), startNs, endNs});
        currentSection = static_cast<int>(sections.size()) - 1;
    }
    return sections[static_cast<std::size_t>(currentSection)];
}

void LessonPractice::setSectionStart(std::int64_t atNs, std::int64_t durationNs) {
    if (durationNs < shortestSectionNs)
        return;
    std::int64_t start = std::clamp<std::int64_t>(atNs, 0, durationNs - shortestSectionNs);
    PracticeSection& section = currentOrNew(start, durationNs);
    section.startNs = start;
    if (section.endNs - section.startNs < shortestSectionNs)
        section.endNs = durationNs;
}

void LessonPractice::setSectionEnd(std::int64_t atNs, std::int64_t durationNs) {
    if (durationNs < shortestSectionNs)
        return;
    std::int64_t end = std::clamp<std::int64_t>(atNs, shortestSectionNs, durationNs);
    PracticeSection& section = currentOrNew(0, end);
    section.endNs = end;
    if (section.endNs - section.startNs < shortestSectionNs)
        section.startNs = 0;
}

void LessonPractice::addSection(std::int64_t atNs, std::int64_t durationNs) {
    currentSection = -1;
    setSectionStart(atNs, durationNs);
}

void LessonPractice::renameSection(int index, const std::string& name) {
    if (index >= 0 && index < static_cast<int>(sections.size()) && !name.empty())
        sections[static_cast<std::size_t>(index)].name = name;
}

void LessonPractice::removeSection(int index) {
    if (index < 0 || index >= static_cast<int>(sections.size()))
        return;
    sections.erase(sections.begin() + index);
    if (currentSection > index || currentSection >= static_cast<int>(sections.size()))
        --currentSection;
    if (sections.empty())
        sectionLoop = false;
}

void LessonPractice::pickSection(int index) {
    if (index >= 0 && index < static_cast<int>(sections.size()))
        currentSection = index;
}

std::string LessonPractice::freshName() const {
    for (std::size_t number = sections.size() + 1;; ++number) {
        std::string name = "Section " + std::to_string(number);
        if (std::none_of(sections.begin(), sections.end(),
                         [&](const PracticeSection& s) { return s.name == name; }))
            return name;
    }
}
