#include "drawing/CTGradient.h"

#include "drawing/CairoPattern.h"
#include "drawing/Coder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr ShadingFunction::Domain input_value_range = {0, 1};
constexpr ShadingFunction::Ranges output_value_ranges = {0, 1, 0, 1, 0, 1, 0, 1};

const char* const elementCountKey = "CTGradientElementCount";
const char* const blendingModeKey = "CTGradientBlendingMode";

// Between 2 and this many evenly spaced samples per fill, about one per device unit of the
// gradient's length: cairo interpolates between them, and more samples only slow its gradient
// walker down without a visible difference.
constexpr int maximumSampleCount = 256;

bool isValidMode(std::int32_t mode) {
    return mode >= CTGradient::linearBlendingMode &&
           mode <= CTGradient::inverseChromaticBlendingMode;
}

ShadingFunction::Evaluate evaluationFor(std::int32_t mode) {
    static constexpr ShadingFunction::Evaluate evaluations[] = {
        linearEvaluation, chromaticEvaluation, inverseChromaticEvaluation};
    return evaluations[mode];
}

const CTGradientElementList& stopsOf(const void* info) {
    return *static_cast<const CTGradientElementList*>(info);
}

void writeWhite(float* out) {
    std::fill(out, out + 4, 1.0f);
}

// The stops around x: walking from the first stop while x lies beyond the next one's position,
// the current stop is where the walk ends; the next is its successor, or the current stop itself
// when x lies beyond the last stop.
struct Segment {
    const CTGradientElement* current;
    const CTGradientElement* next;
};

Segment findSegment(const CTGradientElementList& stops, float x) {
    auto current = stops.begin();
    auto next = std::next(current);
    while (next != stops.end() && x > next->position) {
        current = next++;
    }
    return {&*current, next == stops.end() ? &*current : &*next};
}

// At or before the current stop its values, at or after the next stop its values, in between
// each of the four interpolated.
void choose(float x, const Segment& segment, const float* first, const float* second, float* out) {
    if (x <= segment.current->position) {
        std::copy(first, first + 4, out);
        return;
    }
    if (x >= segment.next->position) {
        std::copy(second, second + 4, out);
        return;
    }
    float t =
        (x - segment.current->position) / (segment.next->position - segment.current->position);
    for (int i = 0; i < 4; ++i) {
        out[i] = first[i] + (second[i] - first[i]) * t;
    }
}

void hueEvaluation(const void* info, const float* in, float* out, bool climbing) {
    const CTGradientElementList& stops = stopsOf(info);
    if (stops.empty()) {
        writeWhite(out);
        return;
    }
    Segment segment = findSegment(stops, *in);
    const CTGradientElement& a = *segment.current;
    const CTGradientElement& b = *segment.next;
    float first[4] = {a.red, a.green, a.blue, a.alpha};
    float second[4] = {b.red, b.green, b.blue, b.alpha};
    transformRGB_HSV(first);
    transformRGB_HSV(second);
    resolveHSV(first, second);
    if (climbing && first[0] > second[0]) {
        second[0] += 360;
    }
    if (!climbing && second[0] > first[0]) {
        first[0] += 360;
    }
    choose(*in, segment, first, second, out);
    transformHSV_RGB(out);
}

CTGradientElement elementFrom(const CTGradient::Color& color, float position) {
    return {color.red, color.green, color.blue, color.alpha, position};
}

CTGradient::Color colorOf(const CTGradientElement& element) {
    return {element.red, element.green, element.blue, element.alpha};
}

// Stops given as {position, red, green, blue, alpha}, added in that order.
std::unique_ptr<CTGradient> readyMade(std::int32_t mode,
                                      std::initializer_list<std::array<float, 5>> stops) {
    auto gradient = std::make_unique<CTGradient>();
    for (const auto& [position, red, green, blue, alpha] : stops) {
        gradient->addElement({red, green, blue, alpha, position});
    }
    gradient->setBlendingMode(mode);
    return gradient;
}

CTGradientElement elementFromHSV(float hue, float saturation, float value, float position) {
    float components[3] = {hue, saturation, value};
    transformHSV_RGB(components);
    return {components[0], components[1], components[2], 1, position};
}

std::string formatMessage(const char* format, double value) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string formatMessage(const char* format, unsigned value) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// The longer of the device lengths of `length` user units along x and along y.
double deviceLength(cairo_t* context, double length) {
    double xx = length, xy = 0, yx = 0, yy = length;
    cairo_user_to_device_distance(context, &xx, &xy);
    cairo_user_to_device_distance(context, &yx, &yy);
    return std::max(std::hypot(xx, xy), std::hypot(yx, yy));
}

} // namespace

