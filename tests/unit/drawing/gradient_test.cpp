#include "SurfacePixels.h"

#include "drawing/CTGradient.h"
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
    expectColor(gradient->colorStopAtIndex(1), red);
    expectColor(gradient->colorStopAtIndex(2), blue);
    EXPECT_THROW(gradient->colorStopAtIndex(4), std::out_of_range);

    CTGradientElement removed = gradient->removeElementAtPosition(0.5f);
    EXPECT_EQ(removed.red, 1) << "the first stop at an equal position goes first";
    EXPECT_EQ(gradient->removeElementAtIndex(2).position, 1);
    EXPECT_EQ(positionsOf(*gradient), (std::vector<float>{0, 0.5f}));
    for (CTGradientElement none :
         {gradient->removeElementAtIndex(2), gradient->removeElementAtPosition(0.25f)})
        EXPECT_TRUE(std::isnan(none.position));
    EXPECT_EQ(positionsOf(*gradient), (std::vector<float>{0, 0.5f}));
}

TEST(CTGradientLinear, TakesTheLaterStopJustAboveAHardStepAndHoldsTheEndColours) {
    auto gradient = hardStepGradient();
    expectColor(gradient->colorAtPosition(0.5f), red);
    expectColor(gradient->colorAtPosition(std::nextafter(0.5f, 1.0f)), blue, 1e-6f);
    expectColor(gradient->colorAtPosition(0.75f), {0.5f, 0.5f, 1, 1});
    expectColor(gradient->colorAtPosition(0.25f), {0.5f, 0, 0, 1});

    CTGradient ends;
    ends.addElement({1, 0, 0, 1, 0.2f});
    ends.addElement({0, 0, 1, 0.5f, 0.8f});
    expectColor(ends.colorAtPosition(-3), red);
    expectColor(ends.colorAtPosition(7), {0, 0, 1, 0.5f});
    for (std::int32_t mode : {0, 1, 2})
        expectColor(CTGradient().gradientWithBlendingMode(mode)->colorAtPosition(0.3f), white);
}

TEST(CTGradientChromatic, ClimbsTheHueWheelTheInverseFallsItAndGreysTakeTheOtherHue) {
    auto chromatic = CTGradient::gradientWithBeginningColor(red, blue)->gradientWithBlendingMode(
        CTGradient::chromaticBlendingMode);
    expectColor(chromatic->colorAtPosition(0.5f), green);
    expectColor(chromatic->colorAtPosition(0.25f), hsvToRgb(60, 1, 1));
    auto inverse = chromatic->gradientWithBlendingMode(CTGradient::inverseChromaticBlendingMode);
    expectColor(inverse->colorAtPosition(0.5f), {1, 0, 1, 1});
    expectColor(inverse->colorAtPosition(0.75f), hsvToRgb(270, 1, 1));

    auto grey = CTGradient::gradientWithBeginningColor({0.5f, 0.5f, 0.5f, 1}, red)
                    ->gradientWithBlendingMode(CTGradient::chromaticBlendingMode);
    expectColor(grey->colorAtPosition(0.5f), {0.75f, 0.375f, 0.375f, 1});
    auto greys = CTGradient::gradientWithBeginningColor(black, white)
                     ->gradientWithBlendingMode(CTGradient::inverseChromaticBlendingMode);
    expectColor(greys->colorAtPosition(0.25f), {0.25f, 0.25f, 0.25f, 1});
}

TEST(CTGradientColourConversion, RgbToHsvFollowsTheWheelAndHueWrapsAt359) {
    const struct {
        float rgb[3];
        float hue, saturation, value;
    } cases[] = {{{1, 1, 0}, 60, 1, 1},
                 {{0, 1, 1}, 180, 1, 1},
                 {{0.5f, 0.25f, 1}, 260, 0.75f, 1},
                 {{1, 0, 0.5f}, 330, 1, 1},
                 {{0, 0, 0.5f}, 240, 1, 0.5f}};
    for (const auto& c : cases) {
        float hsv[3] = {c.rgb[0], c.rgb[1], c.rgb[2]};
        transformRGB_HSV(hsv);
        EXPECT_NEAR(hsv[0], c.hue, 1e-4f) << c.hue;
        EXPECT_NEAR(hsv[1], c.saturation, 1e-6f) << c.hue;
        EXPECT_NEAR(hsv[2], c.value, 1e-6f) << c.hue;
        transformHSV_RGB(hsv);
        expectColor({hsv[0], hsv[1], hsv[2], 1}, {c.rgb[0], c.rgb[1], c.rgb[2], 1});
    }
    float grey[3] = {0.4f, 0.4f, 0.4f};
    transformRGB_HSV(grey);
    EXPECT_TRUE(std::isnan(grey[0]));
    EXPECT_EQ(grey[1], 0);
    expectColor(hsvToRgb(359.5f, 1, 1), hsvToRgb(0.5f, 1, 1));
    expectColor(hsvToRgb(359, 1, 1), red);
    expectColor(hsvToRgb(-0.5f, 1, 1), hsvToRgb(358.5f, 1, 1));
    expectColor(hsvToRgb(std::numeric_limits<float>::quiet_NaN(), 0, 0.5f), {0.5f, 0.5f, 0.5f, 1});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    float a[3] = {nan, 0, 1}, b[3] = {200, 1, 1}, c[3] = {nan, 0, 1}, d[3] = {nan, 0, 0};
    resolveHSV(a, b);
    resolveHSV(c, d);
    EXPECT_EQ(a[0], 200) << "an undefined hue takes the other one";
    EXPECT_EQ(c[0] + d[0], 0);
}

