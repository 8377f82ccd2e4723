#include "store/SigninRequest.h"

#include "platform/net/GErrorHandle.h"
#include "platform/net/GObjectPtr.h"
#include "store/StoreSession.h"

#include <webkit/webkit.h>

namespace {

constexpr guint timeoutSeconds = 60;
const char* const formContentType = "application/x-www-form-urlencoded";

std::string text(const char* value) {
    return value ? value : "";
}

gboolean acceptStoreCertificate(SoupMessage* message, GTlsCertificate* certificate,
                                GTlsCertificateFlags, gpointer) {
    GUri* uri = soup_message_get_uri(message);
    return StoreSession::isSignedByStoreAuthority(certificate, text(g_uri_get_host(uri)),
                                                  g_uri_get_port(uri));
}

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

struct SigninRequest::Impl : std::enable_shared_from_this<Impl> {
    // What each step on its way holds: the request if it is still wanted, and the session.
    struct Pending {
        std::weak_ptr<Impl> request;
        StoreSession::Hold session;
    };

    std::string url;
    std::string body;
    std::string userAgent;
    std::function<void(const SigninAnswer&)> done;
    GObjectPtr<GCancellable> cancellable = GObjectPtr<GCancellable>::adopt(g_cancellable_new());
    GObjectPtr<SoupSession> session;
    GObjectPtr<SoupMessage> message;
    SigninAnswer answer;
    int cookiesToStore = 0;

    static std::shared_ptr<Impl> from(gpointer data) {
        std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
        return pending->request.lock();
    }
    gpointer pending() { return new Pending{weak_from_this(), {}}; }
    static WebKitCookieManager* cookies() { return StoreSession::shared().cookieManager(); }

    void start() {
        webkit_cookie_manager_get_cookies(cookies(), url.c_str(), cancellable.get(), cookiesRead,
                                          pending());
    }

    static void cookiesRead(GObject* manager, GAsyncResult* result, gpointer data) {
        GList* stored = webkit_cookie_manager_get_cookies_finish(WEBKIT_COOKIE_MANAGER(manager),
                                                                 result, nullptr);
        if (auto self = from(data))
            self->send(stored);
        g_list_free_full(stored, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
    }

    void send(GList* stored) {
        session = GObjectPtr<SoupSession>::adopt(soup_session_new_with_options(
            "timeout", timeoutSeconds, "user-agent", userAgent.c_str(), nullptr));
        message = GObjectPtr<SoupMessage>::adopt(soup_message_new("POST", url.c_str()));
        if (!message)
            return finish("not a valid address: " + url);
        soup_message_add_flags(message.get(), SOUP_MESSAGE_NO_REDIRECT);
        SoupMessageHeaders* headers = soup_message_get_request_headers(message.get());
        soup_message_headers_replace(headers, "Content-Length",
                                     std::to_string(body.size()).c_str());
        soup_message_headers_replace(headers, "Content-Type", formContentType);
        GSList* sent = nullptr;
        for (GList* item = stored; item; item = item->next)
            sent = g_slist_append(sent, item->data);
        if (sent) {
            char* cookieHeader = soup_cookies_to_cookie_header(sent);
            soup_message_headers_replace(headers, "Cookie", cookieHeader);
            g_free(cookieHeader);
            g_slist_free(sent);
        }
        GBytes* bytes = g_bytes_new(body.data(), body.size());
        soup_message_set_request_body_from_bytes(message.get(), formContentType, bytes);
        g_bytes_unref(bytes);
        g_signal_connect(message.get(), "accept-certificate", G_CALLBACK(acceptStoreCertificate),
                         nullptr);
        soup_session_send_and_read_async(session.get(), message.get(), G_PRIORITY_DEFAULT,
                                         cancellable.get(), answered, pending());
    }

    static void answered(GObject* source, GAsyncResult* result, gpointer data) {
        GErrorHandle error;
        GBytes* bytes =
            soup_session_send_and_read_finish(SOUP_SESSION(source), result, error.out());
        if (auto self = from(data))
            self->received(bytes, error.message());
        if (bytes)
            g_bytes_unref(bytes);
    }

    void received(GBytes* bytes, const std::string& error) {
        if (!bytes)
            return finish(error.empty() ? std::string("no answer") : error);
        answer.status = static_cast<int>(soup_message_get_status(message.get()));
        SoupMessageHeaders* headers = soup_message_get_response_headers(message.get());
        gsize size = 0;
        const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
        answer.body.assign(data ? data : "", size);
        GHashTable* parameters = nullptr;
        answer.mimeType = text(soup_message_headers_get_content_type(headers, &parameters));
        if (parameters) {
            answer.charset =
                text(static_cast<const char*>(g_hash_table_lookup(parameters, "charset")));
            g_hash_table_destroy(parameters);
        }
        const char* location = soup_message_headers_get_one(headers, "Location");
        if (isRedirect(answer.status) && location) {
            char* resolved =
                g_uri_resolve_relative(url.c_str(), location, G_URI_FLAGS_ENCODED, nullptr);
            answer.location = text(resolved);
            g_free(resolved);
        }
        storeCookies();
    }

    // The answer's cookies go into the store session, so the page shown next finds them.
    void storeCookies() {
        GSList* received = soup_cookies_from_response(message.get());
        for (GSList* item = received; item; item = item->next) {
            ++cookiesToStore;
            webkit_cookie_manager_add_cookie(cookies(), static_cast<SoupCookie*>(item->data),
                                             cancellable.get(), cookieStored, pending());
        }
        soup_cookies_free(received);
        if (cookiesToStore == 0)
            finish({});
    }

    static void cookieStored(GObject* manager, GAsyncResult* result, gpointer data) {
        webkit_cookie_manager_add_cookie_finish(WEBKIT_COOKIE_MANAGER(manager), result, nullptr);
        auto self = from(data);
        if (self && --self->cookiesToStore == 0)
            self->finish({});
    }

    void finish(const std::string& error) {
        answer.error = error;
        if (!error.empty())
            g_message("Store sign-in failed: %s", error.c_str());
        auto callback = std::move(done);
        if (callback)
            callback(answer);
    }
};

std::unique_ptr<SigninRequest> SigninRequest::post(const std::string& url, const std::string& body,
                                                   const std::string& userAgent,
                                                   std::function<void(const SigninAnswer&)> done) {
    auto impl = std::make_shared<Impl>();
    impl->url = url;
    impl->body = body;
    impl->userAgent = userAgent;
    impl->done = std::move(done);
    impl->start();
    return std::unique_ptr<SigninRequest>(new SigninRequest(std::move(impl)));
}

SigninRequest::SigninRequest(std::shared_ptr<Impl> started) : impl(std::move(started)) {}

SigninRequest::~SigninRequest() {
    g_cancellable_cancel(impl->cancellable.get());
}
