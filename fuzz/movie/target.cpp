// Fuzzes the atom reader and writer: any bytes as a movie file, then an annotation written into
// it. What is written must parse again, read back, and keep every chunk of media data where its
// (possibly moved) chunk offset points.
#include "platform/movie/Atom.h"
#include "platform/movie/ByteSource.h"
#include "platform/movie/MovieFile.h"
#include "platform/movie/MovieWritePlan.h"
#include "platform/movie/UserData.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr FourCC artist = makeFourCC(0xA9, 'A', 'R', 'T');
constexpr FourCC annotationTypes[] = {
    makeFourCC(0xA9, 'a', 'l', 'b'), makeFourCC(0xA9, 'a', 'u', 't'),
    makeFourCC(0xA9, 'c', 'm', 't'), makeFourCC(0xA9, 'd', 'e', 's'), artist};

void check(bool condition) {
    if (!condition)
        std::abort();
}

std::vector<std::vector<std::uint64_t>> allOffsets(const Atom& movie) {
    std::vector<std::vector<std::uint64_t>> all;
    for (const Atom* table : MovieFile::chunkOffsetTables(movie)) {
        std::vector<std::uint64_t> offsets;
        MovieFile::readChunkOffsets(*table, offsets);
        all.push_back(offsets);
    }
    return all;
}

// Bytes at a chunk offset that lie outside the rewritten region must survive, moved or not.
void checkMediaKept(const std::vector<std::uint8_t>& before, const std::vector<std::uint8_t>& after,
                    std::uint64_t changedFrom, std::uint64_t changedTo,
                    const std::vector<std::vector<std::uint64_t>>& oldOffsets,
                    const std::vector<std::vector<std::uint64_t>>& newOffsets) {
    check(oldOffsets.size() == newOffsets.size());
    for (std::size_t t = 0; t < oldOffsets.size(); ++t) {
        check(oldOffsets[t].size() == newOffsets[t].size());
        for (std::size_t i = 0; i < oldOffsets[t].size(); ++i) {
            std::uint64_t from = oldOffsets[t][i];
            std::uint64_t to = newOffsets[t][i];
            if (from >= changedFrom && from < changedTo)
                continue;
            std::uint64_t limit = from < changedFrom ? changedFrom : before.size();
            std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(8, limit - from));
            check(to + length <= after.size());
            check(std::memcmp(before.data() + from, after.data() + to, length) == 0);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> before(data, data + size);
    Atom::parse(before, 0, 0);
    ByteSource source(before);
    MovieFile::looksLikeMovie(source);
    auto file = MovieFile::parse(source);
    if (!file)
        return 0;

    UserData userData(file->movieAtom());
    for (FourCC type : annotationTypes)
        userData.text(type, UserData::Language{0, UserData::packLanguage("eng")});
    auto oldOffsets = allOffsets(file->movieAtom());
    bool changed = userData.setText(artist, "Fuzzed Artist", {});

    auto plan = MovieWritePlan::make(*file, file->movieAtom());
    if (!plan)
        return 0;
    std::vector<std::uint8_t> after;
    check(plan->applyInMemory(source, after));
    auto written = MovieFile::parse(ByteSource(after));
    check(written.has_value());
    if (changed)
        check(UserData(written->movieAtom()).text(artist, {}) == "Fuzzed Artist");

    const TopLevelAtom& old = file->movieAtomPlace();
    std::uint64_t changedFrom = old.offset;
    std::uint64_t changedTo = old.offset + old.size;
    for (const MovieWritePlan::Write& write : plan->inPlaceWrites()) {
        changedFrom = std::min(changedFrom, write.offset);
        changedTo = std::max<std::uint64_t>(changedTo, write.offset + write.bytes.size());
    }
    checkMediaKept(before, after, changedFrom, changedTo, oldOffsets,
                   allOffsets(written->movieAtom()));
    return 0;
}
