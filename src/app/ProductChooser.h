#pragma once

#include <glibmm/refptr.h>
#include <memory>

namespace Gtk {
class Builder;
class Button;
class Window;
} // namespace Gtk

class AppController;

// The small window that asks which lesson library to open, shown before the main window.
class ProductChooser {
public:
    ProductChooser();
    ~ProductChooser();
    ProductChooser(const ProductChooser&) = delete;
    ProductChooser& operator=(const ProductChooser&) = delete;

    void setAppController(AppController* controller) { app = controller; }
    // YES shows the button, NO hides it, whatever the names suggest.
    void setHiddenStrumwellButton(bool shown) { showStrumwell = shown; }
    void setHiddenJamcroftButton(bool shown) { showJamcroft = shown; }
    void setHiddenDownloadStoreButton(bool shown) { showDownloadStore = shown; }

    // Loads the layout on first use; null when it cannot be loaded.
    Gtk::Window* window();
    void windowDidLoad();

    void chooseStrumwell(Gtk::Button* sender);
    void chooseJamcroft(Gtk::Button* sender);
    void chooseDownloadStore(Gtk::Button* sender);
    void quit(Gtk::Button* sender);
    void terminate(Gtk::Button* sender);

    AppController* app = nullptr;
    Gtk::Button* strumwellButton = nullptr;
    Gtk::Button* jamcroftButton = nullptr;
    Gtk::Button* downloadStoreButton = nullptr;
    bool showStrumwell = true;
    bool showJamcroft = true;
    bool showDownloadStore = true;

private:
    bool loadWindow();

    Glib::RefPtr<Gtk::Builder> builder;
    std::unique_ptr<Gtk::Window> chooserWindow;
    bool loadFailed = false;
};
