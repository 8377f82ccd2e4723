#pragma once

#include "TestEnvironment.h"

#include "app/AppController.h"
#include "platform/ui/Alert.h"

#include <functional>
#include <gtkmm/application.h>
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
    // Turns the main loop until `done` answers true or a few seconds have passed.
    static bool spinUntil(const std::function<bool()>& done);
    static void spin();

    static Glib::RefPtr<Gtk::Application> application();
    std::unique_ptr<AppController> controller;
    std::vector<AlertRequest> alerts;
    bool chooserWasShown = false;
};
