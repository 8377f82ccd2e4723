#include "platform/movie/MovieFile.h"

#include "platform/movie/BigEndian.h"

#include <algorithm>
#include <array>

namespace {

constexpr FourCC moovType = makeFourCC("moov");

std::optional<std::uint64_t> fixedPoint(const std::vector<std::uint8_t>& payload, std::size_t at) {
    if (payload.size() < at + 4)
        return std::nullopt;
    return BigEndian::read32(payload.data() + at);
}

} // namespace

bool MovieFile::printableType(FourCC type) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        auto byte = static_cast<std::uint8_t>(type >> shift);
        if ((byte < 0x20 || byte > 0x7E) && byte != 0xA9)
            return false;
    }
    return true;
}

bool MovieFile::looksLikeMovie(const ByteSource& source) {
    static constexpr std::array<FourCC, 9> firstTypes = {
        makeFourCC("ftyp"), makeFourCC("moov"), makeFourCC("mdat"),
        makeFourCC("wide"), makeFourCC("free"), makeFourCC("skip"),
        makeFourCC("pnot"), makeFourCC("junk"), makeFourCC("uuid")};
    std::uint8_t header[8];
    if (!source.read(0, sizeof header, header))
        return false;
    std::uint32_t size = BigEndian::read32(header);
    FourCC type = BigEndian::read32(header + 4);
    bool sizeFits = size == 0 || size == 1 || (size >= 8 && size <= source.size());
    return sizeFits && std::find(firstTypes.begin(), firstTypes.end(), type) != firstTypes.end();
}

bool MovieFile::holdsMovieAtom(const ByteSource& source) {
    std::uint64_t position = 0;
    std::uint8_t header[16];
    while (position + 8 <= source.size() && source.read(position, 8, header)) {
        std::uint64_t size = BigEndian::read32(header);
        if (size == 1 && source.read(position + 8, 8, header + 8))
            size = BigEndian::read64(header + 8);
        if (size < 8 || size > source.size() - position)
            return false;
        if (BigEndian::read32(header + 4) == moovType)
            return true;
        position += size;
    }
    return false;
}

std::optional<MovieFile> MovieFile::parse(const ByteSource& source) {
    MovieFile file;
    file.bytesInFile = source.size();
    if (!file.scanTopLevel(source))
        return std::nullopt;
    auto found = std::find_if(file.atoms.begin(), file.atoms.end(),
                              [](const TopLevelAtom& atom) { return atom.type == moovType; });
    if (found == file.atoms.end() || found->size > largestMovieAtom)
        return std::nullopt;
    file.movieIndex = static_cast<std::size_t>(found - file.atoms.begin());
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(found->size));
    if (!source.read(found->offset, bytes.size(), bytes.data()))
        return std::nullopt;
    auto moov = Atom::parse(bytes);
    if (!moov)
        return std::nullopt;
    file.moov = std::move(*moov);
    if (!file.readMovieHeader() || !file.moov.child(makeFourCC("trak")))
        return std::nullopt;
    if (!file.chunkOffsetsInsideFile())
        return std::nullopt;
    file.readNaturalSize();
    return file;
}

bool MovieFile::scanTopLevel(const ByteSource& source) {
    std::uint64_t position = 0;
    while (position < bytesInFile) {
        std::uint64_t rest = bytesInFile - position;
        std::uint8_t header[16] = {};
        if (!source.read(position, std::min<std::uint64_t>(rest, 16), header))
            return false;
        std::uint64_t size = BigEndian::read32(header);
        FourCC type = BigEndian::read32(header + 4);
        // Zeros where the next atom would start: padding that some tools leave at the end. It is
        // kept as it is (type 0), since a chunk offset may still point into it.
        if (size == 0 && type == 0) {
            atoms.push_back({0, position, rest});
            break;
        }
        if (rest < 8)
            return false;
        std::uint64_t headerSize = 8;
        if (size == 1) {
            if (rest < 16)
                return false;
            size = BigEndian::read64(header + 8);
            headerSize = 16;
        } else if (size == 0) {
            size = rest;
        }
        if (size < headerSize || size > rest || !printableType(type))
            return false;
        if (atoms.size() == mostTopLevelAtoms)
            return false;
        atoms.push_back({type, position, size});
        position += size;
    }
    return !atoms.empty();
}

