#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A four-character atom type, its four bytes read big-endian ('moov', or 0xA9 'A' 'R' 'T').
using FourCC = std::uint32_t;

constexpr FourCC makeFourCC(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
    return (FourCC{a} << 24) | (FourCC{b} << 16) | (FourCC{c} << 8) | FourCC{d};
}

constexpr FourCC makeFourCC(const char (&text)[5]) {
    return makeFourCC(static_cast<unsigned char>(text[0]), static_cast<unsigned char>(text[1]),
                      static_cast<unsigned char>(text[2]), static_cast<unsigned char>(text[3]));
}

// One QuickTime / ISO-BMFF atom of a movie atom's tree. Containers we need to walk (the movie's
// tracks down to their sample tables, user data, metadata lists) are parsed into children; every
// other atom keeps its payload untouched, so writing the tree back reproduces what it did not
// change.
class Atom {
public:
    // Containers nested deeper than this are refused: no real movie comes close.
    static constexpr int maximumDepth = 24;

    Atom() = default;
    Atom(FourCC type, std::vector<std::uint8_t> payload);
    static Atom container(FourCC type);

    // Parses one whole atom, header included, that fills bytes exactly. Nothing when the sizes do
    // not add up inside the structural containers. Damage inside user data keeps that atom whole.
    static std::optional<Atom> parse(std::span<const std::uint8_t> bytes, FourCC parentType = 0,
                                     int depth = 0);

    FourCC type() const { return kind; }
    bool isContainer() const { return containerAtom; }
    // A leaf's payload, or the bytes a container holds before its children (a full box's version
    // and flags).
    const std::vector<std::uint8_t>& payload() const { return data; }
    std::vector<std::uint8_t>& payload() { return data; }
    const std::vector<Atom>& children() const { return items; }
    std::vector<Atom>& children() { return items; }

    std::uint64_t size() const;
    std::uint32_t headerSize() const;
    void appendTo(std::vector<std::uint8_t>& out) const;
    std::vector<std::uint8_t> bytes() const;

    Atom* child(FourCC type);
    const Atom* child(FourCC type) const;
    // The first descendant along the path of types.
    Atom* find(std::initializer_list<FourCC> path);
    const Atom* find(std::initializer_list<FourCC> path) const;
    // Every descendant (this atom included) of the given type, in file order.
    void collect(FourCC type, std::vector<Atom*>& found);
    void removeChildren(FourCC type);

    static std::string typeName(FourCC type);

private:
    enum class Strictness { structural, lenient, none };
    static Strictness containerKind(FourCC type, FourCC parentType);
    static std::optional<std::vector<Atom>> parseChildren(std::span<const std::uint8_t> body,
                                                          FourCC parentType, int depth,
                                                          std::vector<std::uint8_t>& trailing);
    static std::size_t prefixLength(FourCC type, std::span<const std::uint8_t> body);

    FourCC kind = 0;
    bool containerAtom = false;
    bool wideHeader = false;
    std::vector<std::uint8_t> data;
    std::vector<Atom> items;
    std::vector<std::uint8_t> tail;
};
