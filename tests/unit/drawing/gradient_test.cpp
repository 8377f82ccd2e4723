#include "SurfacePixels.h"

#include "drawing/CTGradient.h"
#include "drawing/CairoPattern.h"
#include "drawing/ShadingFunction.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <stdexcept>

namespace {

using Color = CTGradient::Color;

const Color red{1, 0, 0, 1};
const Color green{0, 1, 0, 1};
const Color blue{0, 0, 1, 1};
const Color black{0, 0, 0, 1};
const Color white{1, 1, 1, 1};

void expectColor(const Color& actual, const Color& expected, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.red, expected.red, tolerance);
    EXPECT_NEAR(actual.green, expected.green, tolerance);
    EXPECT_NEAR(actual.blue, expected.blue, tolerance);
    EXPECT_NEAR(actual.alpha, expected.alpha, tolerance);
}

void expectPoint(const CTGradient::Point& actual, float x, float y) {
    EXPECT_NEAR(actual.x, x, 1e-4f);
    EXPECT_NEAR(actual.y, y, 1e-4f);
}

std::vector<float> positionsOf(const CTGradient& gradient) {
    std::vector<float> positions;
    for (unsigned i = 0; gradient.elementAtIndex(i) != nullptr; ++i) {
        positions.push_back(gradient.elementAtIndex(i)->position);
    }
    return positions;
}

// Stops added at 0.5 (red), 0 (black), 0.5 (blue), 1 (white).
std::unique_ptr<CTGradient> hardStepGradient() {
    CTGradient empty;
    return empty.addColorStop(red, 0.5f)
        ->addColorStop(black, 0)
        ->addColorStop(blue, 0.5f)
        ->addColorStop(white, 1);
}

Color hsvToRgb(float hue, float saturation, float value) {
    float c[3] = {hue, saturation, value};
    transformHSV_RGB(c);
    return {c[0], c[1], c[2], 1};
}

} // namespace

TEST(CTGradientStops, StayInPositionOrderAndEqualPositionsKeepTheirAddingOrder) {
    auto gradient = hardStepGradient();
    EXPECT_EQ(positionsOf(*gradient), (std::vector<float>{0, 0.5f, 0.5f, 1}));
    expectColor(gradient->colorStopAtIndex(0), black);
    expectColor(gradient->colorStopAtIndex(1), red);
    expectColor(gradient->colorStopAtIndex(2), blue);
    expectColor(gradient->colorStopAtIndex(3), white);
    EXPECT_THROW(gradient->colorStopAtIndex(4), std::out_of_range);
}

TEST(CTGradientStops, ElementPrimitivesChangeTheReceiver) {
    auto gradient = hardStepGradient();
    CTGradientElement removed = gradient->removeElementAtPosition(0.5f);
    EXPECT_EQ(removed.red, 1) << "the first stop at an equal position goes first";
    EXPECT_EQ(positionsOf(*gradient), (std::vector<float>{0, 0.5f, 1}));

    removed = gradient->removeElementAtIndex(2);
    EXPECT_EQ(removed.position, 1);
    EXPECT_EQ(positionsOf(*gradient), (std::vector<float>{0, 0.5f}));

    for (CTGradientElement none :
         {gradient->removeElementAtIndex(2), gradient->removeElementAtPosition(0.25f)}) {
        EXPECT_TRUE(std::isnan(none.position));
        EXPECT_EQ(none.red + none.green + none.blue + none.alpha, 0);
    }
    EXPECT_EQ(gradient->elementAtIndex(2), nullptr);
    EXPECT_EQ(positionsOf(*gradient), (std::vector<float>{0, 0.5f}));
}

TEST(CTGradientLinear, TakesTheLaterStopJustAboveAHardStep) {
    auto gradient = hardStepGradient();
    expectColor(gradient->colorAtPosition(0.5f), red);
    const float justAbove = std::nextafter(0.5f, 1.0f);
    expectColor(gradient->colorAtPosition(justAbove), blue, 1e-6f);
    expectColor(gradient->colorAtPosition(0.75f), {0.5f, 0.5f, 1, 1});
    expectColor(gradient->colorAtPosition(0.25f), {0.5f, 0, 0, 1});
}

