// Time from process start to the main window mapped on the X display, median of several runs.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int runs = 11;
const char* const mainWindowTitle = "Download Store";

pid_t startProgram(const std::string& home) {
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    setenv("HOME", home.c_str(), 1);
    setenv("FRETLARK_SYSROOT", (home + "/sysroot").c_str(), 1);
    setenv("FRETLARK_RESOURCES", FRETLARK_RESOURCES_DIR, 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_CACHE_HOME");
    unsetenv("XDG_DATA_HOME");
    execl(FRETLARK_BINARY, FRETLARK_BINARY, static_cast<char*>(nullptr));
    _exit(127);
}

bool isMainWindow(Display* display, Window window) {
    char* name = nullptr;
    if (!XFetchName(display, window, &name) || !name)
        return false;
    // The title carries the Welcome picture's name once it is shown.
    bool matches = std::string(name).rfind(mainWindowTitle, 0) == 0;
    XFree(name);
    return matches;
}

// Waits for the main window to be mapped; answers the milliseconds since `start`, or -1.
double waitForMainWindow(Display* display, std::chrono::steady_clock::time_point start) {
    auto deadline = start + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && isMainWindow(display, event.xmap.window))
                return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                                 start)
                    .count();
        }
        usleep(1000);
    }
    return -1;
}

} // namespace

int main() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench_startup: no X display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    std::string home = std::filesystem::temp_directory_path() / "fretlark-bench-startup";
    std::vector<double> times;
    // One warm-up start fills the caches a user's machine already has (the plug-in registry);
    // every start then begins without settings.
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home + "/sysroot");
    for (int run = -1; run < runs; ++run) {
        std::filesystem::remove_all(home + "/.config/fretlark");
        XSync(display, True);
        auto start = std::chrono::steady_clock::now();
        pid_t pid = startProgram(home);
        double elapsed = waitForMainWindow(display, start);
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        if (elapsed < 0) {
            std::fprintf(stderr, "bench_startup: the main window never appeared\n");
            return 1;
        }
        if (run >= 0)
            times.push_back(elapsed);
    }
    std::filesystem::remove_all(home);
    std::sort(times.begin(), times.end());
    std::printf("startup to main window: median %.0f ms, fastest %.0f ms, slowest %.0f ms "
                "(%d runs)\n",
                times[times.size() / 2], times.front(), times.back(), runs);
    XCloseDisplay(display);
    return 0;
}
