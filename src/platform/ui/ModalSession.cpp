#include "platform/ui/ModalSession.h"

#include <glib.h>
#include <gtkmm/window.h>

namespace {
ModalSession* innermost = nullptr;
}

ModalSession::ModalSession(Gtk::Window& shown) : window(shown), outer(innermost) {
    innermost = this;
    window.set_modal(true);
    window.present();
}

ModalSession::~ModalSession() {
    innermost = outer;
    window.hide();
}

bool ModalSession::runModalSession() {
    if (!stopped)
        g_main_context_iteration(nullptr, TRUE);
    return !stopped;
}

void ModalSession::stopModal() {
    if (innermost)
        innermost->stopped = true;
}

bool ModalSession::isRunning() {
    return innermost != nullptr;
}
