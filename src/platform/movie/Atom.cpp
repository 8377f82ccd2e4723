#include "platform/movie/Atom.h"

#include "platform/movie/BigEndian.h"

#include <algorithm>

namespace {

constexpr std::uint64_t largestCompactSize = 0xFFFFFFFFu;

bool allZero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

} // namespace

Atom::Atom(FourCC type, std::vector<std::uint8_t> payload) : kind(type), data(std::move(payload)) {}

Atom Atom::container(FourCC type) {
    Atom atom;
    atom.kind = type;
    atom.containerAtom = true;
    return atom;
}

Atom::Strictness Atom::containerKind(FourCC type, FourCC parentType) {
    static constexpr FourCC structural[] = {
        makeFourCC("moov"), makeFourCC("trak"), makeFourCC("mdia"), makeFourCC("minf"),
        makeFourCC("stbl"), makeFourCC("dinf"), makeFourCC("edts")};
    static constexpr FourCC lenient[] = {makeFourCC("udta"), makeFourCC("meta"),
                                         makeFourCC("ilst")};
    if (std::find(std::begin(structural), std::end(structural), type) != std::end(structural))
        return Strictness::structural;
    if (parentType == makeFourCC("ilst"))
        return Strictness::lenient;
    if (std::find(std::begin(lenient), std::end(lenient), type) != std::end(lenient))
        return Strictness::lenient;
    return Strictness::none;
}

// QuickTime's 'meta' holds its handler atom straight away; the ISO form is a full box whose
// version and flags come first.
std::size_t Atom::prefixLength(FourCC type, std::span<const std::uint8_t> body) {
    if (type != makeFourCC("meta") || body.size() < 4)
        return 0;
    if (body.size() >= 8 && BigEndian::read32(body.data() + 4) == makeFourCC("hdlr"))
        return 0;
    return 4;
}

std::optional<Atom> Atom::parse(std::span<const std::uint8_t> bytes, FourCC parentType, int depth) {
    if (bytes.size() < 8)
        return std::nullopt;
    std::uint64_t size = BigEndian::read32(bytes.data());
    std::uint32_t header = 8;
    bool wide = false;
    if (size == 1) {
        if (bytes.size() < 16)
            return std::nullopt;
        size = BigEndian::read64(bytes.data() + 8);
        header = 16;
        wide = true;
    } else if (size == 0) {
        size = bytes.size();
    }
    if (size != bytes.size() || size < header)
        return std::nullopt;

    Atom atom;
    atom.kind = BigEndian::read32(bytes.data() + 4);
    atom.wideHeader = wide;
    std::span<const std::uint8_t> body = bytes.subspan(header);
    Strictness strictness = containerKind(atom.kind, parentType);
    if (strictness != Strictness::none && depth < maximumDepth) {
        std::size_t prefix = prefixLength(atom.kind, body);
        auto children = parseChildren(body.subspan(prefix), atom.kind, depth + 1, atom.tail);
        if (children) {
            atom.containerAtom = true;
            atom.data.assign(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(prefix));
            atom.items = std::move(*children);
            return atom;
        }
        atom.tail.clear();
    }
    if (strictness == Strictness::structural)
        return std::nullopt;
    atom.data.assign(body.begin(), body.end());
    return atom;
}

std::optional<std::vector<Atom>> Atom::parseChildren(std::span<const std::uint8_t> body,
                                                     FourCC parentType, int depth,
                                                     std::vector<std::uint8_t>& trailing) {
    std::vector<Atom> children;
    std::size_t position = 0;
    while (position < body.size()) {
        std::span<const std::uint8_t> rest = body.subspan(position);
        // A QuickTime user data list may end in a zero word; keep such leftovers as they are.
        if (rest.size() < 8) {
            trailing.assign(rest.begin(), rest.end());
            break;
        }
        std::uint64_t size = BigEndian::read32(rest.data());
        std::uint64_t header = 8;
        if (size == 1) {
            if (rest.size() < 16)
                return std::nullopt;
            size = BigEndian::read64(rest.data() + 8);
            header = 16;
        } else if (size == 0) {
            if (allZero(rest)) {
                trailing.assign(rest.begin(), rest.end());
                break;
            }
            size = rest.size();
        }
        if (size < header || size > rest.size())
            return std::nullopt;
        auto child = parse(rest.first(static_cast<std::size_t>(size)), parentType, depth);
        if (!child)
            return std::nullopt;
        children.push_back(std::move(*child));
        position += static_cast<std::size_t>(size);
    }
    return children;
}

std::uint64_t Atom::size() const {
    std::uint64_t content = data.size() + tail.size();
    for (const Atom& item : items)
        content += item.size();
    if (wideHeader || content + 8 > largestCompactSize)
        return content + 16;
    return content + 8;
}

std::uint32_t Atom::headerSize() const {
    std::uint64_t total = size();
    return wideHeader || total > largestCompactSize ? 16 : 8;
}

void Atom::appendTo(std::vector<std::uint8_t>& out) const {
    std::uint64_t total = size();
    if (headerSize() == 16) {
        BigEndian::append32(out, 1);
        BigEndian::append32(out, kind);
        BigEndian::append64(out, total);
    } else {
        BigEndian::append32(out, static_cast<std::uint32_t>(total));
        BigEndian::append32(out, kind);
    }
    out.insert(out.end(), data.begin(), data.end());
    for (const Atom& item : items)
        item.appendTo(out);
    out.insert(out.end(), tail.begin(), tail.end());
}

std::vector<std::uint8_t> Atom::bytes() const {
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(size()));
    appendTo(out);
    return out;
}

Atom* Atom::child(FourCC type) {
    auto found = std::find_if(items.begin(), items.end(),
                              [type](const Atom& item) { return item.kind == type; });
    return found == items.end() ? nullptr : &*found;
}

const Atom* Atom::child(FourCC type) const {
    return const_cast<Atom*>(this)->child(type);
}

Atom* Atom::find(std::initializer_list<FourCC> path) {
    Atom* current = this;
    for (FourCC type : path) {
        current = current->child(type);
        if (!current)
            return nullptr;
    }
    return current;
}

const Atom* Atom::find(std::initializer_list<FourCC> path) const {
    return const_cast<Atom*>(this)->find(path);
}

void Atom::collect(FourCC type, std::vector<Atom*>& found) {
    if (kind == type)
        found.push_back(this);
    for (Atom& item : items)
        item.collect(type, found);
}

void Atom::removeChildren(FourCC type) {
    std::erase_if(items, [type](const Atom& item) { return item.kind == type; });
}

std::string Atom::typeName(FourCC type) {
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        auto byte = static_cast<unsigned char>(type >> shift);
        name += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?';
    }
    return name;
}