TEST(CTGradientLinear, HoldsTheEndColoursOutsideTheStops) {
    CTGradient gradient;
    gradient.addElement({1, 0, 0, 1, 0.2f});
    gradient.addElement({0, 0, 1, 0.5f, 0.8f});
    expectColor(gradient.colorAtPosition(0), red);
    expectColor(gradient.colorAtPosition(-3), red);
    expectColor(gradient.colorAtPosition(0.9f), {0, 0, 1, 0.5f});
    expectColor(gradient.colorAtPosition(7), {0, 0, 1, 0.5f});

    CTGradient single;
    single.addElement({0.1f, 0.2f, 0.3f, 0.4f, 0.6f});
    for (float x : {-1.0f, 0.0f, 0.6f, 0.61f, 1.0f}) {
        expectColor(single.colorAtPosition(x), {0.1f, 0.2f, 0.3f, 0.4f});
    }
}

TEST(CTGradientLinear, EmptyGradientIsOpaqueWhiteInEveryMode) {
    for (std::int32_t mode : {0, 1, 2}) {
        auto gradient = CTGradient().gradientWithBlendingMode(mode);
        expectColor(gradient->colorAtPosition(0.3f), white);
    }
}

TEST(CTGradientChromatic, ClimbsTheHueWheelAndTheInverseFallsIt) {
    auto chromatic = CTGradient::gradientWithBeginningColor(red, blue)->gradientWithBlendingMode(
        CTGradient::chromaticBlendingMode);
    expectColor(chromatic->colorAtPosition(0.5f), green);
    expectColor(chromatic->colorAtPosition(0.25f), hsvToRgb(60, 1, 1));
    expectColor(chromatic->colorAtPosition(1), blue);

    auto inverse = chromatic->gradientWithBlendingMode(CTGradient::inverseChromaticBlendingMode);
    expectColor(inverse->colorAtPosition(0.5f), {1, 0, 1, 1});
    expectColor(inverse->colorAtPosition(0.75f), hsvToRgb(270, 1, 1));
    EXPECT_EQ(chromatic->blendingMode(), CTGradient::chromaticBlendingMode);
}

TEST(CTGradientChromatic, GreyStopTakesTheColouredStopsHue) {
    auto gradient = CTGradient::gradientWithBeginningColor({0.5f, 0.5f, 0.5f, 1}, red)
                        ->gradientWithBlendingMode(CTGradient::chromaticBlendingMode);
    // Hue 0 throughout: saturation 0.5 and value 0.75 at the middle.
    expectColor(gradient->colorAtPosition(0.5f), {0.75f, 0.375f, 0.375f, 1});
    for (float x : {0.1f, 0.4f, 0.9f}) {
        Color c = gradient->colorAtPosition(x);
        EXPECT_FLOAT_EQ(c.green, c.blue) << "at " << x;
        EXPECT_GE(c.red, c.green) << "at " << x;
    }

    auto greys = CTGradient::gradientWithBeginningColor(black, white)
                     ->gradientWithBlendingMode(CTGradient::inverseChromaticBlendingMode);
    expectColor(greys->colorAtPosition(0.25f), {0.25f, 0.25f, 0.25f, 1});
}

TEST(CTGradientColourConversion, RgbToHsvFollowsTheWheel) {
    struct Case {
        float rgb[3];
        float hue, saturation, value;
    };
    const Case cases[] = {{{1, 0, 0}, 0, 1, 1},
                          {{1, 1, 0}, 60, 1, 1},
                          {{0, 1, 1}, 180, 1, 1},
                          {{1, 0, 1}, 300, 1, 1},
                          {{0.5f, 0.25f, 1}, 260, 0.75f, 1},
                          {{1, 0, 0.5f}, 330, 1, 1},
                          {{0, 0, 0.5f}, 240, 1, 0.5f}};
    for (const Case& c : cases) {
        float hsv[3] = {c.rgb[0], c.rgb[1], c.rgb[2]};
        transformRGB_HSV(hsv);
        EXPECT_NEAR(hsv[0], c.hue, 1e-4f) << c.rgb[0] << ' ' << c.rgb[1] << ' ' << c.rgb[2];
        EXPECT_NEAR(hsv[1], c.saturation, 1e-6f);
        EXPECT_NEAR(hsv[2], c.value, 1e-6f);
        transformHSV_RGB(hsv);
        EXPECT_NEAR(hsv[0], c.rgb[0], 1e-5f);
        EXPECT_NEAR(hsv[1], c.rgb[1], 1e-5f);
        EXPECT_NEAR(hsv[2], c.rgb[2], 1e-5f);
    }
}

