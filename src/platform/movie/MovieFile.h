#pragma once

#include "platform/movie/Atom.h"
#include "platform/movie/ByteSource.h"

#include <cstdint>
#include <optional>
#include <vector>

// Where one top-level atom of a movie file lies.
struct TopLevelAtom {
    FourCC type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The structure of a QuickTime or ISO-BMFF movie file: its top-level atoms and its movie atom
// parsed into a tree, checked so that a truncated or damaged file is refused before anything plays
// or writes it.
class MovieFile {
public:
    // Movie atoms beyond this size are refused rather than read into memory.
    static constexpr std::uint64_t largestMovieAtom = 256ull << 20;
    static constexpr std::size_t mostTopLevelAtoms = 1'000'000;

    static std::optional<MovieFile> parse(const ByteSource& source);
    // A cheap look at the first atom's header: could this be a movie at all?
    static bool looksLikeMovie(const ByteSource& source);
    // Whether the top-level atoms lead to a movie atom, whatever follows it or is inside it.
    static bool holdsMovieAtom(const ByteSource& source);

    const std::vector<TopLevelAtom>& topLevelAtoms() const { return atoms; }
    const TopLevelAtom& movieAtomPlace() const { return atoms[movieIndex]; }
    std::size_t movieAtomIndex() const { return movieIndex; }
    const Atom& movieAtom() const { return moov; }
    Atom& movieAtom() { return moov; }
    std::uint64_t fileSize() const { return bytesInFile; }

    std::uint32_t timeScale() const { return scale; }
    std::uint64_t duration() const { return movieDuration; }
    std::uint64_t posterTime() const { return poster; }
    double naturalWidth() const { return width; }
    double naturalHeight() const { return height; }

    // The chunk offset tables ('stco', 'co64') of the tracks whose media lie in this same file.
    static std::vector<Atom*> chunkOffsetTables(Atom& moov);
    static std::vector<const Atom*> chunkOffsetTables(const Atom& moov);
    // The offsets of one table; false when its entry count does not fit its size.
    static bool readChunkOffsets(const Atom& table, std::vector<std::uint64_t>& offsets);

private:
    static bool printableType(FourCC type);
    static bool isSelfContained(const Atom& track);
    bool scanTopLevel(const ByteSource& source);
    bool readMovieHeader();
    void readNaturalSize();
    bool chunkOffsetsInsideFile();

    std::vector<TopLevelAtom> atoms;
    std::size_t movieIndex = 0;
    Atom moov;
    std::uint64_t bytesInFile = 0;
    std::uint32_t scale = 0;
    std::uint64_t movieDuration = 0;
    std::uint64_t poster = 0;
    double width = 0;
    double height = 0;
};
