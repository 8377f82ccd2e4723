#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

typedef struct _WebKitWebView WebKitWebView;
typedef struct _GtkBuilder GtkBuilder;
namespace Gtk {
class Widget;
class Window;
} // namespace Gtk

class WebView;

// What a web view tells its delegate, all on the main thread. The web engine reports loads of
// the main frame only; inner frames never reach these callbacks.
class WebViewDelegate {
public:
    virtual ~WebViewDelegate() = default;
    // Frame loads.
    virtual void didStartProvisionalLoadForFrame(WebView& sender) = 0;
    virtual void didFinishLoadForFrame(WebView& sender) = 0;
    virtual void didFailProvisionalLoadWithError(WebView& sender, const std::string& error) = 0;
    virtual void didFailLoadWithError(WebView& sender, const std::string& error) = 0;
    // Only for a page that has a title.
    virtual void didReceiveTitle(WebView& sender, const std::string& title) = 0;
    // Script dialogs and windows.
    virtual void runJavaScriptAlertPanelWithMessage(WebView& sender,
                                                    const std::string& message) = 0;
    // A script opens a window; answers the view it will load in, or nothing to refuse.
    virtual WebView* createWebViewWithRequest(WebView& sender, const std::string& url) = 0;
    virtual void webViewShow(WebView& sender) = 0;
    virtual void webViewClose(WebView& sender) = 0;
    // Policy, asked only of a view that has a policy delegate: true to use, false to ignore.
    virtual bool decidePolicyForNavigationAction(WebView& sender, const std::string& url,
                                                 bool linkClicked) = 0;
    virtual bool decidePolicyForMIMEType(WebView& sender, const std::string& mimeType) = 0;
    virtual bool decidePolicyForNewWindowAction(WebView& sender, const std::string& url) = 0;
};

// One WebKitGTK web view of the store's session, its signals turned into delegate callbacks.
// Destroying the wrapper disconnects them; the widget itself belongs to its container.
class WebView {
public:
    // The layout builds the main view; this makes the type and the store's session known to it
    // (the layout names the session "storeSession").
    static void prepareBuilder(GtkBuilder* builder);
    // Wraps a view that the layout built.
    explicit WebView(Gtk::Widget& view);
    // A new view sharing the web process of `related`, as a script-opened window needs.
    static std::unique_ptr<WebView> relatedTo(WebView& related);
    ~WebView();
    WebView(const WebView&) = delete;
    WebView& operator=(const WebView&) = delete;

    Gtk::Widget& widget() const { return *gtkWidget; }
    WebKitWebView* view() const { return webView; }

    // The frame-load and UI delegate; the policy delegate is optional (without one the engine's
    // own policies apply).
    void setDelegate(WebViewDelegate* delegate) { frameLoadDelegate = delegate; }
    void setPolicyDelegate(WebViewDelegate* delegate) { policyDelegate = delegate; }

    // Settings of start-up.
    void setApplicationNameForUserAgent(const std::string& name);
    std::string userAgent() const;
    void setPrintsBackgrounds(bool prints);

    void loadURL(const std::string& url);
    // Shows a document received outside the view as if it had been loaded from baseURL.
    void loadData(const std::string& data, const std::string& mimeType, const std::string& encoding,
                  const std::string& baseURL);
    void goBack();
    void goForward();
    bool canGoBack() const;
    bool canGoForward() const;
    void stopLoading();
    bool isLoading() const;
    // Nothing shown and nothing on its way yet.
    bool hasNoHistory() const;
    std::string url() const;
    std::string title() const;
    // The response headers of the main frame's document, in the order the server sent them.
    std::vector<std::pair<std::string, std::string>> mainResourceHeaders() const;
    // Prints the whole page through the print dialog, modal to the window; `finished` follows
    // once printing is over or was cancelled.
    void print(Gtk::Window& window, std::function<void()> finished);

private:
    explicit WebView(WebKitWebView* adopted);
    void connectSignals();
    void retryLoad(const std::string& uri, unsigned attempt);

    // The signal handlers.
    struct Signals;
    friend struct Signals;

    WebKitWebView* webView = nullptr;
    Gtk::Widget* gtkWidget = nullptr;
    WebViewDelegate* frameLoadDelegate = nullptr;
    WebViewDelegate* policyDelegate = nullptr;
    std::vector<unsigned long> handlers;
    // The current load has already been reported as failed; its finish is not a success.
    bool loadFailed = false;
    bool committed = false;
    // How often each host's certificate was trusted for this view: the session takes the trust
    // in a moment of its own, so a load may be refused once more; after a few tries it is final.
    std::map<std::string, unsigned> trustAttempts;
    // Addresses already asked for again after the engine itself failed them.
    std::set<std::string> engineRetries;
    // Gone with the wrapper, so a retry scheduled for it is dropped.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