TEST(CTGradientColourConversion, GreysHaveNoHueAndBlackNoSaturation) {
    float grey[3] = {0.4f, 0.4f, 0.4f};
    transformRGB_HSV(grey);
    EXPECT_TRUE(std::isnan(grey[0]));
    EXPECT_EQ(grey[1], 0);
    EXPECT_FLOAT_EQ(grey[2], 0.4f);
    float blackHsv[3] = {0, 0, 0};
    transformRGB_HSV(blackHsv);
    EXPECT_EQ(blackHsv[1], 0);
    EXPECT_EQ(blackHsv[2], 0);
}

TEST(CTGradientColourConversion, HueWrapsAt359) {
    expectColor(hsvToRgb(359.5f, 1, 1), hsvToRgb(0.5f, 1, 1));
    expectColor(hsvToRgb(359, 1, 1), red);
    expectColor(hsvToRgb(479, 1, 1), hsvToRgb(120, 1, 1));
    // Out of the evaluations' reach, but never out of the colour table.
    expectColor(hsvToRgb(-0.5f, 1, 1), hsvToRgb(358.5f, 1, 1));
    expectColor(hsvToRgb(std::numeric_limits<float>::quiet_NaN(), 0, 0.5f), {0.5f, 0.5f, 0.5f, 1});
}

TEST(CTGradientColourConversion, ResolveGivesUndefinedHuesTheOtherHue) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    float a[3] = {nan, 0, 1}, b[3] = {200, 1, 1};
    resolveHSV(a, b);
    EXPECT_EQ(a[0], 200);
    EXPECT_EQ(b[0], 200);
    float c[3] = {40, 1, 1}, d[3] = {nan, 0, 0};
    resolveHSV(c, d);
    EXPECT_EQ(c[0], 40);
    EXPECT_EQ(d[0], 40);
    float e[3] = {nan, 0, 1}, f[3] = {nan, 0, 0};
    resolveHSV(e, f);
    EXPECT_EQ(e[0], 0);
    EXPECT_EQ(f[0], 0);
}

TEST(CTGradientCopies, NeverChangeTheReceiver) {
    auto original = hardStepGradient()->gradientWithBlendingMode(CTGradient::chromaticBlendingMode);
    const std::vector<float> before = positionsOf(*original);

    auto added = original->addColorStop(green, 0.25f);
    EXPECT_EQ(positionsOf(*added), (std::vector<float>{0, 0.25f, 0.5f, 0.5f, 1}));
    EXPECT_EQ(added->blendingMode(), CTGradient::chromaticBlendingMode);

    auto byIndex = original->removeColorStopAtIndex(1);
    EXPECT_EQ(positionsOf(*byIndex), (std::vector<float>{0, 0.5f, 1}));
    expectColor(byIndex->colorStopAtIndex(1), blue);

    auto byPosition = original->removeColorStopAtPosition(1);
    EXPECT_EQ(positionsOf(*byPosition), (std::vector<float>{0, 0.5f, 0.5f}));

    auto copy = original->copy();
    copy->addElement({0, 0, 0, 1, 0.75f});
    EXPECT_EQ(positionsOf(*original), before);
    EXPECT_EQ(original->blendingMode(), CTGradient::chromaticBlendingMode);
    expectColor(original->colorStopAtIndex(1), red);
}

