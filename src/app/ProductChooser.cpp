#include "app/ProductChooser.h"

#include "app/AppController.h"
#include "platform/Resources.h"
#include "platform/ui/ModalSession.h"

#include <glib.h>
#include <gtkmm/builder.h>
#include <gtkmm/button.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/window.h>

ProductChooser::ProductChooser() = default;

ProductChooser::~ProductChooser() = default;

Gtk::Window* ProductChooser::window() {
    if (!chooserWindow && !loadFailed)
        loadFailed = !loadWindow();
    return chooserWindow.get();
}

bool ProductChooser::loadWindow() {
    std::string layout = Resources::pathForLayout("ProductChooser");
    if (layout.empty())
        return false;
    try {
        builder = Gtk::Builder::create_from_file(layout);
    } catch (const Glib::Error& error) {
        g_warning("cannot load the product chooser: %s", error.what());
        return false;
    }
    chooserWindow.reset(builder->get_widget<Gtk::Window>("window"));
    strumwellButton = builder->get_widget<Gtk::Button>("strumwellButton");
    jamcroftButton = builder->get_widget<Gtk::Button>("jamcroftButton");
    downloadStoreButton = builder->get_widget<Gtk::Button>("downloadStoreButton");
    auto* quitButton = builder->get_widget<Gtk::Button>("quitButton");
    if (!chooserWindow || !strumwellButton || !jamcroftButton || !downloadStoreButton)
        return false;
    strumwellButton->signal_clicked().connect([this] { chooseStrumwell(strumwellButton); });
    jamcroftButton->signal_clicked().connect([this] { chooseJamcroft(jamcroftButton); });
    downloadStoreButton->signal_clicked().connect(
        [this] { chooseDownloadStore(downloadStoreButton); });
    if (quitButton)
        quitButton->signal_clicked().connect([this, quitButton] { quit(quitButton); });
    // Closing the chooser without a choice quits, so the modal run can never poll forever.
    chooserWindow->signal_close_request().connect(
        [this] {
            terminate(nullptr);
            return true;
        },
        false);
    windowDidLoad();
    return true;
}

void ProductChooser::windowDidLoad() {
    auto css = Gtk::CssProvider::create();
    css->load_from_data("window.product-chooser { background-color: white; }");
    chooserWindow->get_style_context()->add_provider(css, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    chooserWindow->add_css_class("product-chooser");
    strumwellButton->set_visible(showStrumwell);
    jamcroftButton->set_visible(showJamcroft);
    downloadStoreButton->set_visible(showDownloadStore);
    for (auto* button : {strumwellButton, jamcroftButton, downloadStoreButton})
        button->queue_draw();
}

void ProductChooser::chooseStrumwell(Gtk::Button*) {
    if (app)
        app->chooseStrumwell();
    ModalSession::stopModal();
}

void ProductChooser::chooseJamcroft(Gtk::Button*) {
    if (app)
        app->chooseJamcroft();
    ModalSession::stopModal();
}

void ProductChooser::chooseDownloadStore(Gtk::Button*) {
    g_message("Download Store");
    if (app)
        app->chooseDownloadStore();
    ModalSession::stopModal();
}

void ProductChooser::quit(Gtk::Button* sender) {
    terminate(sender);
}

void ProductChooser::terminate(Gtk::Button*) {
    if (app)
        app->terminate(nullptr);
    ModalSession::stopModal();
}
