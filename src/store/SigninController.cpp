#include "store/SigninController.h"

#include "platform/Defaults.h"
#include "platform/Resources.h"
#include "store/StoreConstants.h"
#include "store/StoreDelegate.h"

#include <gdkmm/display.h>
#include <glibmm/main.h>
#include <gtkmm/builder.h>
#include <gtkmm/button.h>
#include <gtkmm/entry.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/passwordentry.h>
#include <gtkmm/window.h>

SigninController& SigninController::sharedInstance() {
    // Lives as long as the process; never destroyed, so no widget outlives GTK.
    static auto* shared = new SigninController();
    return *shared;
}

bool SigninController::loadPanel() {
    std::string layout = Resources::pathForLayout("Signin");
    if (layout.empty()) {
        g_message("Failed to load Signin.nib");
        return false;
    }
    try {
        builder = Gtk::Builder::create_from_file(layout);
    } catch (const Glib::Error& error) {
        g_message("Failed to load Signin.nib");
        return false;
    }
    panel.reset(builder->get_widget<Gtk::Window>("panel"));
    createNewAccountButton = builder->get_widget<Gtk::Button>("createNewAccountButton");
    forgotPasswordButton = builder->get_widget<Gtk::Button>("forgotPasswordButton");
    cancelButton = builder->get_widget<Gtk::Button>("cancelButton");
    signInButton = builder->get_widget<Gtk::Button>("signInButton");
    FretlarkID = builder->get_widget<Gtk::Entry>("FretlarkID");
    password = builder->get_widget<Gtk::PasswordEntry>("password");
    if (!panel || !createNewAccountButton || !forgotPasswordButton || !cancelButton ||
        !signInButton || !FretlarkID || !password) {
        panel.reset();
        g_message("Failed to load Signin.nib");
        return false;
    }
    signInButton->signal_clicked().connect([this] { signIn(signInButton); });
    cancelButton->signal_clicked().connect([this] { cancel(cancelButton); });
    forgotPasswordButton->signal_clicked().connect(
        [this] { forgotPassword(forgotPasswordButton); });
    createNewAccountButton->signal_clicked().connect(
        [this] { createNewAccount(createNewAccountButton); });
    // Closing the panel or pressing Escape is Cancel.
    panel->signal_close_request().connect(
        [this] {
            cancel(nullptr);
            return true;
        },
        false);
    auto keys = Gtk::EventControllerKey::create();
    keys->signal_key_pressed().connect(
        [this](guint key, guint, Gdk::ModifierType) {
            if (key != GDK_KEY_Escape)
                return false;
            cancel(nullptr);
            return true;
        },
        false);
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    panel->add_controller(keys);
    return true;
}

void SigninController::showPanel(StoreDelegate& appController) {
    app = &appController;
    if (!panel && !loadPanel()) {
        if (auto display = Gdk::Display::get_default())
            display->beep();
        return;
    }
    panel->set_default_widget(*signInButton);
    std::string saved = Defaults::standard().stringForKey(FrlsaveUserNameDownloadStore);
    if (!saved.empty()) {
        FretlarkID->set_text(saved);
        panel->set_focus(*password);
    } else {
        panel->set_focus(*FretlarkID);
    }
    panel->set_transient_for(*app->storeWindow());
    panel->set_modal(true);
    panel->present();
}

void SigninController::signIn(Gtk::Widget*) {
    endSigninWindow(signInCode);
}

void SigninController::cancel(Gtk::Widget*) {
    endSigninWindow(cancelCode);
}

void SigninController::forgotPassword(Gtk::Widget*) {
    endSigninWindow(forgotPasswordCode);
}

void SigninController::createNewAccount(Gtk::Widget*) {
    endSigninWindow(createNewAccountCode);
}

// The sheet's completion runs once the panel is out of the way, as a sheet's would.
void SigninController::endSigninWindow(int returnCode) {
    if (!panel || !panel->get_visible())
        return;
    panel->hide();
    Glib::signal_idle().connect_once([this, returnCode] { sheetDidEnd(returnCode); });
}

void SigninController::sheetDidEnd(int returnCode) {
    if (!app)
        return;
    switch (returnCode) {
    case signInCode:
        app->login(FretlarkID->get_text(), password->get_text());
        break;
    case forgotPasswordCode:
        app->forgotPassword();
        break;
    case createNewAccountCode:
        app->createAccount();
        break;
    default:
        break;
    }
}
