#pragma once

// Raises the rate a step after each completed pass of a section, from a start speed until it
// reaches the target, then holds it there. A step always moves toward the target, so a target
// below the start slows down instead.
class SpeedTrainer {
public:
    static constexpr double defaultStartRate = 0.6;
    static constexpr double defaultStep = 0.05;
    static constexpr double defaultTargetRate = 1.0;

    bool enabled = false;
    double startRate = defaultStartRate;
    double step = defaultStep;
    double targetRate = defaultTargetRate;

    // Training starts over: no pass done, the start speed.
    void start() { passCount = 0; }
    // Training goes on from a rate set by hand or left the last time: the passes that lead there.
    void resumeAt(double rate);
    // One pass done (passes go on being counted at the target); answers the next pass's rate.
    double completePass();
    // The rate of the pass now playing.
    double rate() const;
    int passes() const { return passCount; }

    bool operator==(const SpeedTrainer&) const = default;

private:
    int passCount = 0;
};
