#include "store/WebView.h"

#include "store/StoreSession.h"

#include <glibmm/main.h>
#include <gtkmm/widget.h>
#include <gtkmm/window.h>
#include <webkit/webkit.h>

namespace {

constexpr unsigned maximumTrustAttempts = 4;
constexpr unsigned retryDelayMilliseconds = 250;
// WebKit's code for "WebKit encountered an internal error" (its domain has no public name).
constexpr int engineInternalError = 300;

std::string text(const char* value) {
    return value ? value : "";
}

std::string hostOf(const std::string& uri) {
    GUri* parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_ENCODED, nullptr);
    if (!parsed)
        return {};
    std::string host = text(g_uri_get_host(parsed));
    g_uri_unref(parsed);
    return host;
}

} // namespace

struct WebView::Signals {
    static WebView& of(gpointer self) { return *static_cast<WebView*>(self); }

    static void loadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
        WebView& view = of(self);
        if (!view.frameLoadDelegate)
            return;
        switch (event) {
        case WEBKIT_LOAD_STARTED:
            view.loadFailed = false;
            view.committed = false;
            view.frameLoadDelegate->didStartProvisionalLoadForFrame(view);
            break;
        case WEBKIT_LOAD_COMMITTED:
            view.committed = true;
            break;
        case WEBKIT_LOAD_FINISHED:
            if (!view.loadFailed)
                view.frameLoadDelegate->didFinishLoadForFrame(view);
            break;
        case WEBKIT_LOAD_REDIRECTED:
            break;
        }
    }

    // The engine reports a failed load and then finishes it; the finish is no success. No
    // error page of the engine's own replaces the page.
    static gboolean loadFailed(WebKitWebView*, WebKitLoadEvent, const char* uri, GError* error,
                               gpointer self) {
        WebView& view = of(self);
        view.loadFailed = true;
        std::string reason = error ? error->message : "";
        g_message("Store page failed to load: %s", reason.c_str());
        // The engine lost a helper process on the way: such a load is asked for again, once.
        bool engineFailed = error && error->code == engineInternalError &&
                            g_strcmp0(g_quark_to_string(error->domain), "WebKitErrorDomain") == 0;
        if (engineFailed && view.engineRetries.insert(text(uri)).second) {
            view.retryLoad(text(uri), 1);
            return TRUE;
        }
        if (!view.frameLoadDelegate)
            return TRUE;
        if (view.committed)
            view.frameLoadDelegate->didFailLoadWithError(view, reason);
        else
            view.frameLoadDelegate->didFailProvisionalLoadWithError(view, reason);
        return TRUE;
    }

    // A certificate the system does not trust: accepted only when the store's own authority
    // signed it for that host, and then the page is asked for again.
    static gboolean tlsError(WebKitWebView*, const char* uri, GTlsCertificate* certificate,
                             GTlsCertificateFlags, gpointer self) {
        WebView& view = of(self);
        std::string address = text(uri);
        unsigned& attempts = view.trustAttempts[hostOf(address)];
        if (attempts >= maximumTrustAttempts ||
            !StoreSession::shared().trustStoreCertificate(certificate, address))
            return FALSE;
        view.loadFailed = true;
        view.retryLoad(address, attempts++);
        return TRUE;
    }

    static void title(WebKitWebView* webView, GParamSpec*, gpointer self) {
        WebView& view = of(self);
        std::string title = text(webkit_web_view_get_title(webView));
        if (view.frameLoadDelegate && !title.empty())
            view.frameLoadDelegate->didReceiveTitle(view, title);
    }

    static gboolean scriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer self) {
        WebView& view = of(self);
        if (!view.frameLoadDelegate ||
            webkit_script_dialog_get_dialog_type(dialog) != WEBKIT_SCRIPT_DIALOG_ALERT)
            return FALSE;
        view.frameLoadDelegate->runJavaScriptAlertPanelWithMessage(
            view, text(webkit_script_dialog_get_message(dialog)));
        return TRUE;
    }

    static GtkWidget* create(WebKitWebView*, WebKitNavigationAction* action, gpointer self) {
        WebView& view = of(self);
        if (!view.frameLoadDelegate)
            return nullptr;
        WebKitURIRequest* request = webkit_navigation_action_get_request(action);
        WebView* created = view.frameLoadDelegate->createWebViewWithRequest(
            view, request ? text(webkit_uri_request_get_uri(request)) : std::string());
        return created ? GTK_WIDGET(created->webView) : nullptr;
    }

    static void readyToShow(WebKitWebView*, gpointer self) {
        WebView& view = of(self);
        if (view.frameLoadDelegate)
            view.frameLoadDelegate->webViewShow(view);
    }

    static void close(WebKitWebView*, gpointer self) {
        WebView& view = of(self);
        if (view.frameLoadDelegate)
            view.frameLoadDelegate->webViewClose(view);
    }

    static gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self) {
        WebView& view = of(self);
        WebViewDelegate* delegate = view.policyDelegate;
        if (!delegate)
            return FALSE;
        bool use = true;
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
            WebKitURIResponse* response = webkit_response_policy_decision_get_response(
                WEBKIT_RESPONSE_POLICY_DECISION(decision));
            use = delegate->decidePolicyForMIMEType(
                view, text(webkit_uri_response_get_mime_type(response)));
        } else {
            WebKitNavigationAction* action =
                webkit_navigation_policy_decision_get_navigation_action(
                    WEBKIT_NAVIGATION_POLICY_DECISION(decision));
            WebKitURIRequest* request = webkit_navigation_action_get_request(action);
            std::string url = text(webkit_uri_request_get_uri(request));
            use = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION
                      ? delegate->decidePolicyForNewWindowAction(view, url)
                      : delegate->decidePolicyForNavigationAction(
                            view, url,
                            webkit_navigation_action_get_navigation_type(action) ==
                                WEBKIT_NAVIGATION_TYPE_LINK_CLICKED);
        }
        if (use)
            webkit_policy_decision_use(decision);
        else
            webkit_policy_decision_ignore(decision);
        return TRUE;
    }
};

