#include "drawing/KeyedArchive.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <glib.h>
#include <sstream>
#include <system_error>

namespace {

constexpr std::string_view header = "fretlark-keyed-archive 1";

bool isKeyCharacter(char c) {
    return c > ' ' && c != 0x7f;
}

bool isValidKey(std::string_view key) {
    return !key.empty() && std::all_of(key.begin(), key.end(), isKeyCharacter);
}

template <typename Number> bool parseNumber(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

template <typename Number> std::string formatNumber(Number value) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace

std::optional<KeyedArchive> KeyedArchive::fromData(std::string_view data) {
    std::size_t lineEnd = data.find('\n');
    if (data.substr(0, lineEnd) != header) {
        return std::nullopt;
    }
    KeyedArchive archive;
    while (lineEnd != std::string_view::npos) {
        data.remove_prefix(lineEnd + 1);
        lineEnd = data.find('\n');
        std::string_view line = data.substr(0, lineEnd);
        if (!line.empty() && !archive.parseLine(line)) {
            return std::nullopt;
        }
    }
    return archive;
}

// A line is "i KEY INTEGER" or "f FLOAT".
bool KeyedArchive::parseLine(std::string_view line) {
    if (line.size() < 3 || line[1] != ' ') {
        return false;
    }
    std::string_view rest = line.substr(2);
    if (line[0] == 'f') {
        float value = 0;
        if (!parseNumber(rest, value)) {
            return false;
        }
        floats.push_back(value);
        return true;
    }
    std::size_t space = rest.find(' ');
    if (line[0] != 'i' || space == std::string_view::npos) {
        return false;
    }
    std::string key(rest.substr(0, space));
    std::int32_t value = 0;
    if (!isValidKey(key) || !parseNumber(rest.substr(space + 1), value)) {
        return false;
    }
    return integers.emplace(std::move(key), value).second;
}

std::optional<KeyedArchive> KeyedArchive::fromFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return fromData(contents.str());
}

std::string KeyedArchive::data() const {
    std::string text(header);
    text += '\n';
    for (const auto& [key, value] : integers) {
        text += "i " + key + ' ' + formatNumber(value) + '\n';
    }
    for (float value : floats) {
        text += "f " + formatNumber(value) + '\n';
    }
    return text;
}

bool KeyedArchive::writeToFile(const std::string& path) const {
    std::string text = data();
    // g_file_set_contents writes a temporary file, syncs it and renames it over the old one.
    return g_file_set_contents(path.c_str(), text.data(), static_cast<gssize>(text.size()),
                               nullptr);
}

void KeyedArchive::encodeFloat(float value) {
    floats.push_back(value);
}

float KeyedArchive::decodeFloat() {
    if (nextFloat >= floats.size()) {
        throw InvalidUnarchiveOperation("KeyedArchive: no more values to decode");
    }
    return floats[nextFloat++];
}

void KeyedArchive::encodeInt(std::int32_t value, const std::string& forKey) {
    if (!isValidKey(forKey)) {
        throw std::invalid_argument("KeyedArchive: invalid key \"" + forKey + "\"");
    }
    integers[forKey] = value;
}

std::int32_t KeyedArchive::decodeIntForKey(const std::string& key) {
    auto found = integers.find(key);
    return found == integers.end() ? 0 : found->second;
}
