#pragma once

#include "SurfacePixels.h"

#include <gtkmm/snapshot.h>
#include <memory>

// Window tests link support/GuiMain.cpp, whose main() starts GTK before the tests run.

// What the snapshot recorded, drawn onto a transparent canvas of the given size.
std::unique_ptr<Canvas> drawSnapshot(const Glib::RefPtr<Gtk::Snapshot>& snapshot, int width,
                                     int height);
