#include "GuiTest.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <cstdlib>
#include <gdk/x11/gdkx.h>
#include <gdkmm/surface.h>
#include <gtkmm/native.h>
#include <string>

namespace GuiTest {

bool canClickWithPointer() {
    GdkDisplay* display = gdk_display_get_default();
    return display && GDK_IS_X11_DISPLAY(display) &&
           std::system("command -v xdotool >/dev/null 2>&1") == 0;
}

bool clickWidget(Gtk::Widget& widget, int clicks) {
    Gtk::Native* native = widget.get_native();
    if (!native || !canClickWithPointer())
        return false;
    double x = 0, y = 0;
    if (!widget.translate_coordinates(dynamic_cast<Gtk::Widget&>(*native), widget.get_width() / 2.0,
                                      widget.get_height() / 2.0, x, y))
        return false;
    double surfaceX = 0, surfaceY = 0;
    native->get_surface_transform(surfaceX, surfaceY);
    auto xid = gdk_x11_surface_get_xid(native->get_surface()->gobj());
    std::string command = "xdotool mousemove --window " + std::to_string(xid) + " " +
                          std::to_string(static_cast<int>(x + surfaceX)) + " " +
                          std::to_string(static_cast<int>(y + surfaceY)) + " click --repeat " +
                          std::to_string(clicks) + " --delay 80 1";
    return std::system(command.c_str()) == 0;
}

bool pressKey(Gtk::Widget& widget, const std::string& key) {
    Gtk::Native* native = widget.get_native();
    if (!native || !canClickWithPointer())
        return false;
    auto xid = gdk_x11_surface_get_xid(native->get_surface()->gobj());
    std::string command = "xdotool mousemove --window " + std::to_string(xid) + " 5 5 key " + key;
    return std::system(command.c_str()) == 0;
}

void writePicture(const std::string& path, int width, int height, double red, double green,
                  double blue) {
    auto surface = Cairo::ImageSurface::create(Cairo::Surface::Format::ARGB32, width, height);
    auto context = Cairo::Context::create(surface);
    context->set_source_rgb(red, green, blue);
    context->paint();
    surface->write_to_png(path);
}

} // namespace GuiTest
