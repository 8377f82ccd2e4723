// fretlark-demo-store --folder DIR [--lessons DIR] [--descriptions DIR] [--port N]
//                     [--request-log FILE] [faults]
// Faults: --drop-after N, --ignore-range, --change-on-range, --status N, --no-length, --slow BPS,
// --page-delay MS.
// Prints "port=N" and "certificate=PATH" (the authority to trust) and writes them to
// DIR/store.info, then serves until SIGINT or SIGTERM.
#include "DemoStore.h"
#include "FaultPlan.h"
#include "StoreCertificate.h"

#include <cstdio>
#include <fstream>
#include <glib-unix.h>
#include <string>

namespace {

struct Options {
    std::string folder;
    std::string lessons;
    std::string descriptions;
    int port = 0;
    std::string requestLog;
    FaultPlan faults;
};

bool takesValue(const std::string& name) {
    return name == "folder" || name == "lessons" || name == "descriptions" || name == "port" ||
           name == "request-log" || name == "drop-after" || name == "status" || name == "slow" ||
           name == "page-delay";
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument.rfind("--", 0) != 0)
            return false;
        std::string name = argument.substr(2);
        std::string value;
        if (takesValue(name)) {
            if (++i >= argc)
                return false;
            value = argv[i];
        }
        if (name == "folder")
            options.folder = value;
        else if (name == "lessons")
            options.lessons = value;
        else if (name == "descriptions")
            options.descriptions = value;
        else if (name == "port")
            options.port = std::atoi(value.c_str());
        else if (name == "request-log")
            options.requestLog = value;
        else if (!options.faults.set(name, value))
            return false;
    }
    return !options.folder.empty();
}

gboolean quit(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_CONTINUE;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: fretlark-demo-store --folder DIR [--lessons DIR] "
                     "[--descriptions DIR] [--port N] [--request-log FILE] [--drop-after N] "
                     "[--ignore-range] [--change-on-range] [--status N] [--no-length] "
                     "[--slow BPS] [--page-delay MS]\n");
        return 2;
    }
    auto certificate = StoreCertificate::generate(options.folder);
    if (!certificate) {
        std::fprintf(stderr, "fretlark-demo-store: cannot make a certificate with openssl\n");
        return 1;
    }
    DemoStore store(options.lessons.empty() ? options.folder + "/lessons" : options.lessons,
                    options.descriptions.empty() ? options.folder + "/descriptions"
                                                 : options.descriptions);
    store.setFaults(options.faults);
    if (!options.requestLog.empty())
        store.setRequestLog(options.requestLog);
    if (!store.listen(*certificate, options.port)) {
        std::fprintf(stderr, "fretlark-demo-store: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::string info = "port=" + std::to_string(store.port()) +
                       "\ncertificate=" + certificate->authorityPath + "\n";
    std::ofstream(options.folder + "/store.info") << info;
    std::fputs(info.c_str(), stdout);
    std::fflush(stdout);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(SIGINT, quit, loop);
    g_unix_signal_add(SIGTERM, quit, loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    return 0;
}
