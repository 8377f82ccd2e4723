#include "drawing/ShadingFunction.h"

#include <algorithm>
#include <cmath>

ShadingFunction::ShadingFunction(const void* info, Evaluate evaluate, const Domain& domain,
                                 const Ranges& ranges)
    : info(info), evaluate(evaluate), domain(domain), ranges(ranges) {}

std::array<float, 4> ShadingFunction::operator()(float input) const {
    float x = std::clamp(input, domain[0], domain[1]);
    std::array<float, 4> out{};
    evaluate(info, &x, out.data());
    for (std::size_t i = 0; i < out.size(); ++i) {
        // A NaN component (from a stop holding one) becomes the range's low end.
        float value = std::isnan(out[i]) ? ranges[2 * i] : out[i];
        out[i] = std::clamp(value, ranges[2 * i], ranges[2 * i + 1]);
    }
    return out;
}
