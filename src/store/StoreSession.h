#pragma once

#include <string>

typedef struct _WebKitNetworkSession WebKitNetworkSession;
typedef struct _WebKitCookieManager WebKitCookieManager;
typedef struct _GTlsCertificate GTlsCertificate;

// The store's one web session: its cookies, cache and local storage persist under the user's data
// folder, and a server whose certificate chains to the "storeCertificate" authority is trusted
// on top of the system's authorities, host by host, exactly as for the download transfers.
class StoreSession {
public:
    // Created on first use, in the data folder of that moment.
    static StoreSession& shared();
    static void uninitialize();
    // Where the session keeps its data: a run that starts with no cookie file has no cookies.
    static std::string dataDirectory();
    static bool hasStoredCookies();

    StoreSession();
    ~StoreSession();
    StoreSession(const StoreSession&) = delete;
    StoreSession& operator=(const StoreSession&) = delete;

    WebKitNetworkSession* session() const { return networkSession; }
    WebKitCookieManager* cookieManager() const;

    // Keeps the web session alive while one of its cookie operations is on its way, and a moment
    // longer: the web engine lets go of the cookie manager only after the operation's callback,
    // and the manager must never outlive its session.
    class Hold {
    public:
        Hold();
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        WebKitCookieManager* cookieManager() const;

    private:
        WebKitNetworkSession* held;
    };

    // Whether the certificate chains to the store's own authority and names the host.
    static bool isSignedByStoreAuthority(GTlsCertificate* certificate, const std::string& host,
                                         int port);
    // Lets the session accept the certificate the server at this https address presented, when
    // the store's authority signed it for that host. Answers whether it did.
    bool trustStoreCertificate(GTlsCertificate* certificate, const std::string& uri);
    // The cookie domain of the store: its host without a port.
    static std::string storeDomain();

private:
    WebKitNetworkSession* networkSession = nullptr;
};
