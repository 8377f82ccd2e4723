#include "MovieBytes.h"

#include "platform/movie/ByteSource.h"
#include "platform/movie/MovieFile.h"
#include "platform/movie/MovieWritePlan.h"
#include "platform/movie/UserData.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace movie_bytes;

namespace {

constexpr FourCC artist = makeFourCC(0xA9, 'A', 'R', 'T');

struct Written {
    MovieWritePlan plan;
    std::vector<std::uint8_t> bytes;
};

// Sets the artist on a parsed copy of the file and plans writing it.
std::optional<Written> withArtist(const std::vector<std::uint8_t>& original,
                                  const std::string& text) {
    ByteSource source(original);
    auto file = MovieFile::parse(source);
    if (!file)
        return std::nullopt;
    UserData(file->movieAtom()).setText(artist, text, {});
    auto plan = MovieWritePlan::make(*file, file->movieAtom());
    if (!plan)
        return std::nullopt;
    Written written{*plan, {}};
    if (!plan->applyInMemory(source, written.bytes))
        return std::nullopt;
    return written;
}

std::vector<std::uint64_t> offsetsOf(const Atom& movie) {
    std::vector<std::uint64_t> all;
    for (const Atom* table : MovieFile::chunkOffsetTables(movie)) {
        std::vector<std::uint64_t> offsets;
        MovieFile::readChunkOffsets(*table, offsets);
        all.insert(all.end(), offsets.begin(), offsets.end());
    }
    return all;
}

std::vector<std::uint64_t> offsetsOf(const std::vector<std::uint8_t>& bytes) {
    return offsetsOf(MovieFile::parse(ByteSource(bytes))->movieAtom());
}

// Checks that every chunk still starts with its own byte value and that the artist reads back;
// answers whether the movie was written in place.
bool writtenInPlace(const std::optional<Written>& written, const std::string& text) {
    auto file = written ? MovieFile::parse(ByteSource(written->bytes)) : std::nullopt;
    EXPECT_TRUE(file);
    if (!file)
        return false;
    EXPECT_EQ(UserData(file->movieAtom()).text(artist, {}), text);
    std::vector<std::uint64_t> offsets = offsetsOf(file->movieAtom());
    EXPECT_EQ(offsets.size(), 3u);
    for (std::size_t c = 0; c < offsets.size(); ++c)
        EXPECT_EQ(written->bytes.at(offsets[c]), 0x10 + c) << "chunk " << c;
    return written->plan.inPlace();
}

} // namespace

// Ahead of the data the offsets move by the growth, keeping bytes after a table's entries;
// behind the data they stay.
TEST(MovieWritePlanTest, RewritesAMovieAtomThatDoesNotFitAndMovesOnlyTheOffsetsBehindIt) {
    for (auto [name, movieFirst] :
         {std::pair{"table-slack.mov", true}, std::pair{"size-zero-data.mov", true},
          std::pair{"wide-sizes-last.mov", false}}) {
        SCOPED_TRACE(name);
        std::vector<std::uint8_t> original = seed(name);
        auto written = withArtist(original, "A long artist name that cannot fit in place");
        EXPECT_FALSE(writtenInPlace(written, "A long artist name that cannot fit in place"));
        ASSERT_TRUE(written);
        EXPECT_EQ(offsetsOf(written->bytes) == offsetsOf(original), !movieFirst);
    }
}

TEST(MovieWritePlanTest, RefusesMoviesWhoseOtherOffsetsWouldMove) {
    EXPECT_FALSE(withArtist(seed("fragment.mp4"), "Moves the fragments"));
    std::vector<std::uint8_t> auxiliary = seed("table-slack.mov");
    put32(auxiliary, "tkhd", 0, makeFourCC("saio"));
    EXPECT_FALSE(withArtist(auxiliary, "Moves the auxiliary information"));
    // A chunk offset that points into the movie atom itself makes no sense to move.
    std::vector<std::uint8_t> inside = seed("table-slack.mov");
    put32(inside, "stco", 12, 30);
    EXPECT_FALSE(withArtist(inside, "Into the movie atom"));
}

TEST(MovieWritePlanTest, WidensThirtyTwoBitOffsetsThatWouldPassFourGigabytes) {
    // A sparse file whose last chunk sits just under 4 GiB, so any growth of the movie atom before
    // it pushes its offset past what 32 bits hold.
    std::vector<std::uint8_t> head = seed("languages-first.mov");
    const TopLevelAtom place = MovieFile::parse(ByteSource(head))->movieAtomPlace();
    head.resize(place.offset + place.size);
    const std::uint64_t lastChunk = 0xFFFFFFF0u;
    for (std::uint32_t c = 0; c < 3; ++c)
        put32(head, "stco", 12 + 4 * c, static_cast<std::uint32_t>(lastChunk - 64 + 32 * c));
    std::uint64_t mdatSize = lastChunk + 32 - head.size();
    BigEndian::append32(head, 1);
    BigEndian::append32(head, makeFourCC("mdat"));
    BigEndian::append64(head, mdatSize);
    std::string path = (std::filesystem::temp_directory_path() / "fretlark-sparse-XXXXXX").string();
    int fd = mkstemp(path.data());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(lastChunk + 32)), 0);
    ::close(fd);

    auto source = ByteSource::openFile(path);
    ASSERT_TRUE(source);
    auto file = MovieFile::parse(*source);
    ASSERT_TRUE(file);
    std::vector<std::uint64_t> before = offsetsOf(file->movieAtom());
    UserData(file->movieAtom()).setText(artist, std::string(40, 'g'), {});
    auto plan = MovieWritePlan::make(*file, file->movieAtom());
    std::remove(path.c_str());
    ASSERT_TRUE(plan);
    ASSERT_FALSE(plan->inPlace());
    // The ftyp is copied from the old file; the new movie atom is the piece of bytes of its own.
    const std::vector<std::uint8_t>& newMovie =
        std::ranges::find_if(plan->pieces(), [](const auto& p) { return !p.fromSource(); })->bytes;
    auto rewritten = Atom::parse(newMovie);
    ASSERT_TRUE(rewritten);
    std::vector<Atom*> tables = MovieFile::chunkOffsetTables(*rewritten);
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_EQ(tables[0]->type(), makeFourCC("co64"));
    for (std::uint64_t& offset : before)
        offset += newMovie.size() - place.size;
    EXPECT_EQ(offsetsOf(*rewritten), before);
}
