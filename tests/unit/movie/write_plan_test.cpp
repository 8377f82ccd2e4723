#include "SyntheticMovie.h"

#include "platform/movie/ByteSource.h"
#include "platform/movie/MovieFile.h"
#include "platform/movie/MovieWritePlan.h"
#include "platform/movie/UserData.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace synthetic;

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

std::vector<std::uint64_t> offsetsOf(const MovieFile& file) {
    std::vector<std::uint64_t> all;
    for (const Atom* table : MovieFile::chunkOffsetTables(file.movieAtom())) {
        std::vector<std::uint64_t> offsets;
        MovieFile::readChunkOffsets(*table, offsets);
        all.insert(all.end(), offsets.begin(), offsets.end());
    }
    return all;
}

// Every chunk still starts with its own byte value, and the artist reads back.
void expectIntactMovie(const std::vector<std::uint8_t>& bytes, const std::string& text) {
    auto file = MovieFile::parse(ByteSource(bytes));
    ASSERT_TRUE(file);
    EXPECT_EQ(UserData(file->movieAtom()).text(artist, {}), text);
    std::vector<std::uint64_t> offsets = offsetsOf(*file);
    ASSERT_EQ(offsets.size(), 4u);
    for (std::size_t c = 0; c < offsets.size(); ++c)
        EXPECT_EQ(bytes[offsets[c]], 0x10 + c) << "chunk " << c;
}

} // namespace

// Ahead of the data the offsets move by the growth, keeping bytes after a table's entries;
// behind the data they stay.
TEST(MovieWritePlanTest, RewritesAMovieAtomThatDoesNotFitAndMovesOnlyTheOffsetsBehindIt) {
    for (auto [movieFirst, slack] : {std::pair{true, 0}, std::pair{true, 4}, std::pair{false, 0}}) {
        File made = movie(movieFirst, 4, 64, {}, false, 0, slack);
        auto before = offsetsOf(*MovieFile::parse(ByteSource(made.bytes)));
        auto written = withArtist(made.bytes, "A long artist name that cannot fit in place");
        ASSERT_TRUE(written);
        EXPECT_FALSE(written->plan.inPlace());
        expectIntactMovie(written->bytes, "A long artist name that cannot fit in place");
        auto after = offsetsOf(*MovieFile::parse(ByteSource(written->bytes)));
        EXPECT_EQ(after == before, !movieFirst);
    }
}

TEST(MovieWritePlanTest, RefusesMoviesWhoseOtherOffsetsWouldMove) {
    File fragmented = movie(true);
    Atom(makeFourCC("moof"), std::vector<std::uint8_t>(16, 0)).appendTo(fragmented.bytes);
    EXPECT_FALSE(withArtist(fragmented.bytes, "Moves the fragments"));

    File auxiliary = movie(true, 4, 64, {track(Atom(makeFourCC("saio"), {}))});
    EXPECT_FALSE(withArtist(auxiliary.bytes, "Moves the auxiliary information"));

    // A chunk offset that points into the movie atom itself makes no sense to move.
    Atom bogus = nest(makeFourCC("moov"), {movieHeader(600, 10), track(chunkOffsets({12}))});
    std::vector<std::uint8_t> bytes = bogus.bytes();
    Atom(makeFourCC("mdat"), std::vector<std::uint8_t>(8, 0)).appendTo(bytes);
    auto inside = withArtist(bytes, "Into the movie atom");
    EXPECT_FALSE(inside);
}

TEST(MovieWritePlanTest, WidensThirtyTwoBitOffsetsThatWouldPassFourGigabytes) {
    // A sparse file: the chunk sits just under 4 GiB, so any growth of the movie atom before it
    // pushes its offset past what 32 bits hold.
    std::string path = (std::filesystem::temp_directory_path() / "fretlark-sparse-XXXXXX").string();
    int fd = mkstemp(path.data());
    ASSERT_GE(fd, 0);
    const std::uint64_t chunkAt = 0xFFFFFFF0u;
    Atom moov = nest(makeFourCC("moov"), {movieHeader(600, 10), track(chunkOffsets({chunkAt}))});
    std::vector<std::uint8_t> head = moov.bytes();
    std::uint64_t mdatSize = chunkAt + 16 - head.size();
    BigEndian::append32(head, 1);
    BigEndian::append32(head, makeFourCC("mdat"));
    BigEndian::append64(head, mdatSize);
    ASSERT_EQ(::write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(head.size() - 16 + mdatSize)), 0);
    ::close(fd);

    auto source = ByteSource::openFile(path);
    ASSERT_TRUE(source);
    auto file = MovieFile::parse(*source);
    ASSERT_TRUE(file);
    UserData(file->movieAtom()).setText(artist, "Grows", {});
    auto plan = MovieWritePlan::make(*file, file->movieAtom());
    std::remove(path.c_str());
    ASSERT_TRUE(plan);
    ASSERT_FALSE(plan->inPlace());
    const std::vector<std::uint8_t>& newMovie = plan->pieces().front().bytes;
    auto rewritten = Atom::parse(newMovie);
    ASSERT_TRUE(rewritten);
    std::vector<Atom*> tables = MovieFile::chunkOffsetTables(*rewritten);
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_EQ(tables[0]->type(), makeFourCC("co64"));
    std::vector<std::uint64_t> offsets;
    ASSERT_TRUE(MovieFile::readChunkOffsets(*tables[0], offsets));
    EXPECT_EQ(offsets, std::vector<std::uint64_t>{chunkAt + (newMovie.size() - moov.size())});
}
