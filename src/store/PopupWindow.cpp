#include "store/PopupWindow.h"

#include <algorithm>
#include <glibmm/main.h>
#include <gtkmm/window.h>
#include <vector>

namespace {

std::vector<std::unique_ptr<PopupWindow>>& openWindows() {
    static std::vector<std::unique_ptr<PopupWindow>> windows;
    return windows;
}

} // namespace

PopupWindow::PopupWindow(WebView& opener, WebViewDelegate& delegate, Gtk::Window* openerWindow)
    : popupWindow(std::make_unique<Gtk::Window>()), view(WebView::relatedTo(opener)) {
    view->setDelegate(&delegate);
    popupWindow->set_default_size(width, height);
    popupWindow->set_resizable(true);
    popupWindow->set_title("");
    // Placed over the window that opened it: the window manager centres a transient window.
    if (openerWindow)
        popupWindow->set_transient_for(*openerWindow);
    view->widget().set_hexpand(true);
    view->widget().set_vexpand(true);
    popupWindow->set_child(view->widget());
    popupWindow->signal_close_request().connect(
        [this] {
            close();
            return true;
        },
        false);
}

PopupWindow::~PopupWindow() {
    popupWindow->unset_child();
    view.reset();
}

WebView& PopupWindow::create(WebView& opener, WebViewDelegate& delegate,
                             Gtk::Window* openerWindow) {
    openWindows().push_back(
        std::unique_ptr<PopupWindow>(new PopupWindow(opener, delegate, openerWindow)));
    return *openWindows().back()->view;
}

PopupWindow* PopupWindow::holding(const WebView& view) {
    for (const auto& window : openWindows())
        if (window->view.get() == &view)
            return window.get();
    return nullptr;
}

void PopupWindow::closeAll() {
    openWindows().clear();
}

void PopupWindow::show() {
    popupWindow->present();
}

// The window and its view go once the signal that asked for it has returned.
void PopupWindow::close() {
    popupWindow->hide();
    Glib::signal_idle().connect_once([this] {
        auto& windows = openWindows();
        windows.erase(std::remove_if(windows.begin(), windows.end(),
                                     [this](const auto& window) { return window.get() == this; }),
                      windows.end());
    });
}
