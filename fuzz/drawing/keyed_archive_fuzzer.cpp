// Reads arbitrary bytes as a keyed gradient archive and decodes a gradient from it: a damaged
// archive must be refused, never crash; a gradient that decodes must evaluate and re-archive.
#include "drawing/CTGradient.h"
#include "drawing/KeyedArchive.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto archive =
        KeyedArchive::fromData(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!archive)
        return 0;
    try {
        CTGradient gradient(*archive);
        KeyedArchive again;
        gradient.encodeWithCoder(again);
    } catch (const Coder::InvalidUnarchiveOperation&) {
        return 0;
    }
    return 0;
}