CTGradientElement CTGradientElement::none() {
    return {0, 0, 0, 0, std::numeric_limits<float>::quiet_NaN()};
}

void linearEvaluation(const void* info, const float* in, float* out) {
    const CTGradientElementList& stops = stopsOf(info);
    if (stops.empty()) {
        writeWhite(out);
        return;
    }
    Segment segment = findSegment(stops, *in);
    const CTGradientElement& a = *segment.current;
    const CTGradientElement& b = *segment.next;
    const float first[4] = {a.red, a.green, a.blue, a.alpha};
    const float second[4] = {b.red, b.green, b.blue, b.alpha};
    choose(*in, segment, first, second, out);
}

void chromaticEvaluation(const void* info, const float* in, float* out) {
    hueEvaluation(info, in, out, true);
}

void inverseChromaticEvaluation(const void* info, const float* in, float* out) {
    hueEvaluation(info, in, out, false);
}

void transformRGB_HSV(float* components) {
    const float red = components[0];
    const float green = components[1];
    const float blue = components[2];
    // On a tie the later candidate wins: the earlier one only when strictly greater (smaller).
    const float max = red > green ? (red > blue ? red : blue) : (green > blue ? green : blue);
    const float min = green > red ? (blue > red ? red : blue) : (blue > green ? green : blue);
    float hue = std::numeric_limits<float>::quiet_NaN();
    if (max != min) {
        const float delta = max - min;
        if (max == red) {
            hue = 60 * (green - blue) / delta + (green < blue ? 360 : 0);
        } else if (max == green) {
            hue = 60 * (blue - red) / delta + 120;
        } else {
            hue = 60 * (red - green) / delta + 240;
        }
    }
    components[0] = hue;
    components[1] = max == 0 ? 0 : 1 - min / max;
    components[2] = max;
}

