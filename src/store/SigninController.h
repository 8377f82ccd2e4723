#pragma once

#include <glibmm/refptr.h>
#include <memory>

namespace Gtk {
class Builder;
class Button;
class Entry;
class PasswordEntry;
class Widget;
class Window;
} // namespace Gtk

class StoreDelegate;

// The sign-in panel: the "Signin" layout shown as a sheet on the controller's window. Each button
// ends the sheet with its code, and the controller acts on the code once the sheet is gone.
class SigninController {
public:
    // End codes of the sheet.
    static constexpr int signInCode = 0;
    static constexpr int cancelCode = 1;
    static constexpr int forgotPasswordCode = 2;
    static constexpr int createNewAccountCode = 3;

    // The one panel of the process, made on first use.
    static SigninController& sharedInstance();

    void showPanel(StoreDelegate& appController);
    void signIn(Gtk::Widget* sender);
    void cancel(Gtk::Widget* sender);
    void forgotPassword(Gtk::Widget* sender);
    void createNewAccount(Gtk::Widget* sender);
    void endSigninWindow(int returnCode);
    void sheetDidEnd(int returnCode);

    // Not owned: the controller that asked for the panel.
    StoreDelegate* app = nullptr;
    std::unique_ptr<Gtk::Window> panel;
    Gtk::Button* createNewAccountButton = nullptr;
    Gtk::Button* forgotPasswordButton = nullptr;
    Gtk::Button* cancelButton = nullptr;
    Gtk::Button* signInButton = nullptr;
    Gtk::Entry* FretlarkID = nullptr;
    Gtk::PasswordEntry* password = nullptr;

private:
    bool loadPanel();

    Glib::RefPtr<Gtk::Builder> builder;
};
