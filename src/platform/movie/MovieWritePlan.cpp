#include "platform/movie/MovieWritePlan.h"

#include "platform/data/AtomicFile.h"
#include "platform/movie/BigEndian.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <glib.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t largestCompactOffset = 0xFFFFFFFFu;
constexpr std::size_t copyChunk = 1 << 20;
// What annotations may add to a movie atom before a save has to copy the file again.
constexpr std::uint64_t roomToGrow = 4096;

constexpr FourCC freeType = makeFourCC("free");

bool isPadding(FourCC type) {
    return type == freeType || type == makeFourCC("skip");
}

// Whether an atom of this size fills the room exactly or leaves room for a free atom behind it.
bool fitsWithPadding(std::uint64_t size, std::uint64_t room) {
    return room <= largestCompactOffset && (size == room || size + 8 <= room);
}

void appendFreeHeader(std::vector<std::uint8_t>& bytes, std::uint64_t size) {
    BigEndian::append32(bytes, static_cast<std::uint32_t>(size));
    BigEndian::append32(bytes, freeType);
}

std::vector<std::uint8_t> typeBytes(FourCC type) {
    std::vector<std::uint8_t> bytes;
    BigEndian::append32(bytes, type);
    return bytes;
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

bool writeAllAt(int fd, const std::vector<std::uint8_t>& bytes, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
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

void copyExtendedAttributes(int from, int to) {
    ssize_t length = ::flistxattr(from, nullptr, 0);
    if (length <= 0)
        return;
    std::vector<char> names(static_cast<std::size_t>(length));
    length = ::flistxattr(from, names.data(), names.size());
    std::vector<char> value;
    for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(std::strlen(&names[at])) + 1) {
        ssize_t size = ::fgetxattr(from, &names[at], nullptr, 0);
        if (size < 0)
            continue;
        value.resize(static_cast<std::size_t>(size));
        size = ::fgetxattr(from, &names[at], value.data(), value.size());
        if (size >= 0)
            ::fsetxattr(to, &names[at], value.data(), static_cast<std::size_t>(size), 0);
    }
}

// The copy takes the old file's owner, group and extended attributes (ACLs among them) as far as
// this process may set them: the owner needs privileges, the group alone often works, security
// labels may be refused. Answers whether owner and group were kept.
bool keepOwnership(int from, int to, const struct stat& original) {
    bool kept = ::fchown(to, original.st_uid, original.st_gid) == 0;
    if (!kept && original.st_uid == ::geteuid())
        kept = ::fchown(to, static_cast<uid_t>(-1), original.st_gid) == 0;
    copyExtendedAttributes(from, to);
    return kept;
}

} // namespace

