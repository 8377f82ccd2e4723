#include "store/PercentEscapes.h"

#include "platform/movie/TextEncoding.h"

#include <cstring>
#include <glib.h>
#include <memory>

namespace {

bool isAlphanumeric(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

void appendEscaped(std::string& out, const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    for (unsigned char byte : bytes) {
        out += '%';
        out += digits[byte >> 4];
        out += digits[byte & 0x0F];
    }
}

// The character's bytes in Mac OS Roman, or its own UTF-8 bytes when that cannot hold it.
std::string macRomanBytes(const std::string& character) {
    std::unique_ptr<char, decltype(&g_free)> converted(
        g_convert(character.data(), static_cast<gssize>(character.size()), "MACINTOSH", "UTF-8",
                  nullptr, nullptr, nullptr),
        g_free);
    return converted ? std::string(converted.get()) : character;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string PercentEscapes::addingURLEscapes(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (isAlphanumeric(c) || (c != 0 && c < 0x80 && std::strchr("!$&'()*+,-./:;=?@_~", c))) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const char* start = text.c_str() + i;
        const char* next = g_utf8_find_next_char(start, text.c_str() + text.size());
        std::size_t length = next ? static_cast<std::size_t>(next - start) : text.size() - i;
        appendEscaped(out, macRomanBytes(text.substr(i, length)));
        i += length;
    }
    return out;
}

std::string PercentEscapes::escapingFormValue(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (isAlphanumeric(c) || (c < 0x80 && c != 0 && std::strchr("!$'()*,-./:;@_~", c)))
            out += static_cast<char>(c);
        else
            appendEscaped(out, std::string(1, static_cast<char>(c)));
    }
    return out;
}

std::optional<std::string> PercentEscapes::replacingEscapes(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        int high = hexValue(text[i + 1]);
        int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return TextEncoding::fromMacRoman(bytes);
}
