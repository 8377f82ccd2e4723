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

TEST_F(GradientArchiveTest, KeyedArchiveHoldsTheStopsInListOrderThenCountAndMode) {
    auto gradient = threeStops();
    KeyedArchive archive;
    gradient->encodeWithCoder(archive);
    EXPECT_EQ(archive.decodeIntForKey("CTGradientElementCount"), 3);
    EXPECT_EQ(archive.decodeIntForKey("CTGradientBlendingMode"), CTGradient::chromaticBlendingMode);
    const float firstStop[] = {1.0f / 3, 0.6f, 0.7f, 0.8f, 0};
    for (float value : firstStop) {
        EXPECT_EQ(archive.decodeFloat(), value);
    }
    EXPECT_EQ(archive.decodeFloat(), 0.1f) << "then the stop added first at 0.5";
}

TEST_F(GradientArchiveTest, RoundTripsInMemoryAndThroughAFile) {
    auto gradient = threeStops();
    KeyedArchive archive;
    gradient->encodeWithCoder(archive);

    auto reread = KeyedArchive::fromData(archive.data());
    ASSERT_TRUE(reread.has_value());
    CTGradient decoded(*reread);
    expectSameGradient(decoded, *gradient);
    EXPECT_EQ(stopCount(decoded), 3u);

    const std::string path = home() + "/gradient.archive";
    ASSERT_TRUE(archive.writeToFile(path));
    auto fromFile = KeyedArchive::fromFile(path);
    ASSERT_TRUE(fromFile.has_value());
    CTGradient loaded(*fromFile);
    expectSameGradient(loaded, *gradient);
    EXPECT_EQ(stopCount(loaded), 3u);

    // A decoded gradient draws like the original.
    for (float x : {0.0f, 0.2f, 0.5f, 0.51f, 0.9f}) {
        EXPECT_EQ(loaded.colorAtPosition(x).red, gradient->colorAtPosition(x).red) << x;
        EXPECT_EQ(loaded.colorAtPosition(x).green, gradient->colorAtPosition(x).green) << x;
    }
}

TEST_F(GradientArchiveTest, RoundTripKeepsEveryReadyMadeGradient) {
    for (auto& gradient : {CTGradient::hydrogenSpectrumGradient(),
                           CTGradient::aquaPressedGradient(), CTGradient::rainbowGradient()}) {
        KeyedArchive archive;
        gradient->encodeWithCoder(archive);
        auto reread = KeyedArchive::fromData(archive.data());
        ASSERT_TRUE(reread.has_value());
        CTGradient decoded(*reread);
        expectSameGradient(decoded, *gradient);
        EXPECT_EQ(stopCount(decoded), stopCount(*gradient));
    }
}

TEST_F(GradientArchiveTest, RewritingAFileReplacesIt) {
    const std::string path = home() + "/gradient.archive";
    KeyedArchive first;
    threeStops()->encodeWithCoder(first);
    ASSERT_TRUE(first.writeToFile(path));
    KeyedArchive second;
    CTGradient::unifiedDarkGradient()->encodeWithCoder(second);
    ASSERT_TRUE(second.writeToFile(path));
    auto reread = KeyedArchive::fromFile(path);
    ASSERT_TRUE(reread.has_value());
    CTGradient decoded(*reread);
    expectSameGradient(decoded, *CTGradient::unifiedDarkGradient());
    EXPECT_EQ(stopCount(decoded), 2u);

    EXPECT_FALSE(first.writeToFile(home() + "/missing/folder/gradient.archive"));
}

TEST_F(GradientArchiveTest, NonKeyedCodersAreRefused) {
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
    EXPECT_THROW(sequential.encodeInt(1, "CTGradientElementCount"), Coder::InvalidArchiveOperation);
    EXPECT_EQ(sequential.decodeFloat(), 1);
    EXPECT_THROW(sequential.decodeFloat(), Coder::InvalidUnarchiveOperation);
}

TEST_F(GradientArchiveTest, ArchivesThatHoldNoGradientAreRefused) {
    KeyedArchive tooFewValues;
    tooFewValues.encodeInt(2, "CTGradientElementCount");
    for (int i = 0; i < 7; ++i) {
        tooFewValues.encodeFloat(0.5f);
    }
    EXPECT_THROW(CTGradient{tooFewValues}, Coder::InvalidUnarchiveOperation);

    KeyedArchive negativeCount;
    negativeCount.encodeInt(-1, "CTGradientElementCount");
    EXPECT_THROW(CTGradient{negativeCount}, Coder::InvalidUnarchiveOperation);

    KeyedArchive unknownMode;
    unknownMode.encodeInt(3, "CTGradientBlendingMode");
    EXPECT_THROW(CTGradient{unknownMode}, Coder::InvalidUnarchiveOperation);

    KeyedArchive empty;
    CTGradient decoded(empty);
    EXPECT_EQ(stopCount(decoded), 0u);
    EXPECT_EQ(decoded.blendingMode(), CTGradient::linearBlendingMode);
}

TEST_F(GradientArchiveTest, MalformedArchiveTextIsRefused) {
    const std::string header = "fretlark-keyed-archive 1\n";
    EXPECT_TRUE(KeyedArchive::fromData(header).has_value());
    EXPECT_TRUE(KeyedArchive::fromData(header + "i Key -7\nf 0.25\n\n").has_value());
    for (const std::string& text :
         {std::string(), std::string("fretlark-keyed-archive 2\n"), header + "f\n",
          header + "f 0.5x\n", header + "f  0.5\n", header + "x 1\n", header + "i Key\n",
          header + "i Key 1.5\n", header + "i Key 99999999999\n", header + "i Key 1\ni Key 2\n",
          header + "i  1\n", header + "f 1\r\n"}) {
        EXPECT_FALSE(KeyedArchive::fromData(text).has_value()) << text;
    }
    auto parsed = KeyedArchive::fromData(header + "i Key -7\nf 0.25\n");
    EXPECT_EQ(parsed->decodeIntForKey("Key"), -7);
    EXPECT_EQ(parsed->decodeIntForKey("Other"), 0);
    EXPECT_EQ(parsed->decodeFloat(), 0.25f);

    EXPECT_FALSE(KeyedArchive::fromFile(home() + "/none.archive").has_value());
    writeFile(home() + "/bad.archive", "not an archive");
    EXPECT_FALSE(KeyedArchive::fromFile(home() + "/bad.archive").has_value());

    KeyedArchive archive;
    EXPECT_THROW(archive.encodeInt(1, "two words"), std::invalid_argument);
    EXPECT_THROW(archive.encodeInt(1, ""), std::invalid_argument);
}