// The movie header: time scale and duration, and the poster time QuickTime keeps there.
bool MovieFile::readMovieHeader() {
    const Atom* header = moov.child(makeFourCC("mvhd"));
    if (!header || header->isContainer())
        return false;
    const std::vector<std::uint8_t>& p = header->payload();
    if (p.empty())
        return false;
    bool version1 = p[0] == 1;
    std::size_t needed = version1 ? 112 : 100;
    if (p[0] > 1 || p.size() < needed)
        return false;
    std::size_t shift = version1 ? 12 : 0;
    scale = BigEndian::read32(p.data() + (version1 ? 20 : 12));
    movieDuration = version1 ? BigEndian::read64(p.data() + 24) : BigEndian::read32(p.data() + 16);
    poster = BigEndian::read32(p.data() + 80 + shift);
    if (!version1 && movieDuration == 0xFFFFFFFFu)
        movieDuration = 0;
    return scale != 0;
}

// The display size of the first track that has one: the video track.
void MovieFile::readNaturalSize() {
    for (const Atom& track : moov.children()) {
        const Atom* header =
            track.type() == makeFourCC("trak") ? track.child(makeFourCC("tkhd")) : nullptr;
        if (!header || header->payload().empty())
            continue;
        std::size_t at = header->payload()[0] == 1 ? 88 : 76;
        auto w = fixedPoint(header->payload(), at);
        auto h = fixedPoint(header->payload(), at + 4);
        if (w && h && *w > 0 && *h > 0) {
            width = static_cast<double>(*w) / 65536.0;
            height = static_cast<double>(*h) / 65536.0;
            return;
        }
    }
}

// A track whose data reference names another file keeps its media there.
bool MovieFile::isSelfContained(const Atom& track) {
    const Atom* references = track.find(
        {makeFourCC("mdia"), makeFourCC("minf"), makeFourCC("dinf"), makeFourCC("dref")});
    if (!references || references->payload().size() < 8)
        return true;
    const std::vector<std::uint8_t>& p = references->payload();
    std::uint32_t count = BigEndian::read32(p.data() + 4);
    std::size_t position = 8;
    for (std::uint32_t i = 0; i < count && position + 12 <= p.size(); ++i) {
        std::uint32_t size = BigEndian::read32(p.data() + position);
        bool selfReference = (p[position + 11] & 1) != 0;
        if (!selfReference)
            return false;
        if (size < 12)
            break;
        position += size;
    }
    return true;
}

std::vector<Atom*> MovieFile::chunkOffsetTables(Atom& movie) {
    std::vector<Atom*> tables;
    for (Atom& track : movie.children()) {
        if (track.type() != makeFourCC("trak") || !isSelfContained(track))
            continue;
        Atom* sampleTable =
            track.find({makeFourCC("mdia"), makeFourCC("minf"), makeFourCC("stbl")});
        if (!sampleTable)
            continue;
        for (Atom& table : sampleTable->children()) {
            if (table.type() == makeFourCC("stco") || table.type() == makeFourCC("co64"))
                tables.push_back(&table);
        }
    }
    return tables;
}

std::vector<const Atom*> MovieFile::chunkOffsetTables(const Atom& movie) {
    std::vector<Atom*> tables = chunkOffsetTables(const_cast<Atom&>(movie));
    return {tables.begin(), tables.end()};
}

bool MovieFile::readChunkOffsets(const Atom& table, std::vector<std::uint64_t>& offsets) {
    const std::vector<std::uint8_t>& p = table.payload();
    bool wide = table.type() == makeFourCC("co64");
    std::size_t entrySize = wide ? 8 : 4;
    if (p.size() < 8)
        return false;
    std::uint64_t count = BigEndian::read32(p.data() + 4);
    if (count > (p.size() - 8) / entrySize)
        return false;
    offsets.clear();
    offsets.reserve(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = p.data() + 8 + i * entrySize;
        offsets.push_back(wide ? BigEndian::read64(entry) : BigEndian::read32(entry));
    }
    return true;
}

bool MovieFile::chunkOffsetsInsideFile() {
    std::vector<std::uint64_t> offsets;
    for (Atom* table : chunkOffsetTables(moov)) {
        if (!readChunkOffsets(*table, offsets))
            return false;
        if (std::any_of(offsets.begin(), offsets.end(),
                        [this](std::uint64_t offset) { return offset >= bytesInFile; }))
            return false;
    }
    return true;
}
