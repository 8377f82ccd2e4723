#pragma once

#include "platform/movie/Atom.h"
#include "platform/movie/ByteSource.h"
#include "platform/movie/MovieFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How a movie file gets a changed movie atom. When the new atom fits the old one's place (with
// the free atoms right after it) it is written over it, padded with a free atom. Otherwise the
// whole file is written anew beside the old one, with every chunk offset that points past the movie
// atom moved by the change in size, then renamed over it: a reader sees the old file or the new
// one, never a half-written movie.
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

    bool inPlace() const { return overwrite; }
    std::uint64_t inPlaceOffset() const { return overwriteOffset; }
    const std::vector<std::uint8_t>& inPlaceBytes() const { return overwriteBytes; }
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
    bool planInPlace(const MovieFile& file, const std::vector<std::uint8_t>& movieBytes);
    void planRewrite(const MovieFile& file, std::vector<std::uint8_t> movieBytes);
    bool overwriteFile(const ByteSource& source, const std::string& path) const;
    bool rewriteFile(const ByteSource& source, const std::string& path) const;
    bool writePieces(const ByteSource& source, int out) const;

    bool overwrite = false;
    std::uint64_t overwriteOffset = 0;
    std::vector<std::uint8_t> overwriteBytes;
    std::vector<Piece> parts;
};
