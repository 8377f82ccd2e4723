#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// Flat XML property lists: a dictionary whose values are strings or 64-bit integers, which is all
// the download engine keeps on disk. Values of any other type are skipped on reading.
class PropertyList {
public:
    using Value = std::variant<std::string, std::int64_t>;
    using Dictionary = std::map<std::string, Value>;

    // Files larger than this are not property lists of ours.
    static constexpr std::size_t maximumFileSize = 1 << 20;

    static std::string toXML(const Dictionary& dictionary);
    // Nothing unless the text is an XML property list whose root is a dictionary.
    static std::optional<Dictionary> fromXML(std::string_view text);

    static bool writeAtomically(const std::string& path, const Dictionary& dictionary);
    static std::optional<Dictionary> read(const std::string& path);

    static std::optional<std::string> stringValue(const Dictionary& dictionary,
                                                  const std::string& key);
    static std::optional<std::int64_t> integerValue(const Dictionary& dictionary,
                                                    const std::string& key);
};
