#include "AppControllerFixture.h"

#include "app/ProductChooser.h"
#include "platform/Defaults.h"
#include "platform/MainThread.h"

#include <chrono>
#include <glibmm/main.h>
#include <gtkmm/window.h>

Glib::RefPtr<Gtk::Application> AppControllerFixture::application() {
    static Glib::RefPtr<Gtk::Application> shared = [] {
        auto app = Gtk::Application::create("org.fretlark.FretlarkTests",
                                            Gio::Application::Flags::NON_UNIQUE);
        app->register_application();
        return app;
    }();
    return shared;
}

void AppControllerFixture::SetUp() {
    FreshEnvironmentTest::SetUp();
    application();
    MainThread::adopt();
    // Nothing listens there: a test that enters the store never reaches out beyond this machine.
    Defaults::standard().setString("storeHost", "127.0.0.1:1");
    answerAlerts([](const AlertRequest&) { return 0; });
}

void AppControllerFixture::answerAlerts(std::function<int(const AlertRequest&)> button) {
    Alert::setResponder([this, button](const AlertRequest& request) {
        alerts.push_back(request);
        return std::optional<AlertAnswer>(AlertAnswer{button(request), false});
    });
}

void AppControllerFixture::TearDown() {
    controller.reset();
    Alert::setResponder({});
    spin();
    FreshEnvironmentTest::TearDown();
}

void AppControllerFixture::installStrumwell() {
    makeSystemFolder("/Library/Application Support/Fretlark/Videos/Get Started/Quickstart Video");
}

void AppControllerFixture::installJamcroft() {
    makeSystemFolder("/Library/Application Support/Fretlark/Jamcroft/Videos/Get Started");
}

AppController& AppControllerFixture::start(std::function<void(AppController&)> choose) {
    controller = std::make_unique<AppController>(application());
    auto* raw = controller.get();
    sigc::connection chooser = Glib::signal_timeout().connect(
        [this, raw, choose] {
            if (!raw->pChooser || !raw->pChooser->window() ||
                !raw->pChooser->window()->is_visible())
                return true;
            chooserWasShown = true;
            // An unexpected chooser is closed, which quits, so no test can hang on it.
            if (choose)
                choose(*raw);
            else
                raw->pChooser->terminate(nullptr);
            return false;
        },
        20);
    controller->awakeFromNib();
    chooser.disconnect();
    spin();
    return *controller;
}

bool AppControllerFixture::spinUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        g_main_context_iteration(nullptr, FALSE);
    }
    return true;
}

void AppControllerFixture::spin() {
    while (g_main_context_iteration(nullptr, FALSE))
        continue;
}
