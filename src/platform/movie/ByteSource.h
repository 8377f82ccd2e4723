#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>

// Random-access bytes of a movie: an open file, or a buffer in memory (tests and fuzzing). The
// atom reader never needs more than the file's headers and its movie atom, so it reads by range.
class ByteSource {
public:
    // Borrows the memory; it must outlive the source.
    explicit ByteSource(std::span<const std::uint8_t> memory);
    ~ByteSource();
    ByteSource(ByteSource&& other) noexcept;
    ByteSource& operator=(ByteSource&& other) noexcept;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    // Opens a regular file for reading; fails for folders, devices and unreadable files.
    static std::optional<ByteSource> openFile(const std::string& path);

    std::uint64_t size() const { return length; }
    // Reads exactly count bytes at offset; false when that range is not all there.
    bool read(std::uint64_t offset, std::size_t count, std::uint8_t* out) const;
    // The file descriptor, or -1 for memory.
    int descriptor() const { return fd; }
    // What identifies the file's contents at opening: a save refuses a file changed meanwhile.
    std::timespec modificationTime() const { return mtime; }

private:
    ByteSource() = default;
    void close();

    int fd = -1;
    std::span<const std::uint8_t> memory;
    std::uint64_t length = 0;
    std::timespec mtime{};
};
