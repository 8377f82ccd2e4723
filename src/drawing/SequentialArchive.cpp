#include "drawing/SequentialArchive.h"

void SequentialArchive::encodeFloat(float value) {
    floats.push_back(value);
}

float SequentialArchive::decodeFloat() {
    if (nextFloat >= floats.size()) {
        throw InvalidUnarchiveOperation("SequentialArchive: no more values to decode");
    }
    return floats[nextFloat++];
}

void SequentialArchive::encodeInt(std::int32_t, const std::string& forKey) {
    throw InvalidArchiveOperation("SequentialArchive: no keyed coding (key \"" + forKey + "\")");
}

std::int32_t SequentialArchive::decodeIntForKey(const std::string& key) {
    throw InvalidArchiveOperation("SequentialArchive: no keyed coding (key \"" + key + "\")");
}
