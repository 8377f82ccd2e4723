// The store, through the real controller and WebKitGTK view against the demo store program:
// from pressing Buy to the first byte of the lesson on disk (median of 5; curl making the same
// three requests is the peer), and the memory of the program with its web engine processes in
// browse mode against shop mode.
#include "BenchStore.h"

#include "app/AppController.h"
#include "platform/Defaults.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtk/gtk.h>
#include <gtkmm/application.h>
#include <gtkmm/button.h>
#include <gtkmm/progressbar.h>
#include <sstream>
#include <unistd.h>
#include <webkit/webkit.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int runs = 5;
const char* const lessonName = "Ghost Notes.mov";

bool spinUntil(const std::function<bool()>& done) {
    auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        g_main_context_iteration(nullptr, FALSE);
    }
    return true;
}

void settle() {
    auto until = Clock::now() + std::chrono::seconds(2);
    spinUntil([&] { return Clock::now() > until; });
}

std::vector<int> childrenOf(int parent) {
    std::vector<int> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        int pid = std::atoi(entry.path().filename().c_str());
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (pid <= 0 || !std::getline(stat, line))
            continue;
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string state;
        int ppid = 0;
        fields >> state >> ppid;
        if (ppid == parent)
            children.push_back(pid);
    }
    return children;
}

// Proportional set size of the process and everything it started, in MiB.
double memoryOfTree(int pid) {
    double kilobytes = 0;
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);)
        if (line.rfind("Pss:", 0) == 0)
            kilobytes += std::atof(line.c_str() + 4);
    double total = kilobytes / 1024;
    for (int child : childrenOf(pid))
        total += memoryOfTree(child);
    return total;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    if (pipe)
        pclose(pipe);
    return output;
}

// The same three requests with curl: the purchase, its description, the lesson's first byte.
double curlPurchase(const BenchStore& store, const std::string& base) {
    std::string curl = "curl -s --cacert '" + store.authority() + "' ";
    auto start = Clock::now();
    std::string headers = run(curl +
                              "-o /dev/null -D - -H 'Cookie: Login=Ada%20Student' -d "
                              "product=2 '" +
                              base + "/downloadStore/buy.php'");
    auto at = headers.find("Download: ");
    std::string order = headers.substr(at + 10, headers.find('\r', at) - at - 10);
    run(curl + "-o /dev/null '" + base + "/downloadStore/download.php?" + order + "'");
    run(curl + "-o /dev/null -r 0-0 '" + base + "/lessons/Ghost%20Notes.mov'");
    return millisecondsSince(start);
}

} // namespace

int main() {
    BenchStore store;
    if (!store.started()) {
        std::fprintf(stderr, "bench_store: the demo store did not start\n");
        return 1;
    }
    setenv("XDG_DATA_HOME", (store.folder() + "/home/.local/share").c_str(), 1);
    setenv("FRETLARK_SYSROOT", (store.folder() + "/sysroot").c_str(), 1);
    std::string url = store.makeLesson(lessonName, 20);
    std::string base = url.substr(0, url.find("/lessons/"));
    Defaults::standard().setString("storeHost", base.substr(8));
    Defaults::standard().setBool("showWelcomeSplash", false);

    gtk_init();
    auto application =
        Gtk::Application::create("org.fretlark.BenchStore", Gio::Application::Flags::NON_UNIQUE);
    application->register_application();
    AppController controller(application);
    controller.awakeFromNib();
    settle();
    double browseMemory = memoryOfTree(getpid());
    controller.setShopMode();
    auto loaded = [&] {
        return !controller.webView->isLoading() && !controller.stopButton->get_visible();
    };
    spinUntil(loaded);
    settle();
    double shopMemory = memoryOfTree(getpid());

    controller.login("student@example.com", "scales");
    spinUntil([&] { return controller.loginState; });
    std::string lesson =
        store.folder() + "/home/Music/Fretlark/Purchases/Bass/Technique/Slap/" + lessonName;
    std::vector<double> times;
    for (int attempt = 0; attempt < runs; ++attempt) {
        controller.goHome(nullptr);
        spinUntil(loaded);
        auto start = Clock::now();
        webkit_web_view_evaluate_javascript(controller.webView->view(),
                                            "document.querySelectorAll('input.buy')[1].click()", -1,
                                            nullptr, nullptr, nullptr, nullptr, nullptr);
        if (!spinUntil([&] { return fs::exists(lesson) && fs::file_size(lesson) > 0; })) {
            std::fprintf(stderr, "bench_store: the lesson never arrived\n");
            return 1;
        }
        times.push_back(millisecondsSince(start));
        spinUntil([&] { return !controller.downloadBar->get_visible(); });
        spinUntil([&] { return fs::file_size(lesson) == 20u * 1024 * 1024; });
        fs::remove(lesson);
        fs::remove(store.folder() + "/home/Music/Fretlark/Purchases/Downloads/" + lessonName);
    }
    std::vector<double> peer;
    for (int attempt = 0; attempt < runs; ++attempt)
        peer.push_back(curlPurchase(store, base));
    std::printf("Buy to the lesson's first byte on disk: median %.0f ms (%d runs); curl making the "
                "same three requests: median %.0f ms (ratio %.1f)\n",
                median(times), runs, median(peer), median(times) / median(peer));
    std::printf("memory (PSS of the program and its web engine processes): browse mode %.0f MiB, "
                "shop mode %.0f MiB\n",
                browseMemory, shopMemory);
    controller.terminate(nullptr);
    return 0;
}
