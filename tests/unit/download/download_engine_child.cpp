// Runs the download engine in a process of its own for the crash test, with the HOME and store
// settings of the parent test. "add DESCRIPTION" queues a description and downloads until killed;
// "resume" picks up what an earlier run left and exits 0 once every lesson is complete.
#include "download/DownloadController.h"
#include "platform/MainThread.h"

#include <filesystem>
#include <glib.h>
#include <string>

namespace {

bool recordsRemain(const std::string& workFolder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(workFolder, error)) {
        if (entry.path().extension() == ".plist")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    MainThread::adopt();
    DownloadController& controller = DownloadController::sharedInstance(nullptr);
    std::string mode = argv[1];
    if (mode == "add" && argc == 3) {
        controller.addDownload(argv[2]);
        GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
        g_main_loop_run(loop);
        return 0;
    }
    if (mode != "resume")
        return 2;
    controller.resumeDownloadsIfNeeded();
    std::string workFolder = controller.cacheWorkDirectoryPath(false);
    gint64 deadline = g_get_monotonic_time() + 120 * G_USEC_PER_SEC;
    while (recordsRemain(workFolder) && g_get_monotonic_time() < deadline) {
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(2000);
    }
    bool complete = !recordsRemain(workFolder);
    controller.pauseDownloads();
    DownloadController::uninitialize();
    return complete ? 0 : 1;
}
