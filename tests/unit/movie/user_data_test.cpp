#include "SyntheticMovie.h"

#include "platform/movie/TextEncoding.h"
#include "platform/movie/UserData.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace synthetic;

namespace {

constexpr FourCC artist = makeFourCC(0xA9, 'A', 'R', 'T');
constexpr FourCC comment = makeFourCC(0xA9, 'c', 'm', 't');
constexpr FourCC description = makeFourCC(0xA9, 'd', 'e', 's');
constexpr FourCC album = makeFourCC(0xA9, 'a', 'l', 'b');

const std::uint16_t english = UserData::packLanguage("eng");
const std::uint16_t french = UserData::packLanguage("fra");
const UserData::Language inEnglish{0, english};
const UserData::Language inFrench{1, french};
const UserData::Language inGerman{2, UserData::packLanguage("deu")};

Atom movieWith(std::vector<Atom> userData) {
    return nest(makeFourCC("moov"),
                {movieHeader(600, 0), nest(makeFourCC("udta"), std::move(userData))});
}

} // namespace

TEST(UserDataTest, WritesTheQuickTimeTextLayoutAndReplacesEveryLanguage) {
    Atom moov = movieWith({textItem(artist, {{english, "Ann"}, {french, "Anne"}}),
                           textItem(album, {{english, "one"}}), textItem(album, {{english, "2"}})});
    UserData userData(moov);
    ASSERT_TRUE(userData.setText(artist, "Zoë", inEnglish));
    ASSERT_TRUE(userData.setText(album, "three", inEnglish));
    std::string expected = std::string("\0\4", 2) + static_cast<char>(english >> 8) +
                           static_cast<char>(english & 0xFF) + "Zoë";
    EXPECT_EQ(stringOf(moov.find({makeFourCC("udta"), artist})->payload()), expected);
    EXPECT_EQ(userData.text(artist, inFrench), "Zoë");
    EXPECT_EQ(moov.child(makeFourCC("udta"))->children().size(), 2u) << "one item of each type";

    Atom bare = nest(makeFourCC("moov"), {movieHeader(600, 0)});
    ASSERT_TRUE(UserData(bare).setText(comment, "hello", inEnglish));
    EXPECT_EQ(UserData(bare).text(comment, inEnglish), "hello");
    EXPECT_FALSE(UserData(bare).setText(comment, std::string(70000, 'x'), inEnglish));
    EXPECT_EQ(UserData(bare).text(description, inEnglish), std::nullopt);
}

TEST(UserDataTest, PicksTheUsersLanguageThenANeutralOneThenTheFirst) {
    Atom moov =
        movieWith({textItem(description, {{french, "Basse Avancé"}, {english, "Bass Advanced"}}),
                   textItem(comment, {{french, "Rythme"}, {UserData::undetermined, "Rhythm"}}),
                   textItem(album, {{0, "Blues"}})});
    UserData userData(moov);
    EXPECT_EQ(userData.text(description, inEnglish), "Bass Advanced");
    EXPECT_EQ(userData.text(description, inFrench), "Basse Avancé");
    EXPECT_EQ(userData.text(description, inGerman), "Basse Avancé");
    EXPECT_EQ(userData.text(comment, inGerman), "Rhythm");
    EXPECT_EQ(userData.text(album, inEnglish), "Blues") << "Macintosh code 0 is English";

    std::string saved = std::getenv("LANG") ? std::getenv("LANG") : "";
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    for (auto [lang, iso] : {std::pair{"fr_CA.UTF-8", french}, std::pair{"C", english},
                             std::pair{"xx_YY", UserData::undetermined}}) {
        setenv("LANG", lang, 1);
        EXPECT_EQ(UserData::systemLanguage().iso, iso) << lang;
    }
    setenv("LANG", saved.c_str(), 1);
}

