#include "platform/movie/MovieWritePlan.h"

#include "platform/movie/BigEndian.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t largestCompactOffset = 0xFFFFFFFFu;
constexpr std::size_t copyChunk = 1 << 20;

bool isPadding(FourCC type) {
    return type == makeFourCC("free") || type == makeFourCC("skip");
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t count) {
    while (count > 0) {
        ssize_t done = ::write(fd, data, count);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

bool sameContents(const ByteSource& source, const struct stat& now) {
    struct stat opened {};
    if (fstat(source.descriptor(), &opened) != 0)
        return false;
    std::timespec then = source.modificationTime();
    return opened.st_dev == now.st_dev && opened.st_ino == now.st_ino &&
           static_cast<std::uint64_t>(now.st_size) == source.size() &&
           now.st_mtim.tv_sec == then.tv_sec && now.st_mtim.tv_nsec == then.tv_nsec;
}

bool pathHoldsSource(const ByteSource& source, const std::string& path) {
    struct stat now {};
    return ::stat(path.c_str(), &now) == 0 && sameContents(source, now);
}

// The table with new entries; its header and whatever follows the entries stay as they were.
std::vector<std::uint8_t> chunkOffsetPayload(const std::vector<std::uint8_t>& original,
                                             const std::vector<std::uint64_t>& offsets,
                                             bool wasWide, bool wide) {
    std::vector<std::uint8_t> payload(original.begin(), original.begin() + 8);
    for (std::uint64_t offset : offsets) {
        if (wide)
            BigEndian::append64(payload, offset);
        else
            BigEndian::append32(payload, static_cast<std::uint32_t>(offset));
    }
    std::size_t entriesEnd = 8 + offsets.size() * (wasWide ? 8 : 4);
    payload.insert(payload.end(), original.begin() + static_cast<std::ptrdiff_t>(entriesEnd),
                   original.end());
    return payload;
}

void fsyncFolder(const std::filesystem::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

std::optional<MovieWritePlan> MovieWritePlan::make(const MovieFile& file, Atom movie) {
    MovieWritePlan plan;
    if (plan.planInPlace(file, movie.bytes()))
        return plan;
    const TopLevelAtom& old = file.movieAtomPlace();
    if (!widenChunkOffsets(movie, old))
        return std::nullopt;
    auto delta = static_cast<std::int64_t>(movie.size()) - static_cast<std::int64_t>(old.size);
    if (delta != 0 && movesFragments(file, movie))
        return std::nullopt;
    if (!fixChunkOffsets(movie, old, delta))
        return std::nullopt;
    plan.planRewrite(file, movie.bytes());
    return plan;
}

bool MovieWritePlan::planInPlace(const MovieFile& file, const std::vector<std::uint8_t>& bytes) {
    const TopLevelAtom& old = file.movieAtomPlace();
    const std::vector<TopLevelAtom>& atoms = file.topLevelAtoms();
    std::uint64_t end = old.offset + old.size;
    std::uint64_t roomEnd = end;
    for (std::size_t i = file.movieAtomIndex() + 1; i < atoms.size() && isPadding(atoms[i].type);
         ++i)
        roomEnd = atoms[i].offset + atoms[i].size;

    // Padding that a chunk offset points into is not padding we may write over.
    std::vector<std::uint64_t> offsets;
    for (const Atom* table : MovieFile::chunkOffsetTables(file.movieAtom())) {
        MovieFile::readChunkOffsets(*table, offsets);
        if (std::any_of(offsets.begin(), offsets.end(),
                        [&](std::uint64_t o) { return o >= end && o < roomEnd; }))
            roomEnd = end;
    }

    std::uint64_t room = roomEnd - old.offset;
    if (bytes.size() > room)
        return false;
    std::uint64_t rest = room - bytes.size();
    if (rest != 0 && rest < 8)
        return false;
    overwrite = true;
    overwriteOffset = old.offset;
    overwriteBytes = bytes;
    if (rest == 0)
        return true;
    if (rest <= largestCompactOffset) {
        BigEndian::append32(overwriteBytes, static_cast<std::uint32_t>(rest));
        BigEndian::append32(overwriteBytes, makeFourCC("free"));
        return true;
    }
    if (rest < 16) {
        overwrite = false;
        return false;
    }
    BigEndian::append32(overwriteBytes, 1);
    BigEndian::append32(overwriteBytes, makeFourCC("free"));
    BigEndian::append64(overwriteBytes, rest);
    return true;
}

void MovieWritePlan::planRewrite(const MovieFile& file, std::vector<std::uint8_t> movieBytes) {
    const std::vector<TopLevelAtom>& atoms = file.topLevelAtoms();
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        if (i == file.movieAtomIndex()) {
            parts.push_back({0, movieBytes.size(), std::move(movieBytes)});
            continue;
        }
        if (!parts.empty() && parts.back().fromSource() &&
            parts.back().sourceOffset + parts.back().length == atoms[i].offset) {
            parts.back().length += atoms[i].size;
            continue;
        }
        parts.push_back({atoms[i].offset, atoms[i].size, {}});
    }
}

// Movie fragments, their indexes and sample auxiliary data carry file offsets of their own that
// we do not rewrite; such a file is only ever changed in place.
bool MovieWritePlan::movesFragments(const MovieFile& file, Atom& movie) {
    static constexpr std::array<FourCC, 4> fragmentTypes = {makeFourCC("moof"), makeFourCC("mfra"),
                                                            makeFourCC("sidx"), makeFourCC("ssix")};
    for (const TopLevelAtom& atom : file.topLevelAtoms()) {
        if (std::find(fragmentTypes.begin(), fragmentTypes.end(), atom.type) != fragmentTypes.end())
            return true;
    }
    std::vector<Atom*> auxiliary;
    movie.collect(makeFourCC("saio"), auxiliary);
    return !auxiliary.empty();
}

// Offsets past the old movie atom move by the change in its size; a 32-bit table that would
// overflow becomes a 64-bit one, which grows the movie atom again, hence the loop.
bool MovieWritePlan::widenChunkOffsets(Atom& movie, const TopLevelAtom& old) {
    std::uint64_t end = old.offset + old.size;
    std::vector<std::uint64_t> offsets;
    for (;;) {
        auto delta = static_cast<std::int64_t>(movie.size()) - static_cast<std::int64_t>(old.size);
        bool widened = false;
        for (Atom* table : MovieFile::chunkOffsetTables(movie)) {
            if (table->type() != makeFourCC("stco"))
                continue;
            if (!MovieFile::readChunkOffsets(*table, offsets))
                return false;
            bool overflows = std::any_of(offsets.begin(), offsets.end(), [&](std::uint64_t o) {
                return o >= end && static_cast<std::int64_t>(o) + delta >
                                       static_cast<std::int64_t>(largestCompactOffset);
            });
            if (!overflows)
                continue;
            *table = Atom(makeFourCC("co64"),
                          chunkOffsetPayload(table->payload(), offsets, false, true));
            widened = true;
        }
        if (!widened)
            return true;
    }
}

bool MovieWritePlan::fixChunkOffsets(Atom& movie, const TopLevelAtom& old, std::int64_t delta) {
    std::uint64_t end = old.offset + old.size;
    std::vector<std::uint64_t> offsets;
    for (Atom* table : MovieFile::chunkOffsetTables(movie)) {
        if (!MovieFile::readChunkOffsets(*table, offsets))
            return false;
        for (std::uint64_t& offset : offsets) {
            if (offset >= old.offset && offset < end)
                return false;
            if (offset >= end)
                offset = static_cast<std::uint64_t>(static_cast<std::int64_t>(offset) + delta);
        }
        bool wide = table->type() == makeFourCC("co64");
        table->payload() = chunkOffsetPayload(table->payload(), offsets, wide, wide);
    }
    return true;
}

bool MovieWritePlan::applyInMemory(const ByteSource& source,
                                   std::vector<std::uint8_t>& result) const {
    result.clear();
    if (overwrite) {
        if (overwriteOffset + overwriteBytes.size() > source.size())
            return false;
        result.resize(static_cast<std::size_t>(source.size()));
        if (!source.read(0, result.size(), result.data()))
            return false;
        std::copy(overwriteBytes.begin(), overwriteBytes.end(),
                  result.begin() + static_cast<std::ptrdiff_t>(overwriteOffset));
        return true;
    }
    for (const Piece& piece : parts) {
        if (!piece.fromSource()) {
            result.insert(result.end(), piece.bytes.begin(), piece.bytes.end());
            continue;
        }
        std::size_t at = result.size();
        result.resize(at + static_cast<std::size_t>(piece.length));
        if (!source.read(piece.sourceOffset, static_cast<std::size_t>(piece.length),
                         result.data() + at))
            return false;
    }
    return true;
}

bool MovieWritePlan::applyToFile(const ByteSource& source, const std::string& path) const {
    if (source.descriptor() < 0 || !pathHoldsSource(source, path))
        return false;
    return overwrite ? overwriteFile(source, path) : rewriteFile(source, path);
}

bool MovieWritePlan::overwriteFile(const ByteSource& source, const std::string& path) const {
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat now {};
    bool ok = fstat(fd, &now) == 0 && sameContents(source, now) &&
              overwriteOffset + overwriteBytes.size() <= source.size();
    std::size_t done = 0;
    while (ok && done < overwriteBytes.size()) {
        ssize_t written = ::pwrite(fd, overwriteBytes.data() + done, overwriteBytes.size() - done,
                                   static_cast<off_t>(overwriteOffset + done));
        if (written < 0 && errno == EINTR)
            continue;
        ok = written > 0;
        done += ok ? static_cast<std::size_t>(written) : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

bool MovieWritePlan::rewriteFile(const ByteSource& source, const std::string& path) const {
    std::filesystem::path target(path);
    std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::string temporary = (folder / ("." + target.filename().string() + ".fretlark-XXXXXX"));
    int out = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (out < 0)
        return false;
    struct stat original {};
    bool ok = ::stat(path.c_str(), &original) == 0 &&
              ::fchmod(out, original.st_mode & 07777) == 0 && writePieces(source, out) &&
              ::fsync(out) == 0;
    ok = ::close(out) == 0 && ok;
    ok = ok && pathHoldsSource(source, path) && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    fsyncFolder(folder);
    return true;
}

bool MovieWritePlan::writePieces(const ByteSource& source, int out) const {
    std::vector<std::uint8_t> buffer;
    for (const Piece& piece : parts) {
        if (!piece.fromSource()) {
            if (!writeAll(out, piece.bytes.data(), piece.bytes.size()))
                return false;
            continue;
        }
        auto from = static_cast<off_t>(piece.sourceOffset);
        std::uint64_t left = piece.length;
        while (left > 0) {
            ssize_t copied = ::copy_file_range(
                source.descriptor(), &from, out, nullptr,
                static_cast<std::size_t>(std::min<std::uint64_t>(left, std::uint64_t{1} << 30)), 0);
            if (copied < 0 && errno == EINTR)
                continue;
            if (copied > 0) {
                left -= static_cast<std::uint64_t>(copied);
                continue;
            }
            // No kernel copy between these files (or an early end): copy through memory.
            std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(left, copyChunk));
            buffer.resize(count);
            if (!source.read(static_cast<std::uint64_t>(from), count, buffer.data()) ||
                !writeAll(out, buffer.data(), count))
                return false;
            from += static_cast<off_t>(count);
            left -= count;
        }
    }
    return true;
}
