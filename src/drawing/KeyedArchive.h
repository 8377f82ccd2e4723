#pragma once

#include "drawing/Coder.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A keyed coder that holds its archive in memory: named integers plus the unnamed floats in order.
// Its text form can be written to a file and read back.
class KeyedArchive final : public Coder {
public:
    KeyedArchive() = default;

    // Nothing when the text is not a keyed archive (wrong header, unknown line, bad number,
    // duplicate key).
    static std::optional<KeyedArchive> fromData(std::string_view data);
    // Nothing when the file cannot be read or does not hold a keyed archive.
    static std::optional<KeyedArchive> fromFile(const std::string& path);

    std::string data() const;
    // Writes the text form atomically; answers whether the file was written.
    bool writeToFile(const std::string& path) const;

    bool allowsKeyedCoding() const override { return true; }
    void encodeFloat(float value) override;
    // Raises InvalidUnarchiveOperation once every float has been read.
    float decodeFloat() override;
    // Keys are single words: a key that is empty or holds white space is a programming error.
    void encodeInt(std::int32_t value, const std::string& forKey) override;
    std::int32_t decodeIntForKey(const std::string& key) override;

private:
    bool parseLine(std::string_view line);

    std::map<std::string, std::int32_t> integers;
    std::vector<float> floats;
    std::size_t nextFloat = 0;
};
