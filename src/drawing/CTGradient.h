#pragma once

#include "drawing/ShadingFunction.h"

#include <cairo.h>
#include <cstdint>
#include <forward_list>
#include <memory>

class Coder;

// One colour stop. The link to the next stop lives in the list node that holds it.
struct CTGradientElement {
    float red = 0;
    float green = 0;
    float blue = 0;
    float alpha = 0;
    float position = 0;

    // What the removal primitives answer when nothing matches: no colour, position NaN.
    static CTGradientElement none();
};

// The stops, always sorted by ascending position; equal positions keep the order they were added
// in, which is how a hard colour step is made.
using CTGradientElementList = std::forward_list<CTGradientElement>;

// Shading-function evaluations: `info` is the gradient's stop list, `in` one position, `out` red,
// green, blue and alpha. They walk the list from its head and allocate nothing.
void linearEvaluation(const void* info, const float* in, float* out);
void chromaticEvaluation(const void* info, const float* in, float* out);
void inverseChromaticEvaluation(const void* info, const float* in, float* out);

// In place on three floats: (red, green, blue) <-> (hue in degrees, saturation, value). A grey has
// an undefined hue (NaN).
void transformRGB_HSV(float* components);
void transformHSV_RGB(float* components);
// Gives an undefined hue the other stop's hue (both 0 when neither has one).
void resolveHSV(float* color1, float* color2);

// A gradient of colour stops with a blending mode, painted into a rectangle of a cairo context by
// an axial fill at any angle or a radial fill. The operations named gradientWith..., addColorStop
// and removeColorStop... answer a new gradient and leave the receiver as it is; the element
// primitives change the receiver's own list.
class CTGradient final {
public:
    struct Color {
        float red = 0;
        float green = 0;
        float blue = 0;
        float alpha = 1;
    };
    struct Point {
        float x = 0;
        float y = 0;
    };
    struct Rect {
        float x = 0;
        float y = 0;
        float width = 0;
        float height = 0;
    };
    struct AxialLine {
        Point start;
        Point end;
    };

    static constexpr std::int32_t linearBlendingMode = 0;
    static constexpr std::int32_t chromaticBlendingMode = 1;
    static constexpr std::int32_t inverseChromaticBlendingMode = 2;

    // Empty, linear.
    CTGradient();
    // Decodes an archive written by encodeWithCoder. Raises Coder::InvalidArchiveOperation for a
    // coder without keys and Coder::InvalidUnarchiveOperation for contents that make no gradient.
    explicit CTGradient(Coder& coder);
    // The shading function points into this object, so it stays where it was made.
    CTGradient(const CTGradient&) = delete;
    CTGradient& operator=(const CTGradient&) = delete;
    ~CTGradient();

    static std::unique_ptr<CTGradient> gradientWithBeginningColor(const Color& begin,
                                                                  const Color& endingColor);
    static std::unique_ptr<CTGradient> aquaSelectedGradient();
    static std::unique_ptr<CTGradient> aquaNormalGradient();
    static std::unique_ptr<CTGradient> aquaPressedGradient();
    static std::unique_ptr<CTGradient> unifiedSelectedGradient();
    static std::unique_ptr<CTGradient> unifiedNormalGradient();
    static std::unique_ptr<CTGradient> unifiedPressedGradient();
    static std::unique_ptr<CTGradient> unifiedDarkGradient();
    static std::unique_ptr<CTGradient> sourceListSelectedGradient();
    static std::unique_ptr<CTGradient> sourceListUnselectedGradient();
    static std::unique_ptr<CTGradient> rainbowGradient();
    // Four hydrogen lines, each a bright band fading to near black on both sides.
    static std::unique_ptr<CTGradient> hydrogenSpectrumGradient();

    // The same stops in the same order, the same mode.
    std::unique_ptr<CTGradient> copy() const;
    // The same stops with their alpha replaced; the copy is linear whatever this mode is.
    std::unique_ptr<CTGradient> gradientWithAlphaComponent(float alpha) const;
    // Raises std::invalid_argument for a mode other than the three above.
    std::unique_ptr<CTGradient> gradientWithBlendingMode(std::int32_t mode) const;
    std::unique_ptr<CTGradient> addColorStop(const Color& color, float atPosition) const;
    // Both raise std::out_of_range when there is no such stop.
    std::unique_ptr<CTGradient> removeColorStopAtIndex(unsigned index) const;
    std::unique_ptr<CTGradient> removeColorStopAtPosition(float position) const;

    // Raises std::out_of_range past the last stop.
    Color colorStopAtIndex(unsigned index) const;
    Color colorAtPosition(float position) const;

    std::int32_t blendingMode() const { return currentMode; }
    // Replaces the shading function with the mode's evaluation. Raises std::invalid_argument for
    // a mode other than the three above.
    void setBlendingMode(std::int32_t mode);

    void addElement(const CTGradientElement& element);
    // Both answer the removed stop's values, or the none stop when nothing matches.
    CTGradientElement removeElementAtIndex(unsigned index);
    CTGradientElement removeElementAtPosition(float position);
    // The stop itself (0 is the first), or nullptr past the end.
    const CTGradientElement* elementAtIndex(unsigned index) const;

    // Where an axial fill of the rectangle at that angle starts and ends: on the line through the
    // centre at the angle, just far enough apart that the whole rectangle runs from the first
    // colour to the last. The angle turns from the x axis towards the y axis, which is
    // counter-clockwise in a user space whose y grows upwards.
    static AxialLine axialLine(const Rect& rect, float angle);
    // Angles in degrees, as axialLine measures them: in cairo's default user space (y grows
    // downwards) 90 degrees therefore runs top to bottom. The context's state is left as it was.
    void fillRect(cairo_t* context, const Rect& rect, float angle) const;
    // From a circle of radius 1 at the centre out to half the greater side; the first colour
    // fills the inner circle and the last one continues beyond the outer.
    void radialFillRect(cairo_t* context, const Rect& rect) const;
    void drawSwatchInRect(cairo_t* context, const Rect& rect) const;

    // Raises Coder::InvalidArchiveOperation for a coder without keys.
    void encodeWithCoder(Coder& coder) const;

private:
    void _commonInit();
    void addStopsTo(cairo_pattern_t* pattern, double deviceLength) const;
    static void paint(cairo_t* context, const Rect& rect, cairo_pattern_t* pattern);

    CTGradientElementList elementList;
    std::int32_t currentMode = linearBlendingMode;
    std::unique_ptr<ShadingFunction> gradientFunction;
};
