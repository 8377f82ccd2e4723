#include "practice/SpeedTrainer.h"

#include <algorithm>
#include <cmath>

double SpeedTrainer::completePass() {
    ++passCount;
    return rate();
}

// Counted from the start each time, so no rounding builds up over many passes.
double SpeedTrainer::rate() const {
    double direction = targetRate >= startRate ? 1.0 : -1.0;
    double raw = startRate + direction * std::abs(step) * passCount;
    double bounded = direction > 0 ? std::min(raw, targetRate) : std::max(raw, targetRate);
    return std::round(bounded * 1000.0) / 1000.0;
}

void SpeedTrainer::resumeAt(double rate) {
    double distance = std::abs(rate - startRate);
    bool towardTarget = (rate - startRate) * (targetRate - startRate) > 0;
    passCount =
        towardTarget && step != 0 ? static_cast<int>(std::lround(distance / std::abs(step))) : 0;
}