TEST(CTGradientCopies, NeverChangeTheReceiverAndRefuseWhatIsNotThere) {
    auto original = hardStepGradient()->gradientWithBlendingMode(CTGradient::chromaticBlendingMode);
    auto added = original->addColorStop(green, 0.25f);
    EXPECT_EQ(positionsOf(*added), (std::vector<float>{0, 0.25f, 0.5f, 0.5f, 1}));
    EXPECT_EQ(added->blendingMode(), CTGradient::chromaticBlendingMode);
    expectColor(original->removeColorStopAtIndex(1)->colorStopAtIndex(1), blue);
    EXPECT_EQ(positionsOf(*original->removeColorStopAtPosition(1)),
              (std::vector<float>{0, 0.5f, 0.5f}));
    original->copy()->addElement({0, 0, 0, 1, 0.75f});
    EXPECT_EQ(positionsOf(*original), (std::vector<float>{0, 0.5f, 0.5f, 1}));

    auto faded = CTGradient::rainbowGradient()->gradientWithAlphaComponent(0.25f);
    EXPECT_EQ(faded->blendingMode(), CTGradient::linearBlendingMode);
    expectColor(faded->colorAtPosition(0.5f), {0.77f, 0, 0.5f, 0.25f});

    try {
        original->removeColorStopAtPosition(0.3f);
        FAIL() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "-[CTGradient removeColorStopAtPosition:]: no such colorStop at "
                                   "position (0.300000)");
    }
    EXPECT_THROW(original->removeColorStopAtIndex(4), std::out_of_range);
    EXPECT_THROW(original->setBlendingMode(3), std::invalid_argument);
    EXPECT_EQ(original->blendingMode(), CTGradient::chromaticBlendingMode);
}

TEST(CTGradientReadyMade, AquaStepsHardAndHydrogenIsFourBrightLinesOnBlack) {
    for (auto& gradient : {CTGradient::aquaNormalGradient(), CTGradient::unifiedDarkGradient(),
                           CTGradient::sourceListSelectedGradient()}) {
        EXPECT_EQ(positionsOf(*gradient).front(), 0);
        EXPECT_EQ(positionsOf(*gradient).back(), 1);
    }
    auto aqua = CTGradient::aquaSelectedGradient();
    expectColor(aqua->colorAtPosition(0.5f), {0.42f, 0.68f, 0.90f, 1}, 0);
    expectColor(aqua->colorAtPosition(std::nextafter(0.5f, 1.0f)), {0.64f, 0.80f, 0.94f, 1});

    auto hydrogen = CTGradient::hydrogenSpectrumGradient();
    ASSERT_EQ(positionsOf(*hydrogen).size(), 12u);
    const float centres[] = {0.145f, 0.71f, 0.885f, 0.965f};
    const float hues[] = {22, 200, 253, 275};
    for (int line = 0; line < 4; ++line)
        expectColor(hydrogen->colorAtPosition(centres[line]), hsvToRgb(hues[line], 1, 1));
    Color gap = hydrogen->colorAtPosition(0.4f);
    EXPECT_LE(std::max({gap.red, gap.green, gap.blue}), 0.0011f);
}

