// Throughput of one 200 MB lesson from the demo store on loopback: the download engine against
// curl on the same file, and the CPU time each spends per MB.
#include "BenchStore.h"
#include "download/DownloadController.h"
#include "download/DownloadProgressDelegate.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <glib.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

constexpr std::size_t lessonMegabytes = 200;

struct Finish : DownloadProgressDelegate {
    void startDownloadProgress(const std::string&) override {}
    void updateDownloadProgress(double) override {}
    void endDownloadProgress() override { ended = true; }
    bool ended = false;
};

double cpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSeconds(usage);
}

struct Run {
    double seconds = 0;
    double cpu = 0;
};

Run engineRun(BenchStore& store, const std::string& url) {
    Finish finish;
    DownloadController& controller = DownloadController::sharedInstance(&finish);
    std::string description = store.folder() + "/description.xml";
    std::ofstream(description) << store.descriptionFor("Big.mov", url);
    double cpuBefore = processCpuSeconds();
    auto start = std::chrono::steady_clock::now();
    controller.addDownload(description);
    while (!finish.ended)
        g_main_context_iteration(nullptr, TRUE);
    Run run{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            processCpuSeconds() - cpuBefore};
    controller.pauseDownloads();
    DownloadController::uninitialize();
    return run;
}

Run curlRun(BenchStore& store, const std::string& url) {
    std::string output = store.folder() + "/curl.out";
    auto start = std::chrono::steady_clock::now();
    GPid pid = 0;
    const char* argv[] = {"curl", "-s",           "--cacert",  store.authority().c_str(),
                          "-o",   output.c_str(), url.c_str(), nullptr};
    if (!g_spawn_async(nullptr, const_cast<char**>(argv), nullptr,
                       GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
                       nullptr, &pid, nullptr))
        return {};
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Run run{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            cpuSeconds(usage)};
    // Its pages are dropped unwritten, so the engine's run does not share the disk with them.
    std::remove(output.c_str());
    return run;
}

} // namespace

int main() {
    BenchStore store;
    if (!store.started()) {
        std::fprintf(stderr, "bench_download_throughput: the demo store did not start\n");
        return 1;
    }
    std::string url = store.makeLesson("Big.mov", lessonMegabytes);
    Run curl = curlRun(store, url);
    Run engine = engineRun(store, url);
    double mb = static_cast<double>(lessonMegabytes);
    std::printf("lesson: %zu MB over https on 127.0.0.1\n", lessonMegabytes);
    std::printf("engine: %.1f MB/s, %.2f ms CPU per MB\n", mb / engine.seconds,
                engine.cpu * 1000 / mb);
    std::printf("curl:   %.1f MB/s, %.2f ms CPU per MB\n", mb / curl.seconds, curl.cpu * 1000 / mb);
    std::printf("engine/curl throughput ratio: %.2f\n", curl.seconds / engine.seconds);
    std::printf("engine/curl CPU per MB ratio: %.2f\n", engine.cpu / curl.cpu);
    return 0;
}