std::optional<MovieWritePlan> MovieWritePlan::make(const MovieFile& file, Atom movie) {
    MovieWritePlan plan;
    std::vector<std::uint8_t> bytes = movie.bytes();
    if (plan.planFlip(file, bytes))
        return plan;
    const TopLevelAtom& old = file.movieAtomPlace();
    // An atom no larger than the old one keeps its place, padded, so that no offset moves.
    if (fitsWithPadding(bytes.size(), old.size)) {
        if (bytes.size() < old.size)
            appendFreeHeader(bytes, old.size - bytes.size());
        bytes.resize(static_cast<std::size_t>(old.size));
        plan.planRewrite(file, std::move(bytes));
        return plan;
    }
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

// The first stretch of free atoms that holds the new atom, exactly or with room for a free atom
// behind it, and that no chunk offset points into.
bool MovieWritePlan::planFlip(const MovieFile& file, const std::vector<std::uint8_t>& bytes) {
    const std::vector<TopLevelAtom>& atoms = file.topLevelAtoms();
    std::vector<std::uint64_t> offsets;
    std::vector<std::uint64_t> table;
    for (const Atom* chunks : MovieFile::chunkOffsetTables(file.movieAtom())) {
        MovieFile::readChunkOffsets(*chunks, table);
        offsets.insert(offsets.end(), table.begin(), table.end());
    }
    for (std::size_t first = 0; first < atoms.size(); ++first) {
        if (!isPadding(atoms[first].type))
            continue;
        std::size_t last = first;
        while (last + 1 < atoms.size() && isPadding(atoms[last + 1].type))
            ++last;
        std::uint64_t start = atoms[first].offset;
        std::uint64_t size = atoms[last].offset + atoms[last].size - start;
        first = last;
        if (!fitsWithPadding(bytes.size(), size))
            continue;
        if (std::any_of(offsets.begin(), offsets.end(),
                        [&](std::uint64_t o) { return o >= start && o < start + size; }))
            continue;
        planFlipInto(file.movieAtomPlace(), start, size, bytes);
        return true;
    }
    return false;
}

// Each write leaves a file that readers take for the old movie or the new one: one free atom over
// the whole room; inside it the new atom's body (and a free atom for the rest of the room); the
// new atom's header, still typed free; its type 'moov' (the first movie atom in a file is the one
// read); the old atom's type 'free'.
void MovieWritePlan::planFlipInto(const TopLevelAtom& old, std::uint64_t room,
                                  std::uint64_t roomSize, const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> whole;
    appendFreeHeader(whole, roomSize);
    writes.push_back({room, whole});
    Write body{room + 8, {bytes.begin() + 8, bytes.end()}};
    if (roomSize > bytes.size())
        appendFreeHeader(body.bytes, roomSize - bytes.size());
    writes.push_back(std::move(body));
    std::vector<std::uint8_t> header(bytes.begin(), bytes.begin() + 4);
    BigEndian::append32(header, freeType);
    if (header != whole)
        writes.push_back({room, std::move(header)});
    writes.push_back({room + 4, typeBytes(makeFourCC("moov"))});
    writes.push_back({old.offset + 4, typeBytes(freeType)});
}

// The copy ends with free space for a movie atom a little larger than this one, so that the next
// save can write in place. At the end it moves no chunk; behind the zeros some files end with, a
// reader would not find it.
void MovieWritePlan::planRewrite(const MovieFile& file, std::vector<std::uint8_t> movieBytes) {
    const std::vector<TopLevelAtom>& atoms = file.topLevelAtoms();
    std::vector<std::uint8_t> room;
    std::uint64_t roomSize = movieBytes.size() + roomToGrow;
    if (roomSize <= largestCompactOffset && atoms.back().type != 0) {
        room.resize(static_cast<std::size_t>(roomSize));
        BigEndian::write32(room.data(), static_cast<std::uint32_t>(roomSize));
        BigEndian::write32(room.data() + 4, freeType);
    }
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
    if (!room.empty())
        parts.push_back({0, room.size(), std::move(room)});
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
    if (inPlace()) {
        result.resize(static_cast<std::size_t>(source.size()));
        if (!source.read(0, result.size(), result.data()))
            return false;
        for (const Write& write : writes) {
            if (write.offset + write.bytes.size() > result.size())
                return false;
            std::copy(write.bytes.begin(), write.bytes.end(),
                      result.begin() + static_cast<std::ptrdiff_t>(write.offset));
        }
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
    return inPlace() ? flipInFile(source, path) : rewriteFile(source, path);
}

bool MovieWritePlan::flipInFile(const ByteSource& source, const std::string& path) const {
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat now {};
    bool ok = fstat(fd, &now) == 0 && sameContents(source, now);
    for (auto write = writes.begin(); ok && write != writes.end(); ++write)
        ok = write->offset + write->bytes.size() <= source.size() &&
             writeAllAt(fd, write->bytes, write->offset) && ::fsync(fd) == 0;
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
    bool ok = ::stat(path.c_str(), &original) == 0;
    if (ok && !keepOwnership(source.descriptor(), out, original)) {
        g_autofree gchar* name = g_filename_display_name(path.c_str());
        g_debug("%s has a new owner after saving its annotations", name);
    }
    ok = ok && ::fchmod(out, original.st_mode & 07777) == 0 && writePieces(source, out) &&
         ::fsync(out) == 0;
    ok = ::close(out) == 0 && ok;
    ok = ok && pathHoldsSource(source, path) && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    AtomicFile::syncFolder(folder.string());
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
