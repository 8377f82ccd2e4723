#include "support/TestEnvironment.h"

#include "drawing/CTGradient.h"
#include "drawing/KeyedArchive.h"
#include "drawing/SequentialArchive.h"

#include <gtest/gtest.h>

namespace {

// Three stops, two of them at the same position, chromatic.
std::unique_ptr<CTGradient> threeStops() {
    CTGradient gradient;
    gradient.addElement({0.1f, 0.2f, 0.3f, 1, 0.5f});
    gradient.addElement({1.0f / 3, 0.6f, 0.7f, 0.8f, 0});
    gradient.addElement({0.9f, 1e-7f, 0.25f, 0.5f, 0.5f});
    return gradient.gradientWithBlendingMode(CTGradient::chromaticBlendingMode);
}

void expectSameGradient(const CTGradient& actual, const CTGradient& expected) {
    EXPECT_EQ(actual.blendingMode(), expected.blendingMode());
    for (unsigned i = 0; expected.elementAtIndex(i) != nullptr; ++i) {
        const CTGradientElement* a = actual.elementAtIndex(i);
        const CTGradientElement* e = expected.elementAtIndex(i);
        ASSERT_NE(a, nullptr) << "stop " << i;
        EXPECT_EQ(a->red, e->red) << "stop " << i;
        EXPECT_EQ(a->green, e->green) << "stop " << i;
        EXPECT_EQ(a->blue, e->blue) << "stop " << i;
        EXPECT_EQ(a->alpha, e->alpha) << "stop " << i;
        EXPECT_EQ(a->position, e->position) << "stop " << i;
    }
}

unsigned stopCount(const CTGradient& gradient) {
    unsigned count = 0;
    while (gradient.elementAtIndex(count) != nullptr) {
        ++count;
    }
    return count;
}

} // namespace

using GradientArchiveTest = FreshEnvironmentTest;

TEST_F(GradientArchiveTest, GradientsRoundTripInMemoryAndThroughAFileThatIsReplaced) {
    auto gradient = threeStops();
    KeyedArchive archive;
    gradient->encodeWithCoder(archive);
    EXPECT_EQ(archive.decodeIntForKey("CTGradientElementCount"), 3);
    EXPECT_EQ(archive.decodeIntForKey("CTGradientBlendingMode"), CTGradient::chromaticBlendingMode);
    EXPECT_EQ(archive.decodeFloat(), 1.0f / 3) << "the stops in list order";

    const std::string path = home() + "/gradient.archive";
    KeyedArchive first;
    CTGradient::unifiedDarkGradient()->encodeWithCoder(first);
    ASSERT_TRUE(first.writeToFile(path));
    ASSERT_TRUE(archive.writeToFile(path));
    for (auto reread : {KeyedArchive::fromData(archive.data()), KeyedArchive::fromFile(path)}) {
        ASSERT_TRUE(reread.has_value());
        CTGradient decoded(*reread);
        expectSameGradient(decoded, *gradient);
        EXPECT_EQ(stopCount(decoded), 3u);
        for (float x : {0.0f, 0.2f, 0.5f, 0.51f, 0.9f})
            EXPECT_EQ(decoded.colorAtPosition(x).red, gradient->colorAtPosition(x).red) << x;
    }
    auto hydrogen = CTGradient::hydrogenSpectrumGradient();
    KeyedArchive spectrum;
    hydrogen->encodeWithCoder(spectrum);
    auto decodedSpectrum = KeyedArchive::fromData(spectrum.data());
    ASSERT_TRUE(decodedSpectrum.has_value());
    expectSameGradient(CTGradient(*decodedSpectrum), *hydrogen);
    EXPECT_FALSE(first.writeToFile(home() + "/missing/folder/gradient.archive"));
}

TEST_F(GradientArchiveTest, OnlyKeyedArchivesOfAGradientAreAccepted) {
    SequentialArchive sequential;
    try {
        threeStops()->encodeWithCoder(sequential);
        FAIL() << "no exception";
    } catch (const Coder::InvalidArchiveOperation& error) {
        EXPECT_STREQ(error.what(), "Only supports NSKeyedArchiver coders");
    }
    EXPECT_TRUE(sequential.values().empty()) << "nothing half-written";
    sequential.encodeFloat(1);
    EXPECT_THROW(CTGradient{sequential}, Coder::InvalidArchiveOperation);

    KeyedArchive tooFewValues;
    tooFewValues.encodeInt(2, "CTGradientElementCount");
    for (int i = 0; i < 7; ++i)
        tooFewValues.encodeFloat(0.5f);
    KeyedArchive negativeCount;
    negativeCount.encodeInt(-1, "CTGradientElementCount");
    KeyedArchive unknownMode;
    unknownMode.encodeInt(3, "CTGradientBlendingMode");
    for (KeyedArchive* refused : {&tooFewValues, &negativeCount, &unknownMode})
        EXPECT_THROW(CTGradient{*refused}, Coder::InvalidUnarchiveOperation);
    KeyedArchive empty;
    EXPECT_EQ(stopCount(CTGradient(empty)), 0u);
}

TEST_F(GradientArchiveTest, MalformedArchiveTextIsRefused) {
    const std::string header = "fretlark-keyed-archive 1\n";
    for (const std::string& text :
         {std::string(), std::string("fretlark-keyed-archive 2\n"), header + "f\n",
          header + "f 0.5x\n", header + "f  0.5\n", header + "x 1\n", header + "i Key\n",
          header + "i Key 1.5\n", header + "i Key 99999999999\n", header + "i Key 1\ni Key 2\n",
          header + "i  1\n", header + "f 1\r\n"})
        EXPECT_FALSE(KeyedArchive::fromData(text).has_value()) << text;
    auto parsed = KeyedArchive::fromData(header + "i Key -7\nf 0.25\n\n");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->decodeIntForKey("Key"), -7);
    EXPECT_EQ(parsed->decodeFloat(), 0.25f);
    writeFile(home() + "/bad.archive", "not an archive");
    EXPECT_FALSE(KeyedArchive::fromFile(home() + "/bad.archive").has_value());
    KeyedArchive archive;
    EXPECT_THROW(archive.encodeInt(1, "two words"), std::invalid_argument);
}