TEST(CTGradientAxialLine, RunsAcrossTheRectangleAtTheAngleBetweenItsExtremeCorners) {
    auto line = CTGradient::axialLine({0, 0, 100, 20}, 180);
    expectPoint(line.start, 100, 10);
    expectPoint(line.end, 0, 10);
    line = CTGradient::axialLine({0, 0, 100, 20}, 270);
    expectPoint(line.start, 50, 20);
    expectPoint(line.end, 50, 0);
    const CTGradient::Rect rect{10, -5, 120, 30};
    for (float angle : {20.0f, 63.0f, 135.0f, 200.0f, 300.0f}) {
        line = CTGradient::axialLine(rect, angle);
        const double dx = line.end.x - line.start.x, dy = line.end.y - line.start.y;
        double lowest = 2, highest = -2;
        for (float x : {rect.x, rect.x + rect.width}) {
            for (float y : {rect.y, rect.y + rect.height}) {
                double t =
                    ((x - line.start.x) * dx + (y - line.start.y) * dy) / (dx * dx + dy * dy);
                lowest = std::min(lowest, t);
                highest = std::max(highest, t);
            }
        }
        EXPECT_NEAR(lowest, 0, 1e-4) << angle;
        EXPECT_NEAR(highest, 1, 1e-4) << angle;
        const double radians = angle * std::numbers::pi / 180;
        EXPECT_NEAR(std::atan2(dy, dx), std::atan2(std::sin(radians), std::cos(radians)), 1e-4);
    }
}

TEST(CTGradientFill, AxialFillKeepsHardStepsSharpAndStaysInItsRectangle) {
    Canvas canvas(120, 40);
    CTGradient::aquaSelectedGradient()->fillRect(canvas.cr(), {10, 10, 100, 20}, 0);
    EXPECT_TRUE(canvas.at(59, 20).near(0.42, 0.68, 0.90, 1, 3)) << canvas.at(59, 20);
    EXPECT_TRUE(canvas.at(60, 20).near(0.64, 0.80, 0.94, 1, 3)) << canvas.at(60, 20);
    for (auto [x, y] : {std::pair{9, 20}, std::pair{110, 20}, std::pair{50, 9}, std::pair{50, 30}})
        EXPECT_TRUE(canvas.at(x, y).isClear()) << x << ", " << y;
    double x1, y1, x2, y2;
    cairo_clip_extents(canvas.cr(), &x1, &y1, &x2, &y2);
    EXPECT_EQ(x2 - x1, 120) << "the clip is restored";
}

TEST(CTGradientFill, ChromaticRadialAndTranslucentFillsFollowTheEvaluation) {
    Canvas strip(300, 4);
    auto rainbow = CTGradient::gradientWithBeginningColor(red, blue)->gradientWithBlendingMode(
        CTGradient::chromaticBlendingMode);
    rainbow->fillRect(strip.cr(), {0, 0, 300, 4}, 0);
    for (int x : {0, 75, 149, 222, 299}) {
        Color expected = rainbow->colorAtPosition((static_cast<float>(x) + 0.5f) / 300);
        EXPECT_TRUE(strip.at(x, 2).near(expected.red, expected.green, expected.blue, 1, 3)) << x;
    }
    Canvas round(100, 60);
    CTGradient::gradientWithBeginningColor(red, blue)->radialFillRect(round.cr(), {0, 0, 100, 60});
    EXPECT_TRUE(round.at(50, 30).near(1, 0, 0, 1, 3)) << round.at(50, 30);
    EXPECT_TRUE(round.at(75, 30).near(0.5, 0, 0.5, 1, 8)) << "radius 50: halfway";
    EXPECT_TRUE(round.at(99, 59).near(0, 0, 1)) << round.at(99, 59);

    // Stops added after the mode was set are seen; alpha reaches the surface.
    CTGradient gradient;
    gradient.setBlendingMode(CTGradient::chromaticBlendingMode);
    gradient.addElement({0, 0.5f, 0, 0.5f, 0});
    Canvas swatch(10, 10);
    gradient.drawSwatchInRect(swatch.cr(), {0, 0, 10, 10});
    EXPECT_TRUE(swatch.at(5, 5).near(0, 0.5, 0, 0.5)) << swatch.at(5, 5);
}

TEST(ShadingFunction, ClampsItsInputAndOutputsAndReadsTheLiveList) {
    CTGradientElementList stops{{0, 0, 0, 1, -1},
                                {2, -1, std::numeric_limits<float>::quiet_NaN(), 0.5f, 0}};
    ShadingFunction function(&stops, linearEvaluation, {0, 1}, {0, 1, 0, 1, 0, 1, 0, 1});
    EXPECT_EQ(function(-1), (std::array<float, 4>{1, 0, 0, 0.5f}));
    stops.clear();
    stops.push_front({0, 0.25f, 0, 1, 0.5f});
    EXPECT_EQ(function(0.5f), (std::array<float, 4>{0, 0.25f, 0, 1}));
}