void WebView::prepareBuilder(GtkBuilder* builder) {
    g_type_ensure(WEBKIT_TYPE_WEB_VIEW);
    gtk_builder_expose_object(builder, "storeSession", G_OBJECT(StoreSession::shared().session()));
}

WebView::WebView(Gtk::Widget& view) : webView(WEBKIT_WEB_VIEW(view.gobj())), gtkWidget(&view) {
    g_object_ref(webView);
    connectSignals();
}

WebView::WebView(WebKitWebView* adopted)
    : webView(adopted), gtkWidget(Glib::wrap(GTK_WIDGET(adopted))) {
    connectSignals();
}

std::unique_ptr<WebView> WebView::relatedTo(WebView& related) {
    auto* view = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related.webView, nullptr));
    g_object_ref_sink(view);
    // The engine would share the opener's settings; a pop-up keeps the engine's own, with no
    // application name in its user agent.
    WebKitSettings* own = webkit_settings_new();
    webkit_web_view_set_settings(view, own);
    g_object_unref(own);
    return std::unique_ptr<WebView>(new WebView(view));
}

WebView::~WebView() {
    for (unsigned long handler : handlers)
        g_signal_handler_disconnect(webView, handler);
    g_object_unref(webView);
}

void WebView::connectSignals() {
    auto connect = [this](const char* name, GCallback callback) {
        handlers.push_back(g_signal_connect(webView, name, callback, this));
    };
    connect("load-changed", G_CALLBACK(Signals::loadChanged));
    connect("load-failed", G_CALLBACK(Signals::loadFailed));
    connect("load-failed-with-tls-errors", G_CALLBACK(Signals::tlsError));
    connect("notify::title", G_CALLBACK(Signals::title));
    connect("script-dialog", G_CALLBACK(Signals::scriptDialog));
    connect("create", G_CALLBACK(Signals::create));
    connect("ready-to-show", G_CALLBACK(Signals::readyToShow));
    connect("close", G_CALLBACK(Signals::close));
    connect("decide-policy", G_CALLBACK(Signals::decidePolicy));
}

// Asked for again once the engine has finished with the refused load, a little later each time.
void WebView::retryLoad(const std::string& uri, unsigned attempt) {
    std::weak_ptr<bool> living = alive;
    Glib::signal_timeout().connect_once(
        [this, living, uri] {
            if (living.lock())
                webkit_web_view_load_uri(webView, uri.c_str());
        },
        attempt * retryDelayMilliseconds);
}