void transformHSV_RGB(float* components) {
    // The remainder is taken with 359, not 360: hue 359.5 comes out as hue 0.5.
    float hue = std::fmod(components[0], 359.0f);
    // Hues from the evaluations are never negative or undefined; other callers' are folded in.
    if (hue < 0) {
        hue += 359;
    }
    if (std::isnan(hue)) {
        hue = 0;
    }
    const int sector = static_cast<int>(std::floor(hue / 60)) % 6;
    const float f = hue / 60 - static_cast<float>(sector);
    const float s = components[1];
    const float v = components[2];
    const float p = v * (1 - s);
    const float q = v * (1 - s * f);
    const float t = v * (1 - s * (1 - f));
    const float rgb[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
    std::copy(rgb[sector], rgb[sector] + 3, components);
}

void resolveHSV(float* color1, float* color2) {
    const bool firstUndefined = std::isnan(color1[0]);
    const bool secondUndefined = std::isnan(color2[0]);
    if (firstUndefined && secondUndefined) {
        color1[0] = 0;
        color2[0] = 0;
    } else if (firstUndefined) {
        color1[0] = color2[0];
    } else if (secondUndefined) {
        color2[0] = color1[0];
    }
}

CTGradient::CTGradient() {
    _commonInit();
    setBlendingMode(linearBlendingMode);
}

CTGradient::CTGradient(Coder& coder) {
    if (!coder.allowsKeyedCoding()) {
        throw Coder::InvalidArchiveOperation("Only supports NSKeyedArchiver coders");
    }
    _commonInit();
    const std::int32_t archivedMode = coder.decodeIntForKey(blendingModeKey);
    if (!isValidMode(archivedMode)) {
        throw Coder::InvalidUnarchiveOperation("CTGradient: unknown blending mode " +
                                               std::to_string(archivedMode));
    }
    setBlendingMode(archivedMode);
    const std::int32_t count = coder.decodeIntForKey(elementCountKey);
    if (count < 0) {
        throw Coder::InvalidUnarchiveOperation("CTGradient: negative element count " +
                                               std::to_string(count));
    }
    for (std::int32_t i = 0; i < count; ++i) {
        CTGradientElement element;
        element.red = coder.decodeFloat();
        element.green = coder.decodeFloat();
        element.blue = coder.decodeFloat();
        element.alpha = coder.decodeFloat();
        element.position = coder.decodeFloat();
        addElement(element);
    }
}

CTGradient::~CTGradient() = default;

void CTGradient::_commonInit() {
    elementList.clear();
}

std::unique_ptr<CTGradient> CTGradient::gradientWithBeginningColor(const Color& begin,
                                                                   const Color& endingColor) {
    auto gradient = std::make_unique<CTGradient>();
    gradient->addElement(elementFrom(begin, 0));
    gradient->addElement(elementFrom(endingColor, 1));
    return gradient;
}

std::unique_ptr<CTGradient> CTGradient::aquaSelectedGradient() {
    return readyMade(linearBlendingMode, {{0, 0.58f, 0.86f, 0.98f, 1},
                                          {0.5f, 0.42f, 0.68f, 0.90f, 1},
                                          {0.5f, 0.64f, 0.80f, 0.94f, 1},
                                          {1, 0.56f, 0.70f, 0.90f, 1}});
}

std::unique_ptr<CTGradient> CTGradient::aquaNormalGradient() {
    return readyMade(linearBlendingMode, {{0, 0.95f, 0.95f, 0.95f, 1},
                                          {0.5f, 0.83f, 0.83f, 0.83f, 1},
                                          {0.5f, 0.95f, 0.95f, 0.95f, 1},
                                          {1, 0.92f, 0.92f, 0.92f, 1}});
}

std::unique_ptr<CTGradient> CTGradient::aquaPressedGradient() {
    return readyMade(linearBlendingMode, {{0, 0.80f, 0.80f, 0.80f, 1},
                                          {0.5f, 0.64f, 0.64f, 0.64f, 1},
                                          {0.5f, 0.80f, 0.80f, 0.80f, 1},
                                          {1, 0.77f, 0.77f, 0.77f, 1}});
}

std::unique_ptr<CTGradient> CTGradient::unifiedSelectedGradient() {
    return readyMade(linearBlendingMode,
                     {{0, 0.85f, 0.85f, 0.85f, 1}, {1, 0.95f, 0.95f, 0.95f, 1}});
}

std::unique_ptr<CTGradient> CTGradient::unifiedNormalGradient() {
    return readyMade(linearBlendingMode,
                     {{0, 0.75f, 0.75f, 0.75f, 1}, {1, 0.90f, 0.90f, 0.90f, 1}});
}

std::unique_ptr<CTGradient> CTGradient::unifiedPressedGradient() {
    return readyMade(linearBlendingMode,
                     {{0, 0.60f, 0.60f, 0.60f, 1}, {1, 0.75f, 0.75f, 0.75f, 1}});
}

std::unique_ptr<CTGradient> CTGradient::unifiedDarkGradient() {
    return readyMade(linearBlendingMode,
                     {{0, 0.68f, 0.68f, 0.68f, 1}, {1, 0.83f, 0.83f, 0.83f, 1}});
}

std::unique_ptr<CTGradient> CTGradient::sourceListSelectedGradient() {
    return readyMade(linearBlendingMode,
                     {{0, 0.06f, 0.37f, 0.85f, 1}, {1, 0.30f, 0.60f, 0.92f, 1}});
}

std::unique_ptr<CTGradient> CTGradient::sourceListUnselectedGradient() {
    return readyMade(linearBlendingMode,
                     {{0, 0.43f, 0.43f, 0.43f, 1}, {1, 0.60f, 0.60f, 0.60f, 1}});
}

std::unique_ptr<CTGradient> CTGradient::rainbowGradient() {
    return readyMade(chromaticBlendingMode, {{0, 1, 0, 0, 1}, {1, 0.54f, 0, 1, 1}});
}

std::unique_ptr<CTGradient> CTGradient::hydrogenSpectrumGradient() {
    struct SpectralLine {
        float hue;
        float centre;
        float halfWidth;
    };
    const SpectralLine lines[] = {
        {22, 0.145f, 0.01f}, {200, 0.71f, 0.008f}, {253, 0.885f, 0.005f}, {275, 0.965f, 0.003f}};
    auto gradient = std::make_unique<CTGradient>();
    for (const SpectralLine& line : lines) {
        const float spread = 180 * line.halfWidth;
        gradient->addElement(
            elementFromHSV(line.hue - spread, 1, 0.001f, line.centre - line.halfWidth));
        gradient->addElement(elementFromHSV(line.hue, 1, 1, line.centre));
        gradient->addElement(
            elementFromHSV(line.hue + spread, 1, 0.001f, line.centre + line.halfWidth));
    }
    gradient->setBlendingMode(chromaticBlendingMode);
    return gradient;
}

std::unique_ptr<CTGradient> CTGradient::copy() const {
    auto gradient = std::make_unique<CTGradient>();
    for (const CTGradientElement& element : elementList) {
        gradient->addElement(element);
    }
    gradient->setBlendingMode(currentMode);
    return gradient;
}

std::unique_ptr<CTGradient> CTGradient::gradientWithAlphaComponent(float alpha) const {
    auto gradient = std::make_unique<CTGradient>();
    for (CTGradientElement element : elementList) {
        element.alpha = alpha;
        gradient->addElement(element);
    }
    return gradient;
}

std::unique_ptr<CTGradient> CTGradient::gradientWithBlendingMode(std::int32_t mode) const {
    auto gradient = copy();
    gradient->setBlendingMode(mode);
    return gradient;
}

std::unique_ptr<CTGradient> CTGradient::addColorStop(const Color& color, float atPosition) const {
    auto gradient = copy();
    gradient->addElement(elementFrom(color, atPosition));
    return gradient;
}

std::unique_ptr<CTGradient> CTGradient::removeColorStopAtIndex(unsigned index) const {
    // Checked by count, not by the removed stop's position, so a stop whose position is NaN can
    // still be removed.
    if (elementAtIndex(index) == nullptr) {
        throw std::out_of_range(formatMessage(
            "-[CTGradient removeColorStopAtIndex:]: index (%u) beyond bounds", index));
    }
    auto gradient = copy();
    gradient->removeElementAtIndex(index);
    return gradient;
}

std::unique_ptr<CTGradient> CTGradient::removeColorStopAtPosition(float position) const {
    auto gradient = copy();
    if (std::isnan(gradient->removeElementAtPosition(position).position)) {
        throw std::out_of_range(formatMessage(
            "-[CTGradient removeColorStopAtPosition:]: no such colorStop at position (%f)",
            static_cast<double>(position)));
    }
    return gradient;
}

CTGradient::Color CTGradient::colorStopAtIndex(unsigned index) const {
    const CTGradientElement* element = elementAtIndex(index);
    if (element == nullptr) {
        throw std::out_of_range(
            formatMessage("-[CTGradient colorStopAtIndex:]: index (%u) beyond bounds", index));
    }
    return colorOf(*element);
}

CTGradient::Color CTGradient::colorAtPosition(float position) const {
    float components[4];
    evaluationFor(currentMode)(&elementList, &position, components);
    return {components[0], components[1], components[2], components[3]};
}

void CTGradient::setBlendingMode(std::int32_t mode) {
    if (!isValidMode(mode)) {
        throw std::invalid_argument("CTGradient: unknown blending mode " + std::to_string(mode));
    }
    currentMode = mode;
    gradientFunction = std::make_unique<ShadingFunction>(&elementList, evaluationFor(mode),
                                                         input_value_range, output_value_ranges);
}

void CTGradient::addElement(const CTGradientElement& element) {
    if (elementList.empty() || elementList.front().position > element.position) {
        elementList.push_front(element);
        return;
    }
    // Behind every stop of an equal or lower position.
    auto last = elementList.begin();
    for (auto next = std::next(last);
         next != elementList.end() && next->position <= element.position; ++next) {
        last = next;
    }
    elementList.insert_after(last, element);
}

CTGradientElement CTGradient::removeElementAtIndex(unsigned index) {
    auto before = elementList.before_begin();
    for (unsigned i = 0; i < index && std::next(before) != elementList.end(); ++i) {
        ++before;
    }
    if (std::next(before) == elementList.end()) {
        return CTGradientElement::none();
    }
    CTGradientElement removed = *std::next(before);
    elementList.erase_after(before);
    return removed;
}

CTGradientElement CTGradient::removeElementAtPosition(float position) {
    for (auto before = elementList.before_begin(); std::next(before) != elementList.end();
         ++before) {
        if (std::next(before)->position == position) {
            CTGradientElement removed = *std::next(before);
            elementList.erase_after(before);
            return removed;
        }
    }
    return CTGradientElement::none();
}

const CTGradientElement* CTGradient::elementAtIndex(unsigned index) const {
    auto element = elementList.begin();
    for (unsigned i = 0; i < index && element != elementList.end(); ++i) {
        ++element;
    }
    return element == elementList.end() ? nullptr : &*element;
}

CTGradient::AxialLine CTGradient::axialLine(const Rect& rect, float angle) {
    const float x = rect.x, y = rect.y, w = rect.width, h = rect.height;
    if (angle == 0) {
        return {{x, y}, {x + w, y}};
    }
    if (angle == 90) {
        return {{x, y}, {x, y + h}};
    }
    const float a = static_cast<float>(angle * std::numbers::pi / 180);
    float length, dx, dy;
    if (std::fabs(std::tan(a)) <= 1) {
        length =
            w / std::fabs(std::cos(a)) + (h - w * std::fabs(std::tan(a))) * std::fabs(std::sin(a));
        dx = length * std::cos(a) / 2;
        dy = length * std::sin(a) / 2;
    } else {
        const double b = a - std::numbers::pi / 2;
        length = static_cast<float>(h / std::fabs(std::cos(b)) +
                                    (w - h * std::fabs(std::tan(b))) * std::fabs(std::sin(b)));
        dx = static_cast<float>(-length * std::sin(b) / 2);
        dy = static_cast<float>(length * std::cos(b) / 2);
    }
    const float cx = x + w / 2, cy = y + h / 2;
    return {{cx - dx, cy - dy}, {cx + dx, cy + dy}};
}

void CTGradient::fillRect(cairo_t* context, const Rect& rect, float angle) const {
    const AxialLine line = axialLine(rect, angle);
    CairoPattern shading(
        cairo_pattern_create_linear(line.start.x, line.start.y, line.end.x, line.end.y));
    cairo_pattern_set_extend(shading.get(), CAIRO_EXTEND_NONE);
    const double length = std::hypot(line.end.x - line.start.x, line.end.y - line.start.y);
    addStopsTo(shading.get(), deviceLength(context, length));
    paint(context, rect, shading.get());
}

void CTGradient::radialFillRect(cairo_t* context, const Rect& rect) const {
    const float cx = rect.x + rect.width / 2, cy = rect.y + rect.height / 2;
    const float radius = rect.height > rect.width ? rect.height / 2 : rect.width / 2;
    CairoPattern shading(cairo_pattern_create_radial(cx, cy, 1, cx, cy, radius));
    cairo_pattern_set_extend(shading.get(), CAIRO_EXTEND_PAD);
    addStopsTo(shading.get(), deviceLength(context, std::fabs(radius - 1)));
    paint(context, rect, shading.get());
}

void CTGradient::drawSwatchInRect(cairo_t* context, const Rect& rect) const {
    fillRect(context, rect, 45);
}

void CTGradient::encodeWithCoder(Coder& coder) const {
    if (!coder.allowsKeyedCoding()) {
        throw Coder::InvalidArchiveOperation("Only supports NSKeyedArchiver coders");
    }
    std::int32_t count = 0;
    for (const CTGradientElement& element : elementList) {
        coder.encodeFloat(element.red);
        coder.encodeFloat(element.green);
        coder.encodeFloat(element.blue);
        coder.encodeFloat(element.alpha);
        coder.encodeFloat(element.position);
        ++count;
    }
    coder.encodeInt(count, elementCountKey);
    coder.encodeInt(currentMode, blendingModeKey);
}

// Cairo has no function-driven shading, so the shading function is sampled into colour stops:
// evenly over the domain, and on both sides of every stop so that hard steps stay sharp.
void CTGradient::addStopsTo(cairo_pattern_t* pattern, double deviceLength) const {
    struct Sample {
        float offset;
        float input;
        bool operator<(const Sample& other) const {
            return offset != other.offset ? offset < other.offset : input < other.input;
        }
    };
    const double wanted = std::isfinite(deviceLength) ? std::ceil(deviceLength) + 1 : 0;
    const int count = static_cast<int>(std::clamp(wanted, 2.0, double{maximumSampleCount}));
    std::vector<Sample> samples;
    for (int i = 0; i < count; ++i) {
        const float x = static_cast<float>(i) / static_cast<float>(count - 1);
        samples.push_back({x, x});
    }
    for (const CTGradientElement& element : elementList) {
        const float p = element.position;
        if (p >= 0 && p <= 1) {
            samples.push_back({p, p});
            samples.push_back({p, std::nextafter(p, 2.0f)});
        }
    }
    std::sort(samples.begin(), samples.end());
    for (const Sample& sample : samples) {
        const std::array<float, 4> rgba = (*gradientFunction)(sample.input);
        cairo_pattern_add_color_stop_rgba(pattern, sample.offset, rgba[0], rgba[1], rgba[2],
                                          rgba[3]);
    }
}

void CTGradient::paint(cairo_t* context, const Rect& rect, cairo_pattern_t* pattern) {
    cairo_save(context);
    cairo_rectangle(context, rect.x, rect.y, rect.width, rect.height);
    cairo_clip(context);
    cairo_set_source(context, pattern);
    cairo_paint(context);
    cairo_restore(context);
}
