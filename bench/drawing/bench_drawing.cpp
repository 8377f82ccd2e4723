// Prints how long the gradient's evaluations and fills and the status view's drawing take.
#include "drawing/CTGradient.h"
#include "drawing/StatusView.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// Runs the work repeatedly for about a quarter of a second and answers microseconds per run.
double microsecondsPerRun(const std::function<void()>& work) {
    work();
    long runs = 0;
    const auto start = Clock::now();
    auto elapsed = Clock::duration::zero();
    while (elapsed < std::chrono::milliseconds(250)) {
        work();
        ++runs;
        elapsed = Clock::now() - start;
    }
    return std::chrono::duration<double, std::micro>(elapsed).count() / static_cast<double>(runs);
}

void benchEvaluations() {
    const struct {
        const char* name;
        ShadingFunction::Evaluate evaluate;
    } evaluations[] = {{"linear", linearEvaluation},
                       {"chromatic", chromaticEvaluation},
                       {"inverse chromatic", inverseChromaticEvaluation}};
    auto hydrogen = CTGradient::hydrogenSpectrumGradient();
    CTGradientElementList stops;
    for (unsigned i = 0; hydrogen->elementAtIndex(i) != nullptr; ++i) {
        stops.push_front(*hydrogen->elementAtIndex(i));
    }
    stops.reverse();
    for (const auto& evaluation : evaluations) {
        float sink = 0;
        const double perThousand = microsecondsPerRun([&] {
            float out[4];
            for (int i = 0; i < 1000; ++i) {
                const float x = static_cast<float>(i) / 999;
                evaluation.evaluate(&stops, &x, out);
                sink += out[0];
            }
        });
        std::printf("%-18s evaluation, 12 stops: %7.1f ns per call%s\n", evaluation.name,
                    perThousand, sink < 0 ? "!" : "");
    }
}

void benchFills() {
    auto surface = Cairo::ImageSurface::create(Cairo::Surface::Format::ARGB32, 1000, 1000);
    auto context = Cairo::Context::create(surface);
    const CTGradient::Rect rect{0, 0, 1000, 1000};
    const struct {
        const char* name;
        std::unique_ptr<CTGradient> gradient;
    } gradients[] = {{"unified normal", CTGradient::unifiedNormalGradient()},
                     {"aqua selected", CTGradient::aquaSelectedGradient()},
                     {"rainbow", CTGradient::rainbowGradient()},
                     {"hydrogen", CTGradient::hydrogenSpectrumGradient()}};
    for (const auto& [name, gradient] : gradients) {
        for (float angle : {0.0f, 45.0f, 270.0f}) {
            const double us = microsecondsPerRun(
                [&, &g = gradient] { g->fillRect(context->cobj(), rect, angle); });
            std::printf("%-15s axial fill 1000x1000 at %3.0f degrees: %8.2f ms\n", name, angle,
                        us / 1000);
        }
        const double us =
            microsecondsPerRun([&, &g = gradient] { g->radialFillRect(context->cobj(), rect); });
        std::printf("%-15s radial fill 1000x1000:            %8.2f ms\n", name, us / 1000);
    }
}

void benchStatusView() {
    auto surface = Cairo::ImageSurface::create(Cairo::Surface::Format::ARGB32, 1200, 22);
    auto context = Cairo::Context::create(surface);
    const double us =
        microsecondsPerRun([&] { StatusView::drawRect(context, Gdk::Rectangle(0, 0, 1200, 22)); });
    std::printf("status view 1200x22 draw: %8.1f us\n", us);
}

} // namespace

int main() {
    benchEvaluations();
    benchFills();
    benchStatusView();
    return 0;
}
