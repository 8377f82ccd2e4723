#pragma once

#include <array>

// A function of one input giving four colour components, as a shading asks for it: the input is
// clamped to the domain and each output to its range. It keeps a pointer to the data it reads
// (never a copy), so later changes to that data are seen by later evaluations.
class ShadingFunction {
public:
    using Evaluate = void (*)(const void* info, const float* in, float* out);
    using Domain = std::array<float, 2>;
    using Ranges = std::array<float, 8>;

    ShadingFunction(const void* info, Evaluate evaluate, const Domain& domain,
                    const Ranges& ranges);

    std::array<float, 4> operator()(float input) const;

private:
    const void* info;
    Evaluate evaluate;
    Domain domain;
    Ranges ranges;
};
