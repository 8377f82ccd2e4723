#pragma once

namespace Gtk {
class Window;
}

// A modal run for one window: the caller polls it until a button stops it (or the application
// quits), as the product chooser needs before the main window exists.
class ModalSession {
public:
    explicit ModalSession(Gtk::Window& window);
    ~ModalSession();
    ModalSession(const ModalSession&) = delete;
    ModalSession& operator=(const ModalSession&) = delete;

    // Handles the next event; answers whether the session goes on.
    bool runModalSession();
    // Ends the innermost running session.
    static void stopModal();
    static bool isRunning();

private:
    Gtk::Window& window;
    bool stopped = false;
    ModalSession* outer = nullptr;
};
