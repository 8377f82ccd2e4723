#pragma once

#include "MainLoop.h"

#include <gtkmm/widget.h>
#include <string>

// Helpers for widget tests under Xvfb: the main loop turns only when a test lets it.
namespace GuiTest {

// Runs the main loop until the condition holds or the time is up; answers the condition.
inline bool runUntil(const std::function<bool()>& condition, int timeoutMs = 3000) {
    return spinUntil(condition, std::chrono::milliseconds(timeoutMs));
}
// Lets layout and drawing catch up.
inline void settle(int milliseconds = 150) {
    spinFor(std::chrono::milliseconds(milliseconds));
}
// Real pointer clicks through the X server at a point of the widget (needs xdotool and X11);
// answers false when they cannot be made here.
bool canClickWithPointer();
bool clickWidget(Gtk::Widget& widget, int clicks);
// A real key press with the pointer over the widget's window (an X key name such as "Right").
bool pressKey(Gtk::Widget& widget, const std::string& key);
// A picture file of the given size in one colour (PNG).
void writePicture(const std::string& path, int width, int height, double red, double green,
                  double blue);

} // namespace GuiTest
