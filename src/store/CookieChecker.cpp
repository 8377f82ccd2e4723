#include "store/CookieChecker.h"

#include "platform/StoreHost.h"
#include "store/PercentEscapes.h"
#include "store/StoreConstants.h"
#include "store/StoreDelegate.h"
#include "store/StoreSession.h"

#include <memory>
#include <webkit/webkit.h>

namespace {

std::string lowered(std::string text) {
    for (char& c : text)
        c = g_ascii_tolower(c);
    return text;
}

struct Deletion {
    std::function<void()> done;
    StoreSession::Hold session;
    void finish() {
        if (done)
            done();
        delete this;
    }
};

void cookieDeleted(GObject* manager, GAsyncResult* result, gpointer data) {
    webkit_cookie_manager_delete_cookie_finish(WEBKIT_COOKIE_MANAGER(manager), result, nullptr);
    static_cast<Deletion*>(data)->finish();
}

void cookiesForHome(GObject* manager, GAsyncResult* result, gpointer data) {
    auto* deletion = static_cast<Deletion*>(data);
    GList* cookies =
        webkit_cookie_manager_get_cookies_finish(WEBKIT_COOKIE_MANAGER(manager), result, nullptr);
    SoupCookie* login = nullptr;
    for (GList* item = cookies; item && !login; item = item->next) {
        auto* cookie = static_cast<SoupCookie*>(item->data);
        if (g_strcmp0(soup_cookie_get_name(cookie), CookieChecker::loginCookieName) == 0)
            login = cookie;
    }
    if (login)
        webkit_cookie_manager_delete_cookie(WEBKIT_COOKIE_MANAGER(manager), login, nullptr,
                                            cookieDeleted, deletion);
    else
        deletion->finish();
    g_list_free_full(cookies, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
}

struct Reading {
    CookieChecker* checker;
    unsigned number;
    std::function<void()> evaluated;
    StoreSession::Hold session;
};

} // namespace

void CookieChecker::deleteLoginCookie(std::function<void()> done) {
    std::string home = StoreHost::url(FrldownloadHomeURL);
    auto* deletion = new Deletion{std::move(done), {}};
    webkit_cookie_manager_get_cookies(deletion->session.cookieManager(), home.c_str(), nullptr,
                                      cookiesForHome, deletion);
}

bool CookieChecker::isStoreDomain(const std::string& cookieDomain, const std::string& storeDomain) {
    std::string cookie = lowered(cookieDomain);
    std::string store = lowered(storeDomain);
    if (store.empty() || cookie == store)
        return !store.empty();
    return cookie.size() > store.size() &&
           cookie.compare(cookie.size() - store.size(), store.size(), store) == 0 &&
           cookie[cookie.size() - store.size() - 1] == '.';
}

CookieChecker::CookieChecker()
    : session(std::make_unique<StoreSession::Hold>()), cancellable(g_cancellable_new()) {
    changedHandler = g_signal_connect_swapped(
        session->cookieManager(), "changed",
        G_CALLBACK(+[](CookieChecker* checker) { checker->cookieChomp(); }), this);
}

CookieChecker::~CookieChecker() {
    g_signal_handler_disconnect(session->cookieManager(), changedHandler);
    g_cancellable_cancel(cancellable);
    g_object_unref(cancellable);
}

void CookieChecker::cookieChomp() {
    updateLoginState();
}

void CookieChecker::updateLoginState(std::function<void()> evaluated) {
    auto* reading = new Reading{this, ++latestReading, std::move(evaluated), {}};
    webkit_cookie_manager_get_all_cookies(
        reading->session.cookieManager(), cancellable,
        +[](GObject* manager, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Reading> reading(static_cast<Reading*>(data));
            GError* error = nullptr;
            GList* cookies = webkit_cookie_manager_get_all_cookies_finish(
                WEBKIT_COOKIE_MANAGER(manager), result, &error);
            // A cancelled reading belongs to a checker that is gone.
            bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
            g_clear_error(&error);
            if (!cancelled && reading->number == reading->checker->latestReading)
                reading->checker->evaluate(cookies);
            g_list_free_full(cookies, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
            if (!cancelled && reading->evaluated)
                reading->evaluated();
        },
        reading);
}

void CookieChecker::evaluate(GList* cookies) {
    std::string storeDomain = StoreSession::storeDomain();
    SoupCookie* login = nullptr;
    for (GList* item = cookies; item && !login; item = item->next) {
        auto* cookie = static_cast<SoupCookie*>(item->data);
        if (isStoreDomain(soup_cookie_get_domain(cookie), storeDomain) &&
            g_strcmp0(soup_cookie_get_name(cookie), loginCookieName) == 0)
            login = cookie;
    }
    std::string value = login ? soup_cookie_get_value(login) : "";
    // An empty login cookie means signed off, at once: the deletion may find nothing left to
    // delete (an expired cookie), and then no further change would come to say so.
    bool signedOff = login && value.empty();
    if (signedOff)
        deleteLoginCookie();
    _LoggedIn = login && !signedOff;
    _UserName.reset();
    if (_LoggedIn)
        _UserName = PercentEscapes::replacingEscapes(value);
    if (_AppController)
        _AppController->setLoginState(_LoggedIn);
}
