#pragma once

#include "platform/movie/Atom.h"
#include "platform/movie/BigEndian.h"

#include <cstdint>
#include <string>
#include <vector>

// Hand-made movie files for the atom tests: exactly the atoms a case needs, nothing an encoder
// would add.
namespace synthetic {

inline std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

inline std::string stringOf(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

inline Atom movieHeader(std::uint32_t timeScale, std::uint32_t duration, std::uint32_t poster = 0) {
    std::vector<std::uint8_t> p(100, 0);
    BigEndian::write32(p.data() + 12, timeScale);
    BigEndian::write32(p.data() + 16, duration);
    BigEndian::write32(p.data() + 80, poster);
    return Atom(makeFourCC("mvhd"), p);
}

inline Atom trackHeader(double width, double height) {
    std::vector<std::uint8_t> p(84, 0);
    BigEndian::write32(p.data() + 76, static_cast<std::uint32_t>(width * 65536));
    BigEndian::write32(p.data() + 80, static_cast<std::uint32_t>(height * 65536));
    return Atom(makeFourCC("tkhd"), p);
}

inline Atom chunkOffsets(const std::vector<std::uint64_t>& offsets, bool wide = false,
                         std::uint32_t claimedCount = 0) {
    std::vector<std::uint8_t> p(4, 0);
    BigEndian::append32(p,
                        claimedCount ? claimedCount : static_cast<std::uint32_t>(offsets.size()));
    for (std::uint64_t offset : offsets) {
        if (wide)
            BigEndian::append64(p, offset);
        else
            BigEndian::append32(p, static_cast<std::uint32_t>(offset));
    }
    return Atom(makeFourCC(wide ? "co64" : "stco"), p);
}

// A data reference with one entry; selfContained false names another file.
inline Atom dataReference(bool selfContained) {
    std::vector<std::uint8_t> p(4, 0);
    BigEndian::append32(p, 1);
    BigEndian::append32(p, 12);
    BigEndian::append32(p, makeFourCC("url "));
    BigEndian::append32(p, selfContained ? 1 : 0);
    return Atom(makeFourCC("dref"), p);
}

inline Atom nest(FourCC type, std::vector<Atom> children) {
    Atom atom = Atom::container(type);
    atom.children() = std::move(children);
    return atom;
}

inline Atom track(Atom offsets, bool selfContained = true, double width = 320,
                  double height = 240) {
    return nest(
        makeFourCC("trak"),
        {trackHeader(width, height),
         nest(makeFourCC("mdia"),
              {nest(makeFourCC("minf"), {nest(makeFourCC("dinf"), {dataReference(selfContained)}),
                                         nest(makeFourCC("stbl"), {std::move(offsets)})})})});
}

inline Atom textItem(FourCC type,
                     const std::vector<std::pair<std::uint16_t, std::string>>& entries) {
    std::vector<std::uint8_t> p;
    for (const auto& [language, text] : entries) {
        BigEndian::append16(p, static_cast<std::uint16_t>(text.size()));
        BigEndian::append16(p, language);
        p.insert(p.end(), text.begin(), text.end());
    }
    return Atom(type, p);
}

inline Atom listItem(FourCC key, const std::string& text, std::uint32_t kind = 1) {
    std::vector<std::uint8_t> p;
    BigEndian::append32(p, kind);
    BigEndian::append32(p, 0);
    p.insert(p.end(), text.begin(), text.end());
    return nest(key, {Atom(makeFourCC("data"), p)});
}

// An iTunes-style metadata list as ffmpeg writes it in an MP4: udta/meta (full box)/ilst.
inline Atom metadataList(std::vector<Atom> items) {
    std::vector<std::uint8_t> handler(4, 0);
    BigEndian::append32(handler, 0);
    BigEndian::append32(handler, makeFourCC("mdir"));
    handler.resize(handler.size() + 13, 0);
    Atom meta = nest(makeFourCC("meta"), {Atom(makeFourCC("hdlr"), handler),
                                          nest(makeFourCC("ilst"), std::move(items))});
    meta.payload() = {0, 0, 0, 0};
    return meta;
}

struct File {
    std::vector<std::uint8_t> bytes;
    std::uint64_t dataOffset = 0; // where the media data's first byte lies
};

// ftyp, then moov and mdat in either order; the track's chunk offsets point at each chunk of
// data (chunkSize bytes apiece, each filled with its own byte value). freeAfterMovie puts a free
// atom of that size right after the movie atom; tableSlack leaves that many bytes after the chunk
// offset table's entries.
inline File movie(bool movieFirst, std::size_t chunks = 4, std::size_t chunkSize = 64,
                  std::vector<Atom> extraMovieChildren = {}, bool wideOffsets = false,
                  std::size_t freeAfterMovie = 0, std::size_t tableSlack = 0) {
    Atom ftyp(makeFourCC("ftyp"), bytesOf("qt  \0\0\0\0qt  "));
    std::vector<std::uint8_t> media;
    for (std::size_t c = 0; c < chunks; ++c)
        media.insert(media.end(), chunkSize, static_cast<std::uint8_t>(0x10 + c));
    Atom mdat(makeFourCC("mdat"), media);

    auto buildMovie = [&](std::uint64_t dataStart) {
        std::vector<std::uint64_t> offsets;
        for (std::size_t c = 0; c < chunks; ++c)
            offsets.push_back(dataStart + c * chunkSize);
        Atom table = chunkOffsets(offsets, wideOffsets);
        table.payload().resize(table.payload().size() + tableSlack, 0xEE);
        std::vector<Atom> children = {movieHeader(600, 1200), track(table)};
        for (Atom& extra : extraMovieChildren)
            children.push_back(extra);
        return nest(makeFourCC("moov"), children);
    };
    std::uint64_t moovSize = buildMovie(0).size();
    std::uint64_t dataStart = ftyp.size() + 8 + (movieFirst ? moovSize + freeAfterMovie : 0);
    Atom moov = buildMovie(dataStart);

    File file;
    file.dataOffset = dataStart;
    ftyp.appendTo(file.bytes);
    Atom padding(makeFourCC("free"),
                 std::vector<std::uint8_t>(freeAfterMovie ? freeAfterMovie - 8 : 0, 0));
    if (movieFirst) {
        moov.appendTo(file.bytes);
        if (freeAfterMovie)
            padding.appendTo(file.bytes);
    }
    mdat.appendTo(file.bytes);
    if (!movieFirst) {
        moov.appendTo(file.bytes);
        if (freeAfterMovie)
            padding.appendTo(file.bytes);
    }
    return file;
}

} // namespace synthetic
