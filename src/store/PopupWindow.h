#pragma once

#include "store/WebView.h"

#include <memory>

namespace Gtk {
class Window;
}

// A small store window that a page's script opened: it holds its own web view, shows only when
// the web engine asks, takes its page's title, and goes away with everything in it when closed.
class PopupWindow {
public:
    static constexpr int width = 150;
    static constexpr int height = 150;

    // Makes the window and its view, related to the opener's view; answers the new view.
    static WebView& create(WebView& opener, WebViewDelegate& delegate, Gtk::Window* openerWindow);
    // The window that holds this view, if it is a pop-up's.
    static PopupWindow* holding(const WebView& view);
    static void closeAll();

    Gtk::Window& window() const { return *popupWindow; }
    WebView& webView() const { return *view; }
    void show();
    void close();

    ~PopupWindow();
    PopupWindow(const PopupWindow&) = delete;
    PopupWindow& operator=(const PopupWindow&) = delete;

private:
    PopupWindow(WebView& opener, WebViewDelegate& delegate, Gtk::Window* openerWindow);

    std::unique_ptr<Gtk::Window> popupWindow;
    std::unique_ptr<WebView> view;
};
