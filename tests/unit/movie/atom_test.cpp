#include "MovieMedia.h"
#include "SyntheticMovie.h"

#include "platform/movie/Atom.h"
#include "platform/movie/ByteSource.h"
#include "platform/movie/MovieFile.h"

#include <gtest/gtest.h>

using namespace synthetic;

namespace {

std::vector<std::uint8_t> header(std::uint32_t size, const char (&type)[5]) {
    std::vector<std::uint8_t> out;
    BigEndian::append32(out, size);
    BigEndian::append32(out, makeFourCC(type));
    return out;
}

std::optional<MovieFile> parseBytes(const std::vector<std::uint8_t>& bytes) {
    return MovieFile::parse(ByteSource(bytes));
}

} // namespace

TEST(AtomTest, WritesBackAnEncodersMovieAtomByteForByte) {
    std::string path = MovieMedia::lesson({.seconds = 0.5, .metadata = {{"artist", "Ann"}}});
    std::string contents = MovieMedia::readFile(path);
    std::vector<std::uint8_t> bytes(contents.begin(), contents.end());
    auto file = parseBytes(bytes);
    ASSERT_TRUE(file);
    const TopLevelAtom& place = file->movieAtomPlace();
    std::vector<std::uint8_t> original(bytes.begin() + static_cast<long>(place.offset),
                                       bytes.begin() +
                                           static_cast<long>(place.offset + place.size));
    EXPECT_EQ(file->movieAtom().bytes(), original);
    EXPECT_NE(file->movieAtom().find({makeFourCC("trak"), makeFourCC("mdia"), makeFourCC("minf"),
                                      makeFourCC("stbl"), makeFourCC("stco")}),
              nullptr);
}

TEST(AtomTest, ReadsSixtyFourBitAndToTheEndSizesAndKeepsAUserDataTerminator) {
    // udta holding a 64-bit-sized item and QuickTime's closing zero word.
    std::vector<std::uint8_t> udta = header(8 + 20 + 4, "udta");
    BigEndian::append32(udta, 1);
    BigEndian::append32(udta, makeFourCC(0xA9, 'n', 'a', 'm'));
    BigEndian::append64(udta, 20);
    udta.insert(udta.end(), {'a', 'b', 'c', 'd'});
    udta.insert(udta.end(), 4, 0);
    auto parsed = Atom::parse(udta);
    ASSERT_TRUE(parsed);
    ASSERT_TRUE(parsed->isContainer());
    ASSERT_EQ(parsed->children().size(), 1u);
    EXPECT_EQ(stringOf(parsed->children()[0].payload()), "abcd");
    EXPECT_EQ(parsed->children()[0].headerSize(), 16u);
    EXPECT_EQ(parsed->bytes(), udta);

    // A size of 0 runs to the end of what holds it.
    std::vector<std::uint8_t> open = header(0, "free");
    open.insert(open.end(), {1, 2, 3});
    auto toTheEnd = Atom::parse(open);
    ASSERT_TRUE(toTheEnd);
    EXPECT_EQ(toTheEnd->payload().size(), 3u);
}