TEST(UserDataTest, ReadsRawTextOldMacintoshTextAndUTF16) {
    Atom moov = movieWith({Atom(artist, bytesOf("Raw Artist")), textItem(comment, {{0, "Caf\x8E"}}),
                           textItem(album, {{english, std::string("\xFE\xFF\x00H\x00i", 6)}}),
                           Atom(description, bytesOf(std::string("Trailing zeros\0\0", 16)))});
    UserData userData(moov);
    EXPECT_EQ(userData.text(artist, inEnglish), "Raw Artist");
    EXPECT_EQ(userData.text(comment, inEnglish), "Café");
    EXPECT_EQ(userData.text(album, inEnglish), "Hi");
    EXPECT_EQ(userData.text(description, inEnglish), "Trailing zeros");
}

TEST(UserDataTest, FallsBackToTheMetadataListAndKeepsItInStep) {
    Atom moov = nest(
        makeFourCC("moov"),
        {movieHeader(600, 0),
         nest(makeFourCC("udta"), {metadataList({listItem(artist, "List Artist"),
                                                 listItem(makeFourCC("desc"), "Guitar Beginner"),
                                                 listItem(album, "\x01\x02", 21)})})});
    // Written and read back through the parser, as it would come from a file.
    auto parsed = Atom::parse(moov.bytes());
    ASSERT_TRUE(parsed);
    UserData userData(*parsed);
    EXPECT_EQ(userData.text(artist, inEnglish), "List Artist");
    EXPECT_EQ(userData.text(description, inEnglish), "Guitar Beginner");
    EXPECT_EQ(userData.text(album, inEnglish), std::nullopt) << "an integer is no text";

    ASSERT_TRUE(userData.setText(description, "Bass Advanced", inEnglish));
    EXPECT_EQ(userData.text(description, inEnglish), "Bass Advanced");
    const Atom* list = parsed->find({makeFourCC("udta"), makeFourCC("meta"), makeFourCC("ilst")});
    ASSERT_TRUE(list);
    const Atom* data = list->find({makeFourCC("desc"), makeFourCC("data")});
    ASSERT_TRUE(data);
    EXPECT_EQ(stringOf(data->payload()).substr(8), "Bass Advanced");
}

TEST(UserDataTest, RefusesToChangeDamagedUserData) {
    Atom moov = nest(
        makeFourCC("moov"),
        {movieHeader(600, 0), Atom(makeFourCC("udta"), bytesOf(std::string("\0\0\0\x40junk", 8)))});
    auto parsed = Atom::parse(moov.bytes());
    ASSERT_TRUE(parsed);
    std::vector<std::uint8_t> before = parsed->bytes();
    EXPECT_FALSE(UserData(*parsed).setText(artist, "Nope", inEnglish));
    EXPECT_EQ(UserData(*parsed).text(artist, inEnglish), std::nullopt);
    EXPECT_EQ(parsed->bytes(), before);
}

TEST(TextEncodingTest, ValidatesAndRepairsUTF8) {
    EXPECT_TRUE(TextEncoding::isValidUTF8("plain ascii"));
    EXPECT_TRUE(TextEncoding::isValidUTF8("Zoë 日本 🎸"));
    EXPECT_FALSE(TextEncoding::isValidUTF8("\xC0\xAF")) << "overlong";
    EXPECT_FALSE(TextEncoding::isValidUTF8("\xED\xA0\x80")) << "surrogate";
    EXPECT_FALSE(TextEncoding::isValidUTF8("\xF4\x90\x80\x80")) << "past U+10FFFF";
    EXPECT_FALSE(TextEncoding::isValidUTF8("cut \xE6\x97"));
    EXPECT_EQ(TextEncoding::validUTF8("a\xFF"
                                      "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(TextEncoding::fromMacRoman("\xA5 \xDB \xF0"), "• € \xEF\xA3\xBF");
    EXPECT_EQ(TextEncoding::fromUTF16(std::string("\xFF\xFE"
                                                  "A\0"
                                                  "\x3C\xD8\xB8\xDF",
                                                  8)),
              "A🎸");
}
