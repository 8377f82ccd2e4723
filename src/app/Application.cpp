#include "app/Application.h"

#include "app/AppController.h"
#include "platform/MainThread.h"
#include "platform/Resources.h"

#include <csignal>
#include <gdkmm/display.h>
#include <glib-unix.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/icontheme.h>

namespace {

// Routine messages go to the system journal, never the terminal; warnings still reach stderr.
GLogWriterOutput writeLog(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer) {
    if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING))
        return g_log_writer_default(level, fields, count, nullptr);
    if (g_getenv("G_MESSAGES_DEBUG"))
        return g_log_writer_default(level, fields, count, nullptr);
    g_log_writer_journald(level, fields, count, nullptr);
    return G_LOG_WRITER_HANDLED;
}

gboolean quitOnSignal(gpointer data) {
    auto* application = static_cast<Application*>(data);
    if (auto* controller = application->controller())
        controller->terminate(nullptr);
    else
        application->quit();
    return G_SOURCE_CONTINUE;
}

} // namespace

Glib::RefPtr<Application> Application::create() {
    return Glib::make_refptr_for_instance<Application>(new Application());
}

Application::Application() : Gtk::Application(applicationId) {
    g_log_set_writer_func(writeLog, nullptr, nullptr);
    g_set_application_name("Fretlark");
}

void Application::on_startup() {
    Gtk::Application::on_startup();
    MainThread::adopt();
    installSignalHandlers();
    // The application's own icon is found among its resources when it is not installed.
    if (auto display = Gdk::Display::get_default())
        Gtk::IconTheme::get_for_display(display)->add_search_path(Resources::resourceDirectory());
}

void Application::installSignalHandlers() {
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        g_unix_signal_add(signal, quitOnSignal, this);
}

void Application::on_activate() {
    if (appController) {
        if (auto* window = appController->window())
            window->present();
        return;
    }
    try {
        appController = std::make_unique<AppController>(
            Glib::RefPtr<Gtk::Application>(this, [](Gtk::Application*) {}));
    } catch (const std::exception& error) {
        g_critical("Fretlark cannot start: %s", error.what());
        quit();
        return;
    }
    appController->awakeFromNib();
}

void Application::on_shutdown() {
    if (appController) {
        appController->applicationWillTerminate();
        appController.reset();
    }
    Gtk::Application::on_shutdown();
}
