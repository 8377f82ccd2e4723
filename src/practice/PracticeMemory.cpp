#include "practice/PracticeMemory.h"

#include "platform/Paths.h"

#include <filesystem>
#include <glib.h>
#include <vector>

std::string PracticeMemory::defaultLocation() {
    return Paths::dataDirectory() + "/fretlark/practice.sqlite3";
}

PracticeMemory::PracticeMemory(const std::string& databasePath)
    : writer(std::make_unique<PracticeDatabase>(databasePath)),
      reader(std::make_unique<PracticeDatabase>(databasePath)), worker([this] { writeInTurn(); }) {}

PracticeMemory::~PracticeMemory() {
    {
        std::lock_guard guard(lock);
        stopping = true;
    }
    changed.notify_all();
    worker.join();
}

bool PracticeMemory::isPersistent() const {
    return writer->isOpen() && reader->isOpen();
}

std::optional<LessonPractice> PracticeMemory::practiceFor(const LessonIdentity& lesson) {
    {
        std::lock_guard guard(lock);
        if (auto found = pending.find(lesson.path); found != pending.end())
            return found->second.write.practice;
    }
    if (auto stored = reader->load(lesson.path))
        return stored;
    for (const std::string& former : reader->pathsWithIdentity(lesson.size, lesson.annotations)) {
        std::error_code error;
        if (former == lesson.path || std::filesystem::exists(former, error) || error)
            continue;
        auto moved = reader->load(former);
        if (!moved)
            continue;
        queue({lesson, *moved, former});
        return moved;
    }
    return std::nullopt;
}

void PracticeMemory::remember(const LessonIdentity& lesson, const LessonPractice& practice) {
    queue({lesson, practice, {}});
}

std::optional<std::int64_t> PracticeMemory::practisedMs(const std::string& path) {
    {
        std::lock_guard guard(lock);
        if (auto found = pending.find(path); found != pending.end())
            return found->second.write.practice.practisedMs;
    }
    return reader->practisedMs(path);
}

void PracticeMemory::flush() {
    std::unique_lock guard(lock);
    changed.wait(guard, [this] { return unwritten.empty() && !writing; });
}

void PracticeMemory::queue(PracticeWrite write) {
    {
        std::lock_guard guard(lock);
        std::string path = write.lesson.path;
        Pending& entry = pending[path];
        // A move not yet written stays a move.
        if (write.formerPath.empty())
            write.formerPath = std::move(entry.write.formerPath);
        entry = {std::move(write), ++generations};
        unwritten.insert(path);
    }
    changed.notify_all();
}

// The writer's thread: everything queued since its last turn goes in one transaction. What was
// written is dropped from the queue unless it changed again meanwhile; what failed stays, so
// reads still answer it.
void PracticeMemory::writeInTurn() {
    std::unique_lock guard(lock);
    for (;;) {
        changed.wait(guard, [this] { return stopping || !unwritten.empty(); });
        if (unwritten.empty())
            return;
        std::vector<PracticeWrite> batch;
        std::vector<std::pair<std::string, std::uint64_t>> taken;
        for (const std::string& path : unwritten) {
            batch.push_back(pending[path].write);
            taken.emplace_back(path, pending[path].generation);
        }
        unwritten.clear();
        writing = true;
        guard.unlock();
        bool written = writer->write(batch);
        guard.lock();
        writing = false;
        for (const auto& [path, generation] : taken) {
            auto entry = pending.find(path);
            if (written && entry != pending.end() && entry->second.generation == generation)
                pending.erase(entry);
        }
        changed.notify_all();
    }
}
