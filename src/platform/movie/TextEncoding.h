#pragma once

#include <string>

// Text as movies carry it: UTF-8 nowadays, UTF-16 with a byte-order mark, and Mac OS Roman in
// items that older QuickTime versions wrote with a Macintosh language code.
class TextEncoding {
public:
    static bool isValidUTF8(const std::string& bytes);
    // Invalid sequences become U+FFFD.
    static std::string validUTF8(const std::string& bytes);
    static std::string fromMacRoman(const std::string& bytes);
    // UTF-16 that starts with a byte-order mark; an odd last byte is dropped.
    static std::string fromUTF16(const std::string& bytes);
    static bool hasUTF16ByteOrderMark(const std::string& bytes);

private:
    static void appendUTF8(std::string& out, char32_t codePoint);
    // Length of the valid UTF-8 sequence at index, or 0.
    static std::size_t sequenceLength(const std::string& bytes, std::size_t index);
};