TEST(CTGradientCopies, RemovalOfAMissingStopRaisesARangeError) {
    auto gradient = hardStepGradient();
    try {
        gradient->removeColorStopAtIndex(4);
        FAIL() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(),
                     "-[CTGradient removeColorStopAtIndex:]: index (4) beyond bounds");
    }
    try {
        gradient->removeColorStopAtPosition(0.3f);
        FAIL() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(),
                     "-[CTGradient removeColorStopAtPosition:]: no such colorStop at position "
                     "(0.300000)");
    }
    EXPECT_EQ(positionsOf(*gradient), (std::vector<float>{0, 0.5f, 0.5f, 1}));
}

TEST(CTGradientCopies, AlphaCopyReplacesAlphaAndIsLinear) {
    auto chromatic = CTGradient::rainbowGradient();
    auto faded = chromatic->gradientWithAlphaComponent(0.25f);
    EXPECT_EQ(faded->blendingMode(), CTGradient::linearBlendingMode);
    expectColor(faded->colorStopAtIndex(0), {1, 0, 0, 0.25f});
    expectColor(faded->colorStopAtIndex(1), {0.54f, 0, 1, 0.25f});
    expectColor(faded->colorAtPosition(0.5f), {0.77f, 0, 0.5f, 0.25f});
    EXPECT_EQ(chromatic->colorStopAtIndex(0).alpha, 1);
}

TEST(CTGradientCopies, UnknownBlendingModeIsRefused) {
    CTGradient gradient;
    EXPECT_THROW(gradient.setBlendingMode(3), std::invalid_argument);
    EXPECT_THROW(gradient.gradientWithBlendingMode(-1), std::invalid_argument);
    EXPECT_EQ(gradient.blendingMode(), CTGradient::linearBlendingMode);
}

TEST(CTGradientReadyMade, HaveTheirStopCountsAndModes) {
    const struct {
        std::unique_ptr<CTGradient> gradient;
        std::size_t stops;
        std::int32_t mode;
    } cases[] = {{CTGradient::aquaSelectedGradient(), 4, 0},
                 {CTGradient::aquaNormalGradient(), 4, 0},
                 {CTGradient::aquaPressedGradient(), 4, 0},
                 {CTGradient::unifiedSelectedGradient(), 2, 0},
                 {CTGradient::unifiedNormalGradient(), 2, 0},
                 {CTGradient::unifiedPressedGradient(), 2, 0},
                 {CTGradient::unifiedDarkGradient(), 2, 0},
                 {CTGradient::sourceListSelectedGradient(), 2, 0},
                 {CTGradient::sourceListUnselectedGradient(), 2, 0},
                 {CTGradient::rainbowGradient(), 2, 1}};
    for (const auto& c : cases) {
        const std::vector<float> positions = positionsOf(*c.gradient);
        EXPECT_EQ(positions.size(), c.stops);
        EXPECT_EQ(positions.front(), 0);
        EXPECT_EQ(positions.back(), 1);
        EXPECT_EQ(c.gradient->blendingMode(), c.mode);
    }
    // The aqua gradients step hard in the middle, from the darker band to the lighter one.
    auto aqua = CTGradient::aquaSelectedGradient();
    expectColor(aqua->colorAtPosition(0.5f), {0.42f, 0.68f, 0.90f, 1}, 0);
    expectColor(aqua->colorAtPosition(std::nextafter(0.5f, 1.0f)), {0.64f, 0.80f, 0.94f, 1});
}

TEST(CTGradientReadyMade, HydrogenSpectrumIsFourBrightLinesOnBlack) {
    auto hydrogen = CTGradient::hydrogenSpectrumGradient();
    EXPECT_EQ(hydrogen->blendingMode(), CTGradient::chromaticBlendingMode);
    const std::vector<float> positions = positionsOf(*hydrogen);
    ASSERT_EQ(positions.size(), 12u);
    const float centres[] = {0.145f, 0.71f, 0.885f, 0.965f};
    const float halfWidths[] = {0.01f, 0.008f, 0.005f, 0.003f};
    const float hues[] = {22, 200, 253, 275};
    for (int line = 0; line < 4; ++line) {
        EXPECT_FLOAT_EQ(positions[3 * line], centres[line] - halfWidths[line]);
        EXPECT_FLOAT_EQ(positions[3 * line + 1], centres[line]);
        EXPECT_FLOAT_EQ(positions[3 * line + 2], centres[line] + halfWidths[line]);
        expectColor(hydrogen->colorAtPosition(centres[line]), hsvToRgb(hues[line], 1, 1));
        Color edge = hydrogen->colorStopAtIndex(static_cast<unsigned>(3 * line));
        EXPECT_LE(std::max({edge.red, edge.green, edge.blue}), 0.001f + 1e-6f);
    }
    Color gap = hydrogen->colorAtPosition(0.4f);
    EXPECT_LE(std::max({gap.red, gap.green, gap.blue}), 0.0011f);
}

