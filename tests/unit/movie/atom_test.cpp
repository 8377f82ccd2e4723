#include "MovieBytes.h"

#include "platform/movie/ByteSource.h"
#include "platform/movie/MovieFile.h"

#include <gtest/gtest.h>

using namespace movie_bytes;

namespace {

std::optional<MovieFile> parseBytes(const std::vector<std::uint8_t>& bytes) {
    return MovieFile::parse(ByteSource(bytes));
}

} // namespace

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

    // An encoder's movie atom and one with several languages and a terminator are written back
    // byte for byte.
    for (const char* name : {"ffmpeg-quicktime.mov", "languages-first.mov"}) {
        std::vector<std::uint8_t> bytes = seed(name);
        auto file = parseBytes(bytes);
        ASSERT_TRUE(file) << name;
        const TopLevelAtom& place = file->movieAtomPlace();
        auto from = bytes.begin() + static_cast<long>(place.offset);
        EXPECT_EQ(file->movieAtom().bytes(),
                  std::vector<std::uint8_t>(from, from + static_cast<long>(place.size)))
            << name;
    }
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
    std::vector<std::uint8_t> udta = header(8 + 12, "udta");
    udta.insert(udta.end(), damagedItem.begin(), damagedItem.end());
    std::vector<std::uint8_t> bytes = moovWith(udta);
    auto parsed = Atom::parse(bytes);
    ASSERT_TRUE(parsed);
    ASSERT_TRUE(parsed->child(makeFourCC("udta")));
    EXPECT_FALSE(parsed->child(makeFourCC("udta"))->isContainer());
    EXPECT_EQ(parsed->bytes(), bytes);
}

TEST(MovieFileTest, ReadsTimeScaleDurationPosterAndNaturalSize) {
    auto file = parseBytes(seed("wide-sizes-last.mov"));
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
    Atom moov = nest(makeFourCC("moov"),
                     {Atom(makeFourCC("mvhd"), v1), Atom::container(makeFourCC("trak"))});
    auto wide = parseBytes(moov.bytes());
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->timeScale(), 90000u);
    EXPECT_EQ(wide->duration(), 90000000ull);
    EXPECT_EQ(wide->posterTime(), 45000u);
}

TEST(MovieFileTest, RefusesTruncatedDamagedAndForeignFiles) {
    const std::vector<std::uint8_t> good = seed("languages-first.mov");
    for (std::size_t cut :
         {good.size() - 1, good.size() / 2, std::size_t{20}, std::size_t{7}, std::size_t{0}}) {
        std::vector<std::uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(cut));
        EXPECT_FALSE(parseBytes(truncated)) << "cut at " << cut;
    }

    const struct {
        const char* type;
        std::size_t at;
        std::uint32_t value;
        const char* why;
    } damages[] = {{"trak", 0, makeFourCC("frak"), "no track"},
                   {"mvhd", 16, 0, "time scale 0"},
                   {"stco", 12, 4096, "chunk beyond the end of the file"},
                   {"stco", 8, 0x40000000, "entry count larger than its table"}};
    for (const auto& damage : damages) {
        std::vector<std::uint8_t> bytes = good;
        put32(bytes, damage.type, damage.at, damage.value);
        EXPECT_FALSE(parseBytes(bytes)) << damage.why;
    }
    std::vector<std::uint8_t> unprintable = good;
    unprintable.insert(unprintable.end(), {0, 0, 0, 8, 0x01, 0x02, 0x03, 0x04});
    EXPECT_FALSE(parseBytes(unprintable));
    std::vector<std::uint8_t> text = {'%', 'P', 'D', 'F', '-', '1', '.', '4', ' ', 'x'};
    EXPECT_FALSE(parseBytes(text));
    EXPECT_FALSE(MovieFile::looksLikeMovie(ByteSource(text)));
    EXPECT_TRUE(MovieFile::looksLikeMovie(ByteSource(good)));
}

TEST(MovieFileTest, AcceptsALastAtomThatRunsToTheEndAndTracksWithForeignMedia) {
    auto file = parseBytes(seed("size-zero-data.mov"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->topLevelAtoms().back().size, 3u * 32 + 8);

    // Offsets of media kept in another file are not this file's business.
    std::vector<std::uint8_t> external = seed("external-data.mov");
    put32(external, "stco", 12, 1u << 30);
    auto foreign = parseBytes(external);
    ASSERT_TRUE(foreign);
    EXPECT_TRUE(MovieFile::chunkOffsetTables(foreign->movieAtom()).empty());
}