TEST(AtomTest, RefusesSizesThatDoNotFitAndDeepNestingButKeepsDamagedUserDataWhole) {
    auto moovWith = [](std::vector<std::uint8_t> child) {
        std::vector<std::uint8_t> moov =
            header(static_cast<std::uint32_t>(8 + child.size()), "moov");
        moov.insert(moov.end(), child.begin(), child.end());
        return moov;
    };
    std::vector<std::uint8_t> pastParent = header(64, "trak");
    pastParent.resize(16, 0);
    std::vector<std::uint8_t> wideTooSmall = header(1, "trak");
    BigEndian::append64(wideTooSmall, 12);
    std::vector<std::uint8_t> huge = header(1, "trak");
    BigEndian::append64(huge, ~std::uint64_t{0});
    for (const auto& child : {pastParent, header(4, "trak"), wideTooSmall, huge})
        EXPECT_FALSE(Atom::parse(moovWith(child)));
    Atom deep = Atom::container(makeFourCC("trak"));
    for (int i = 0; i < Atom::maximumDepth + 2; ++i)
        deep = nest(makeFourCC("trak"), {deep});
    EXPECT_FALSE(Atom::parse(deep.bytes()));

    std::vector<std::uint8_t> damagedItem = header(40, "\xA9"
                                                       "ART");
    damagedItem.resize(12, 'x');
    std::vector<std::uint8_t> bytes = nest(makeFourCC("moov"), {movieHeader(600, 0)}).bytes();
    std::vector<std::uint8_t> udta = header(8 + 12, "udta");
    udta.insert(udta.end(), damagedItem.begin(), damagedItem.end());
    bytes.insert(bytes.end(), udta.begin(), udta.end());
    BigEndian::write32(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    auto parsed = Atom::parse(bytes);
    ASSERT_TRUE(parsed);
    ASSERT_TRUE(parsed->child(makeFourCC("udta")));
    EXPECT_FALSE(parsed->child(makeFourCC("udta"))->isContainer());
    EXPECT_EQ(parsed->bytes(), bytes);
}

TEST(MovieFileTest, ReadsTimeScaleDurationPosterAndNaturalSize) {
    File made = movie(false);
    auto file = parseBytes(made.bytes);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->timeScale(), 600u);
    EXPECT_EQ(file->duration(), 1200u);
    EXPECT_DOUBLE_EQ(file->naturalWidth(), 320);
    EXPECT_DOUBLE_EQ(file->naturalHeight(), 240);
    EXPECT_EQ(file->topLevelAtoms().size(), 3u);
    EXPECT_EQ(file->movieAtomPlace().type, makeFourCC("moov"));

    // Version 1 headers carry 64-bit times.
    std::vector<std::uint8_t> v1(112, 0);
    v1[0] = 1;
    BigEndian::write32(v1.data() + 20, 90000);
    BigEndian::write64(v1.data() + 24, 900000ull * 100);
    BigEndian::write32(v1.data() + 92, 45000);
    Atom moov = nest(makeFourCC("moov"), {Atom(makeFourCC("mvhd"), v1), track(chunkOffsets({}))});
    auto wide = parseBytes(moov.bytes());
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->timeScale(), 90000u);
    EXPECT_EQ(wide->duration(), 90000000ull);
    EXPECT_EQ(wide->posterTime(), 45000u);
}

TEST(MovieFileTest, RefusesTruncatedDamagedAndForeignFiles) {
    File made = movie(true);
    for (std::size_t cut : {made.bytes.size() - 1, made.bytes.size() / 2, std::size_t{20},
                            std::size_t{7}, std::size_t{0}}) {
        std::vector<std::uint8_t> truncated(made.bytes.begin(),
                                            made.bytes.begin() + static_cast<long>(cut));
        EXPECT_FALSE(parseBytes(truncated)) << "cut at " << cut;
    }

    EXPECT_FALSE(parseBytes(bytesOf("This is a plain text file, nothing like a movie at all.\n")));
    EXPECT_FALSE(parseBytes(header(8, "ftyp"))) << "no movie atom";
    EXPECT_FALSE(parseBytes(nest(makeFourCC("moov"), {movieHeader(600, 10)}).bytes()))
        << "no track";
    EXPECT_FALSE(
        parseBytes(nest(makeFourCC("moov"), {movieHeader(0, 10), track(chunkOffsets({}))}).bytes()))
        << "time scale 0";

    Atom pastEnd = nest(makeFourCC("moov"), {movieHeader(600, 10), track(chunkOffsets({4096}))});
    EXPECT_FALSE(parseBytes(pastEnd.bytes())) << "chunk beyond the end of the file";

    Atom hugeCount = nest(makeFourCC("moov"),
                          {movieHeader(600, 10), track(chunkOffsets({8}, false, 0x40000000))});
    EXPECT_FALSE(parseBytes(hugeCount.bytes())) << "entry count larger than its table";

    std::vector<std::uint8_t> unprintable = made.bytes;
    unprintable.insert(unprintable.end(), {0, 0, 0, 8, 0x01, 0x02, 0x03, 0x04});
    EXPECT_FALSE(parseBytes(unprintable));
}

TEST(MovieFileTest, AcceptsALastAtomThatRunsToTheEndAndTracksWithForeignMedia) {
    File made = movie(true);
    std::size_t mdatAt = made.bytes.size() - (4 * 64 + 8);
    BigEndian::write32(made.bytes.data() + mdatAt, 0);
    auto file = parseBytes(made.bytes);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->topLevelAtoms().back().size, 4u * 64 + 8);

    // Offsets of media kept in another file are not this file's business.
    Atom external =
        nest(makeFourCC("moov"), {movieHeader(600, 10), track(chunkOffsets({1u << 30}), false)});
    auto foreign = parseBytes(external.bytes());
    ASSERT_TRUE(foreign);
    EXPECT_TRUE(MovieFile::chunkOffsetTables(foreign->movieAtom()).empty());

    EXPECT_TRUE(MovieFile::looksLikeMovie(ByteSource(made.bytes)));
    std::vector<std::uint8_t> text = bytesOf("%PDF-1.4 not a movie");
    EXPECT_FALSE(MovieFile::looksLikeMovie(ByteSource(text)));
}