TEST(CTGradientAxialLine, RunsAcrossTheRectangleAtTheAngle) {
    const CTGradient::Rect wide{0, 0, 100, 20};
    auto line = CTGradient::axialLine(wide, 0);
    expectPoint(line.start, 0, 0);
    expectPoint(line.end, 100, 0);
    line = CTGradient::axialLine(wide, 90);
    expectPoint(line.start, 0, 0);
    expectPoint(line.end, 0, 20);
    line = CTGradient::axialLine(wide, 180);
    expectPoint(line.start, 100, 10);
    expectPoint(line.end, 0, 10);
    line = CTGradient::axialLine(wide, 270);
    expectPoint(line.start, 50, 20);
    expectPoint(line.end, 50, 0);
    line = CTGradient::axialLine({0, 0, 100, 100}, 45);
    expectPoint(line.start, 0, 0);
    expectPoint(line.end, 100, 100);
}

TEST(CTGradientAxialLine, PerpendicularsThroughTheEndsTouchTheExtremeCorners) {
    const CTGradient::Rect rect{10, -5, 120, 30};
    for (float angle : {20.0f, 63.0f, 135.0f, 200.0f, 300.0f, 350.0f}) {
        auto line = CTGradient::axialLine(rect, angle);
        const double dx = line.end.x - line.start.x, dy = line.end.y - line.start.y;
        const double squared = dx * dx + dy * dy;
        double lowest = 2, highest = -2;
        for (float x : {rect.x, rect.x + rect.width}) {
            for (float y : {rect.y, rect.y + rect.height}) {
                double t = ((x - line.start.x) * dx + (y - line.start.y) * dy) / squared;
                lowest = std::min(lowest, t);
                highest = std::max(highest, t);
            }
        }
        EXPECT_NEAR(lowest, 0, 1e-4) << angle;
        EXPECT_NEAR(highest, 1, 1e-4) << angle;
        const double radians = angle * std::numbers::pi / 180;
        EXPECT_NEAR(std::atan2(dy, dx), std::atan2(std::sin(radians), std::cos(radians)), 1e-4)
            << angle;
    }
}

TEST(CTGradientFill, AxialFillKeepsHardStepsSharpAndStaysInItsRectangle) {
    Canvas canvas(120, 40);
    auto aqua = CTGradient::aquaSelectedGradient();
    aqua->fillRect(canvas.cr(), {10, 10, 100, 20}, 0);
    EXPECT_TRUE(canvas.at(10, 20).near(0.58, 0.86, 0.98, 1, 3)) << canvas.at(10, 20);
    EXPECT_TRUE(canvas.at(59, 20).near(0.42, 0.68, 0.90, 1, 3)) << canvas.at(59, 20);
    EXPECT_TRUE(canvas.at(60, 20).near(0.64, 0.80, 0.94, 1, 3)) << canvas.at(60, 20);
    EXPECT_TRUE(canvas.at(109, 20).near(0.56, 0.70, 0.90, 1, 3)) << canvas.at(109, 20);
    EXPECT_TRUE(canvas.at(9, 20).isClear());
    EXPECT_TRUE(canvas.at(110, 20).isClear());
    EXPECT_TRUE(canvas.at(50, 9).isClear());
    EXPECT_TRUE(canvas.at(50, 30).isClear());

    double x1, y1, x2, y2;
    cairo_clip_extents(canvas.cr(), &x1, &y1, &x2, &y2);
    EXPECT_EQ(x2 - x1, 120) << "the clip is restored";
    EXPECT_EQ(y2 - y1, 40);
}

