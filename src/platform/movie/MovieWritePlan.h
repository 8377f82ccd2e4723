#pragma once

#include "platform/movie/Atom.h"
#include "platform/movie/ByteSource.h"
#include "platform/movie/MovieFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How a movie file gets a changed movie atom without ever overwriting the only copy of it. When
// free space elsewhere in the file holds the new atom, it is written there as a free atom and the
// types are flipped afterwards (new one to 'moov', old one to 'free'); each write is flushed before
// the next, and readers take the first movie atom, so a crash at any point leaves the old movie
// or the new one. Otherwise the whole file is written anew beside the old one, with every chunk
// offset that points past the movie atom moved by the change in size, and renamed over it.
class MovieWritePlan {
public:
    // One stretch of the new file: bytes of its own, or a range copied from the old file.
    struct Piece {
        std::uint64_t sourceOffset = 0;
        std::uint64_t length = 0;
        std::vector<std::uint8_t> bytes;
        bool fromSource() const { return bytes.empty(); }
    };

    // Nothing when the change cannot be written safely (fragmented movies whose fragments would
    // move, chunk offsets into the movie atom itself).
    static std::optional<MovieWritePlan> make(const MovieFile& file, Atom newMovieAtom);

    // One write of a change made in place, flushed to disk before the next one starts.
    struct Write {
        std::uint64_t offset = 0;
        std::vector<std::uint8_t> bytes;
    };

    bool inPlace() const { return !writes.empty(); }
    const std::vector<Write>& inPlaceWrites() const { return writes; }
    const std::vector<Piece>& pieces() const { return parts; }

    // The new file's contents (tests and fuzzing).
    bool applyInMemory(const ByteSource& source, std::vector<std::uint8_t>& result) const;
    // Writes the change to path, which must be the file that source reads; fsyncs before answering.
    // Refuses a file that changed after source opened it.
    bool applyToFile(const ByteSource& source, const std::string& path) const;

private:
    static bool movesFragments(const MovieFile& file, Atom& movie);
    static bool fixChunkOffsets(Atom& movie, const TopLevelAtom& old, std::int64_t delta);
    static bool widenChunkOffsets(Atom& movie, const TopLevelAtom& old);
    bool planFlip(const MovieFile& file, const std::vector<std::uint8_t>& movieBytes);
    void planFlipInto(const TopLevelAtom& old, std::uint64_t room, std::uint64_t roomSize,
                      const std::vector<std::uint8_t>& movieBytes);
    void planRewrite(const MovieFile& file, std::vector<std::uint8_t> movieBytes);
    bool flipInFile(const ByteSource& source, const std::string& path) const;
    bool rewriteFile(const ByteSource& source, const std::string& path) const;
    bool writePieces(const ByteSource& source, int out) const;

    std::vector<Write> writes;
    std::vector<Piece> parts;
};
