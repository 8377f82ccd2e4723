#pragma once

#include <string>

namespace Gtk {
class Window;
}

// What the store's sign-in panel and cookie checker ask of the application controller.
class StoreDelegate {
public:
    virtual ~StoreDelegate() = default;
    virtual Gtk::Window* storeWindow() const = 0;
    virtual void setLoginState(bool loggedIn) = 0;
    virtual void login(const std::string& email, const std::string& password) = 0;
    virtual void forgotPassword() = 0;
    virtual void createAccount() = 0;
};
