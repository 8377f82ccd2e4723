#pragma once

#include "drawing/Coder.h"

#include <cstddef>
#include <vector>

// A coder without keys: values are written and read strictly in sequence. Keyed operations are
// refused.
class SequentialArchive final : public Coder {
public:
    bool allowsKeyedCoding() const override { return false; }
    void encodeFloat(float value) override;
    // Raises InvalidUnarchiveOperation once every float has been read.
    float decodeFloat() override;
    // Both raise InvalidArchiveOperation.
    void encodeInt(std::int32_t value, const std::string& forKey) override;
    std::int32_t decodeIntForKey(const std::string& key) override;

    const std::vector<float>& values() const { return floats; }

private:
    std::vector<float> floats;
    std::size_t nextFloat = 0;
};
