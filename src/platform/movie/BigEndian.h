#pragma once

#include <cstdint>
#include <vector>

// Movie files store every number big-endian.
namespace BigEndian {

inline std::uint16_t read16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

inline std::uint32_t read32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

inline std::uint64_t read64(const std::uint8_t* p) {
    return (std::uint64_t{read32(p)} << 32) | read32(p + 4);
}

inline void write16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
}

inline void write32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

inline void write64(std::uint8_t* p, std::uint64_t value) {
    write32(p, static_cast<std::uint32_t>(value >> 32));
    write32(p + 4, static_cast<std::uint32_t>(value));
}

inline void append16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

inline void append32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline void append64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    append32(out, static_cast<std::uint32_t>(value >> 32));
    append32(out, static_cast<std::uint32_t>(value));
}

} // namespace BigEndian
