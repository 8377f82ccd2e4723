// How long the main thread's loop stays blocked, at worst, while a fast transfer posts its
// progress: a 1 ms timer on the main context measures how late each of its ticks comes.
#include "BenchStore.h"
#include "download/DownloadController.h"
#include "download/DownloadProgressDelegate.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <glib.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Progress : DownloadProgressDelegate {
    void startDownloadProgress(const std::string&) override {}
    void updateDownloadProgress(double) override { ++updates; }
    void endDownloadProgress() override { ended = true; }
    long updates = 0;
    bool ended = false;
};

struct Ticks {
    Clock::time_point last = Clock::now();
    std::vector<double> gaps;
};

gboolean tick(gpointer data) {
    auto* ticks = static_cast<Ticks*>(data);
    auto now = Clock::now();
    ticks->gaps.push_back(std::chrono::duration<double, std::milli>(now - ticks->last).count());
    ticks->last = now;
    return G_SOURCE_CONTINUE;
}

} // namespace

int main() {
    BenchStore store;
    if (!store.started()) {
        std::fprintf(stderr, "bench_download_main_loop: the demo store did not start\n");
        return 1;
    }
    std::string url = store.makeLesson("Fast.mov", 200);
    std::string description = store.folder() + "/description.xml";
    std::ofstream(description) << store.descriptionFor("Fast.mov", url);

    Progress progress;
    Ticks ticks;
    DownloadController& controller = DownloadController::sharedInstance(&progress);
    guint timer = g_timeout_add(1, tick, &ticks);
    auto start = Clock::now();
    controller.addDownload(description);
    while (!progress.ended)
        g_main_context_iteration(nullptr, TRUE);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    g_source_remove(timer);
    controller.pauseDownloads();
    DownloadController::uninitialize();

    std::sort(ticks.gaps.begin(), ticks.gaps.end());
    auto percentile = [&](double p) {
        return ticks.gaps.empty()
                   ? 0.0
                   : ticks.gaps[static_cast<std::size_t>(p * (ticks.gaps.size() - 1))];
    };
    std::printf("transfer: 200 MB in %.2f s, %ld progress notifications (%.0f per second)\n",
                seconds, progress.updates, static_cast<double>(progress.updates) / seconds);
    std::printf("main loop tick gap (1 ms timer): median %.2f ms, p99 %.2f ms, worst %.2f ms\n",
                percentile(0.5), percentile(0.99), ticks.gaps.empty() ? 0.0 : ticks.gaps.back());
    return 0;
}
