#pragma once

#include "TestEnvironment.h"

#include "app/AppController.h"
#include "platform/movie/QTTime.h"
#include "platform/ui/Alert.h"

#include <functional>
#include <gtkmm/application.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/button.h>
#include <memory>
#include <vector>

// Starts the real controller on the real main window layout, in a fresh home and system root.
// Alerts are answered by their first button and recorded unless a test says otherwise; the
// product chooser is answered by the function given to start().
class AppControllerFixture : public FreshEnvironmentTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Alerts are recorded and answered by the button the function picks.
    void answerAlerts(std::function<int(const AlertRequest&)> button);
    void installStrumwell();
    void installJamcroft();
    // Creates the controller and runs its start-up; `choose` runs once the chooser is on screen.
    AppController& start(std::function<void(AppController&)> choose = {});
    static bool spinUntil(const std::function<bool()>& done) { return ::spinUntil(done); }
    static void spin() { ::spin(); }
    // A button's click as a pointer delivers it.
    static void click(Gtk::Button* button) { g_signal_emit_by_name(button->gobj(), "clicked"); }
    static std::string title(AppController& app) { return app.window()->get_title(); }
    static double seconds(QTTime time) {
        return time.timeScale > 0 ? static_cast<double>(time.timeValue) / time.timeScale : 0.0;
    }

    static Glib::RefPtr<Gtk::Application> application();
    std::unique_ptr<AppController> controller;
    std::vector<AlertRequest> alerts;
    bool chooserWasShown = false;
};
