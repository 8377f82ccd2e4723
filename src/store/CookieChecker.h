#pragma once

#include "store/StoreSession.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class StoreDelegate;
typedef struct _GCancellable GCancellable;
typedef struct _GList GList;

// Learns the login state from the store's "Login" cookie: after every change to the store
// session's cookies it finds the first login cookie of the store domain and tells the controller
// whether someone is signed in, and who.
class CookieChecker {
public:
    static constexpr const char* loginCookieName = "Login";

    // Deletes the first "Login" cookie sent to the store's home page; `done` follows once the
    // cookie store has done it (or found nothing to delete).
    static void deleteLoginCookie(std::function<void()> done = {});
    // Whether a cookie of this domain belongs to the store: the store domain itself, or the
    // store domain after a ".".
    static bool isStoreDomain(const std::string& cookieDomain, const std::string& storeDomain);

    CookieChecker();
    ~CookieChecker();
    CookieChecker(const CookieChecker&) = delete;
    CookieChecker& operator=(const CookieChecker&) = delete;

    void setAppController(StoreDelegate* appController) { _AppController = appController; }
    const std::optional<std::string>& userName() const { return _UserName; }
    bool loggedIn() const { return _LoggedIn; }
    // Reads every cookie of the session and evaluates them once they arrive; `evaluated` follows
    // the evaluation.
    void updateLoginState(std::function<void()> evaluated = {});
    void cookieChomp();

private:
    void evaluate(GList* cookies);

    bool _LoggedIn = false;
    std::optional<std::string> _UserName;
    StoreDelegate* _AppController = nullptr;
    std::unique_ptr<StoreSession::Hold> session;
    unsigned long changedHandler = 0;
    GCancellable* cancellable = nullptr;
    // Only the newest reading is evaluated; an older one that arrives late is dropped.
    unsigned latestReading = 0;
};
