#include "StoreThread.h"

#include "StoreCertificate.h"

#include <filesystem>
#include <mutex>
#include <stdexcept>

namespace {

// Making a certificate takes a moment; one per test program is enough.
const StoreCertificate& sharedCertificate() {
    static std::optional<StoreCertificate> certificate;
    static std::once_flag once;
    std::call_once(once, [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "fretlark-store-cert-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return;
        certificate = StoreCertificate::generate(pattern);
    });
    if (!certificate)
        throw std::runtime_error("openssl could not make the store certificate");
    return *certificate;
}

} // namespace

StoreThread::StoreThread(const std::string& folder)
    : lessons(folder + "/lessons"), descriptions(folder + "/descriptions"),
      authority(sharedCertificate().authorityPath) {
    std::filesystem::create_directories(lessons);
    std::filesystem::create_directories(descriptions);
    context = g_main_context_new();
    loop = g_main_loop_new(context, FALSE);
    std::promise<bool> ready;
    std::future<bool> listening = ready.get_future();
    thread = std::thread([this, &ready] { serve(ready); });
    if (!listening.get()) {
        thread.join();
        throw std::runtime_error("the demo store could not listen");
    }
}

// The flag, not GLib's own lock, is what orders the test's last use of the store before its end.
gboolean StoreThread::quitLoop(gpointer self) {
    auto* store = static_cast<StoreThread*>(self);
    if (store->stopping.load())
        g_main_loop_quit(store->loop);
    return G_SOURCE_REMOVE;
}

StoreThread::~StoreThread() {
    stopping = true;
    g_main_context_invoke(context, quitLoop, this);
    thread.join();
    g_main_loop_unref(loop);
    g_main_context_unref(context);
}

void StoreThread::serve(std::promise<bool>& ready) {
    g_main_context_push_thread_default(context);
    {
        // Made and destroyed on this thread; the pointer is published once, before ready.
        auto owned = std::make_unique<DemoStore>(lessons, descriptions);
        server = owned.get();
        bool listening = owned->listen(sharedCertificate(), 0);
        ready.set_value(listening);
        if (listening)
            g_main_loop_run(loop);
    }
    g_main_context_pop_thread_default(context);
}

std::string StoreThread::lessonURL(const std::string& name) const {
    return server->baseURL() + "/lessons/" + name;
}