void WebView::setApplicationNameForUserAgent(const std::string& name) {
    WebKitSettings* settings = webkit_web_view_get_settings(webView);
    webkit_settings_set_user_agent(settings, nullptr);
    std::string engine = text(webkit_settings_get_user_agent(settings));
    webkit_settings_set_user_agent(settings, (engine + " " + name).c_str());
}

std::string WebView::userAgent() const {
    return text(webkit_settings_get_user_agent(webkit_web_view_get_settings(webView)));
}

void WebView::setPrintsBackgrounds(bool prints) {
    WebKitSettings* settings = webkit_web_view_get_settings(webView);
    webkit_settings_set_print_backgrounds(settings, prints);
    // Store pages open their pop-up windows from scripts, as the store has always done.
    webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
}

void WebView::loadURL(const std::string& url) {
    webkit_web_view_load_uri(webView, url.c_str());
}

void WebView::loadData(const std::string& data, const std::string& mimeType,
                       const std::string& encoding, const std::string& baseURL) {
    GBytes* bytes = g_bytes_new(data.data(), data.size());
    webkit_web_view_load_bytes(webView, bytes, mimeType.empty() ? nullptr : mimeType.c_str(),
                               encoding.empty() ? nullptr : encoding.c_str(), baseURL.c_str());
    g_bytes_unref(bytes);
}

void WebView::goBack() {
    webkit_web_view_go_back(webView);
}

void WebView::goForward() {
    webkit_web_view_go_forward(webView);
}

bool WebView::canGoBack() const {
    return webkit_web_view_can_go_back(webView);
}

bool WebView::canGoForward() const {
    return webkit_web_view_can_go_forward(webView);
}

void WebView::stopLoading() {
    webkit_web_view_stop_loading(webView);
}

bool WebView::isLoading() const {
    return webkit_web_view_is_loading(webView);
}

bool WebView::hasNoHistory() const {
    WebKitBackForwardList* history = webkit_web_view_get_back_forward_list(webView);
    return !webkit_back_forward_list_get_current_item(history) && !isLoading();
}

std::string WebView::url() const {
    return text(webkit_web_view_get_uri(webView));
}

std::string WebView::title() const {
    return text(webkit_web_view_get_title(webView));
}

std::vector<std::pair<std::string, std::string>> WebView::mainResourceHeaders() const {
    std::vector<std::pair<std::string, std::string>> headers;
    WebKitWebResource* resource = webkit_web_view_get_main_resource(webView);
    WebKitURIResponse* response = resource ? webkit_web_resource_get_response(resource) : nullptr;
    SoupMessageHeaders* fields =
        response ? webkit_uri_response_get_http_headers(response) : nullptr;
    if (!fields)
        return headers;
    SoupMessageHeadersIter iterator;
    const char* name = nullptr;
    const char* value = nullptr;
    soup_message_headers_iter_init(&iterator, fields);
    while (soup_message_headers_iter_next(&iterator, &name, &value))
        headers.emplace_back(text(name), text(value));
    return headers;
}

void WebView::print(Gtk::Window& window, std::function<void()> finished) {
    // The job ends once: when printing has finished, or when the dialog was cancelled.
    struct PrintJob {
        WebKitPrintOperation* operation;
        std::function<void()> finished;
        bool ended = false;
        void end() {
            if (std::exchange(ended, true))
                return;
            if (finished)
                finished();
            g_object_unref(operation);
        }
    };
    auto job = std::make_shared<PrintJob>(
        PrintJob{webkit_print_operation_new(webView), std::move(finished)});
    g_signal_connect_data(
        job->operation, "finished", G_CALLBACK(+[](WebKitPrintOperation*, gpointer data) {
            (*static_cast<std::shared_ptr<PrintJob>*>(data))->end();
        }),
        new std::shared_ptr<PrintJob>(job),
        +[](gpointer data, GClosure*) { delete static_cast<std::shared_ptr<PrintJob>*>(data); },
        GConnectFlags(0));
    if (webkit_print_operation_run_dialog(job->operation, window.gobj()) ==
        WEBKIT_PRINT_OPERATION_RESPONSE_CANCEL)
        job->end();
}
