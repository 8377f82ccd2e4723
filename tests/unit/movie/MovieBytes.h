#pragma once

#include "platform/movie/Atom.h"
#include "platform/movie/BigEndian.h"

#include "TestEnvironment.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// Movie files at the byte level for the atom tests. The seeds are the movie fuzzer's hand-built
// corpus: ftyp, moov and mdat with three 32-byte chunks, each filled with its own byte value
// (0x10 + chunk), in the orders and with the odd corners their names say.
namespace movie_bytes {

inline std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

inline std::vector<std::uint8_t> seed(const std::string& name) {
    return bytesOf(readFile(std::string(MOVIE_CORPUS) + "/" + name));
}

inline std::string stringOf(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

inline std::vector<std::uint8_t> header(std::uint32_t size, const char (&type)[5]) {
    std::vector<std::uint8_t> out;
    BigEndian::append32(out, size);
    BigEndian::append32(out, makeFourCC(type));
    return out;
}

// Overwrites 32 bits of the first atom of the type, counted from its type (0) or payload (4).
inline void put32(std::vector<std::uint8_t>& bytes, const char* type, std::size_t at,
                  std::uint32_t value) {
    auto found = std::search(bytes.begin(), bytes.end(), type, type + 4);
    BigEndian::write32(&*found + at, value);
}

inline Atom nest(FourCC type, std::vector<Atom> children) {
    Atom atom = Atom::container(type);
    atom.children() = std::move(children);
    return atom;
}

// A QuickTime text item: one (language, text) entry after another.
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

} // namespace movie_bytes
