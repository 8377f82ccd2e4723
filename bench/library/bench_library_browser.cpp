// How long a browser column of 10,000 entries takes from the reload to its rows being ready
// (listed, cells filled, model set) and to its first rows being on screen.
#include "library/FSBrowserCell.h"
#include "library/FSNodeInfo.h"
#include "platform/ui/BrowserRow.h"
#include "platform/ui/ColumnBrowser.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtk/gtk.h>
#include <gtkmm/init.h>
#include <gtkmm/window.h>
#include <map>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Lists a column when asked for its count and fills the cells from that listing, as the
// application's controller does.
class LibraryDelegate : public ColumnBrowserDelegate, public LibraryRoot {
public:
    explicit LibraryDelegate(std::string root) : root(std::move(root)) {}
    std::string getRootDirectory() override { return root; }
    int numberOfRowsInColumn(ColumnBrowser* browser, int column) override {
        std::string folder = column == 0 ? root : root + browser->pathToColumn(column);
        listing = FSNodeInfo::nodeWithParent(nullptr, folder, this)->visibleSubNodes();
        return static_cast<int>(listing.size());
    }
    void willDisplayCell(ColumnBrowser*, BrowserCell* cell, int row, int) override {
        static_cast<FSBrowserCell*>(cell)->setAttributedStringValueFromFSNodeInfo(*listing[row]);
    }

private:
    std::string root;
    FSNodeInfoArray listing;
};

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Processor time of this process: less disturbed than wall time when the machine is busy.
double processorMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool firstRowShown(ColumnBrowser& browser) {
    Gtk::Widget* item = browser.matrixInColumn(0)->get_first_child();
    auto* row = item ? dynamic_cast<BrowserRow*>(item->get_first_child()) : nullptr;
    return row && row->cell();
}

void makeLibrary(const std::string& root, int folders, int files) {
    fs::create_directories(root);
    for (int index = 0; index < folders; ++index) {
        std::string folder = root + "/Course " + std::to_string(index);
        fs::create_directories(folder);
        std::ofstream(folder + "/Lesson.mov") << "x";
    }
    for (int index = 0; index < files; ++index)
        std::ofstream(root + "/Lesson " + std::to_string(index) + ".mov") << "x";
}

void measure(const char* label, const std::string& root) {
    LibraryDelegate delegate(root);
    Gtk::Window window;
    auto* browser = Gtk::make_managed<ColumnBrowser>();
    browser->setDelegate(&delegate);
    browser->setCellClass<FSBrowserCell>();
    window.set_default_size(900, 600);
    window.set_child(*browser);
    window.present();

    std::vector<double> ready, readyProcessor, shown;
    for (int run = 0; run < 11; ++run) {
        auto start = Clock::now();
        double processorStart = processorMilliseconds();
        browser->loadColumnZero();
        ready.push_back(millisecondsSince(start));
        readyProcessor.push_back(processorMilliseconds() - processorStart);
        while (!firstRowShown(*browser) && millisecondsSince(start) < 5000)
            g_main_context_iteration(nullptr, FALSE);
        shown.push_back(millisecondsSince(start));
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    }
    std::printf("%s (%d rows): reload to rows ready median %.1f ms (processor time %.1f ms), "
                "min %.1f ms, max %.1f ms; to first rows on screen median %.1f ms\n",
                label, browser->numberOfRowsInColumn(0), median(ready), median(readyProcessor),
                *std::min_element(ready.begin(), ready.end()),
                *std::max_element(ready.begin(), ready.end()), median(shown));
    window.unset_child();
}

} // namespace

int main() {
    gtk_init();
    Gtk::init_gtkmm_internals();
    std::string base = (fs::temp_directory_path() / "fretlark-bench-XXXXXX").string();
    if (!mkdtemp(base.data()))
        return 1;
    makeLibrary(base + "/files", 0, 10000);
    makeLibrary(base + "/mixed", 1000, 9000);
    measure("Column of 10,000 files", base + "/files");
    measure("Column of 9,000 files and 1,000 folders", base + "/mixed");
    std::error_code error;
    fs::remove_all(base, error);
    return 0;
}
