// A folder of 1,000 lesson movies: from the browser click to every row's four text columns
// ready, through the real controller and window. Median of several clicks.
#include "app/AppController.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtk/gtk.h>
#include <gtkmm/application.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/columnviewcolumn.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int lessons = 1000;
constexpr int runs = 7;

std::string makeLibrary(const std::string& root) {
    std::string folder =
        root + "/sysroot/Library/Application Support/Fretlark/Videos/Bench/Thousand Lessons";
    fs::create_directories(folder);
    std::string first = folder + "/Lesson 0001.mov";
    std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i "
        "testsrc2=size=160x120:rate=30 -t 2 -c:v libx264 -pix_fmt yuv420p "
        "-metadata artist=Bench -metadata description='Guitar Beginner' -f mov '" +
        first + "'";
    if (std::system(command.c_str()) != 0)
        return {};
    for (int i = 2; i <= lessons; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/Lesson %04d.mov", i);
        fs::copy_file(first, folder + name);
    }
    return folder;
}

} // namespace

int main() {
    std::string root = (fs::temp_directory_path() / "fretlark-bench-file-list").string();
    fs::remove_all(root);
    if (makeLibrary(root).empty()) {
        std::fprintf(stderr, "bench_file_list: cannot generate the lessons\n");
        return 1;
    }
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("FRETLARK_SYSROOT", (root + "/sysroot").c_str(), 1);
    gtk_init();
    auto application =
        Gtk::Application::create("org.fretlark.BenchFileList", Gio::Application::Flags::NON_UNIQUE);
    application->register_application();
    AppController controller(application);
    controller.chooseStrumwell();
    controller.configureBrowser();
    controller.configureFileList();
    controller.window()->present();
    while (g_main_context_iteration(nullptr, FALSE))
        continue;
    std::vector<Gtk::ColumnViewColumn*> columns;
    for (const char* id : {"Name", "Artist", "Instrument", "Level"})
        columns.push_back(controller.resultsView->tableColumnWithIdentifier(id));
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        controller.fsBrowser->loadColumnZero();
        controller.fsBrowser->setPath("/Bench/Thousand Lessons");
        auto start = std::chrono::steady_clock::now();
        controller.browserSingleClick(controller.fsBrowser);
        for (int row = 0; row < controller.lastRowCount; ++row)
            for (auto* column : columns)
                controller.objectValueForTableColumn(controller.resultsView, column, row);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    std::printf("file list of %d lessons, click to four text columns ready: median %.0f ms, "
                "fastest %.0f ms (%d runs)\n",
                controller.lastRowCount, times[times.size() / 2], times.front(), runs);
    fs::remove_all(root);
    return 0;
}
