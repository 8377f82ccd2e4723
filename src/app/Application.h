#pragma once

#include <gtkmm/application.h>
#include <memory>

class AppController;

// The single-instance desktop application: it creates the one controller on first activation,
// routes termination signals through the controller's orderly quit, and keeps logs off the
// terminal on a normal run.
class Application : public Gtk::Application {
public:
    static constexpr const char* applicationId = "org.fretlark.Fretlark";

    static Glib::RefPtr<Application> create();
    AppController* controller() const { return appController.get(); }

protected:
    Application();
    void on_startup() override;
    void on_activate() override;
    void on_shutdown() override;

private:
    void installSignalHandlers();

    std::unique_ptr<AppController> appController;
};
