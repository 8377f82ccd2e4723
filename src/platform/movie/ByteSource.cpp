#include "platform/movie/ByteSource.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

ByteSource::ByteSource(std::span<const std::uint8_t> bytes) : memory(bytes), length(bytes.size()) {}

ByteSource::~ByteSource() {
    close();
}

ByteSource::ByteSource(ByteSource&& other) noexcept
    : fd(std::exchange(other.fd, -1)), memory(other.memory), length(other.length),
      mtime(other.mtime) {}

ByteSource& ByteSource::operator=(ByteSource&& other) noexcept {
    if (this == &other)
        return *this;
    close();
    fd = std::exchange(other.fd, -1);
    memory = other.memory;
    length = other.length;
    mtime = other.mtime;
    return *this;
}

void ByteSource::close() {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

std::optional<ByteSource> ByteSource::openFile(const std::string& path) {
    int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    struct stat info {};
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return std::nullopt;
    }
    ByteSource source;
    source.fd = descriptor;
    source.length = static_cast<std::uint64_t>(info.st_size);
    source.mtime = info.st_mtim;
    return source;
}

bool ByteSource::read(std::uint64_t offset, std::size_t count, std::uint8_t* out) const {
    if (offset > length || count > length - offset)
        return false;
    if (fd < 0) {
        std::memcpy(out, memory.data() + offset, count);
        return true;
    }
    std::size_t done = 0;
    while (done < count) {
        ssize_t got = ::pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}