TEST(CTGradientFill, ChromaticFillFollowsTheEvaluationBetweenSamples) {
    Canvas canvas(300, 4);
    auto rainbow = CTGradient::gradientWithBeginningColor(red, blue)->gradientWithBlendingMode(
        CTGradient::chromaticBlendingMode);
    rainbow->fillRect(canvas.cr(), {0, 0, 300, 4}, 0);
    for (int x : {0, 37, 75, 149, 150, 222, 299}) {
        Color expected = rainbow->colorAtPosition((static_cast<float>(x) + 0.5f) / 300);
        EXPECT_TRUE(canvas.at(x, 2).near(expected.red, expected.green, expected.blue, 1, 3))
            << x << ": " << canvas.at(x, 2);
    }
}

TEST(CTGradientFill, FillsSeeStopsAddedAfterTheModeWasSet) {
    CTGradient gradient;
    Canvas before(10, 10);
    gradient.fillRect(before.cr(), {0, 0, 10, 10}, 90);
    EXPECT_TRUE(before.at(5, 5).isGray(1)) << "an empty gradient paints white";

    gradient.setBlendingMode(CTGradient::chromaticBlendingMode);
    gradient.addElement({0, 0.5f, 0, 1, 0});
    Canvas after(10, 10);
    gradient.drawSwatchInRect(after.cr(), {0, 0, 10, 10});
    EXPECT_TRUE(after.at(5, 5).near(0, 0.5, 0)) << after.at(5, 5);
}

TEST(CTGradientFill, RadialFillRunsFromTheCentreOutAndExtendsBothEnds) {
    Canvas canvas(100, 60);
    auto gradient = CTGradient::gradientWithBeginningColor(red, blue);
    gradient->radialFillRect(canvas.cr(), {0, 0, 100, 60});
    EXPECT_TRUE(canvas.at(50, 30).near(1, 0, 0, 1, 3)) << canvas.at(50, 30);
    // Radius 50 (half the width): 25 units out is about halfway.
    EXPECT_TRUE(canvas.at(75, 30).near(0.5, 0, 0.5, 1, 8)) << canvas.at(75, 30);
    EXPECT_TRUE(canvas.at(0, 0).near(0, 0, 1)) << canvas.at(0, 0);
    EXPECT_TRUE(canvas.at(99, 59).near(0, 0, 1)) << canvas.at(99, 59);
}

TEST(CTGradientFill, AlphaReachesTheSurface) {
    Canvas canvas(20, 20);
    auto gradient =
        CTGradient::gradientWithBeginningColor(red, red)->gradientWithAlphaComponent(0.5f);
    gradient->fillRect(canvas.cr(), {0, 0, 20, 20}, 30);
    EXPECT_TRUE(canvas.at(10, 10).near(1, 0, 0, 0.5)) << canvas.at(10, 10);
}

TEST(ShadingFunction, ClampsItsInputAndOutputsAndReadsTheLiveList) {
    CTGradientElementList stops{{0, 0, 0, 1, -1},
                                {2, -1, std::numeric_limits<float>::quiet_NaN(), 0.5f, 0}};
    ShadingFunction function(&stops, linearEvaluation, {0, 1}, {0, 1, 0, 1, 0, 1, 0, 1});
    // -1 is read as 0, the second stop, whose components are brought into range.
    EXPECT_EQ(function(-1), (std::array<float, 4>{1, 0, 0, 0.5f}));
    stops.clear();
    stops.push_front({0, 0.25f, 0, 1, 0.5f});
    EXPECT_EQ(function(0.5f), (std::array<float, 4>{0, 0.25f, 0, 1}));
}

TEST(CairoPattern, DropsItsReferenceWhenDestroyed) {
    cairo_pattern_t* raw = cairo_pattern_create_rgb(1, 0, 0);
    cairo_pattern_reference(raw);
    {
        CairoPattern owner(raw);
        EXPECT_EQ(owner.get(), raw);
        EXPECT_EQ(cairo_pattern_get_reference_count(raw), 2u);
    }
    EXPECT_EQ(cairo_pattern_get_reference_count(raw), 1u);
    cairo_pattern_destroy(raw);
}
