#include "store/StoreSession.h"

#include "platform/Paths.h"
#include "platform/StoreHost.h"
#include "platform/net/GErrorHandle.h"
#include "platform/net/GObjectPtr.h"

#include <filesystem>
#include <memory>
#include <webkit/webkit.h>

namespace {

std::unique_ptr<StoreSession>& sharedSession() {
    static std::unique_ptr<StoreSession> session;
    return session;
}

const char* const cookieFile = "cookies.sqlite";

} // namespace

StoreSession& StoreSession::shared() {
    if (!sharedSession())
        sharedSession() = std::make_unique<StoreSession>();
    return *sharedSession();
}

void StoreSession::uninitialize() {
    sharedSession().reset();
}

std::string StoreSession::dataDirectory() {
    return Paths::dataDirectory() + "/fretlark/store";
}

bool StoreSession::hasStoredCookies() {
    std::error_code error;
    return std::filesystem::exists(dataDirectory() + "/" + cookieFile, error);
}

StoreSession::StoreSession() {
    std::string cache = Paths::cachesDirectory() + "/fretlark/store";
    networkSession = webkit_network_session_new(dataDirectory().c_str(), cache.c_str());
    webkit_network_session_set_tls_errors_policy(networkSession, WEBKIT_TLS_ERRORS_POLICY_FAIL);
    std::string cookies = dataDirectory() + "/" + cookieFile;
    webkit_cookie_manager_set_persistent_storage(cookieManager(), cookies.c_str(),
                                                 WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
}

StoreSession::~StoreSession() {
    g_object_unref(networkSession);
}

WebKitCookieManager* StoreSession::cookieManager() const {
    return webkit_network_session_get_cookie_manager(networkSession);
}

StoreSession::Hold::Hold()
    : held(static_cast<WebKitNetworkSession*>(g_object_ref(shared().session()))) {}

StoreSession::Hold::~Hold() {
    g_idle_add(
        [](gpointer session) {
            g_object_unref(session);
            return G_SOURCE_REMOVE;
        },
        held);
}

WebKitCookieManager* StoreSession::Hold::cookieManager() const {
    return webkit_network_session_get_cookie_manager(held);
}

bool StoreSession::isSignedByStoreAuthority(GTlsCertificate* certificate, const std::string& host,
                                            int port) {
    std::string authorityFile = StoreHost::certificatePath();
    if (authorityFile.empty() || !certificate || host.empty())
        return false;
    GErrorHandle error;
    auto authority = GObjectPtr<GTlsDatabase>::adopt(
        g_tls_file_database_new(authorityFile.c_str(), error.out()));
    if (!authority)
        return false;
    auto identity = GObjectPtr<GSocketConnectable>::adopt(
        g_network_address_new(host.c_str(), static_cast<guint16>(port > 0 ? port : 443)));
    GTlsCertificateFlags flags = g_tls_database_verify_chain(
        authority.get(), certificate, G_TLS_DATABASE_PURPOSE_AUTHENTICATE_SERVER, identity.get(),
        nullptr, G_TLS_DATABASE_VERIFY_NONE, nullptr, error.out());
    return !error && flags == 0;
}

bool StoreSession::trustStoreCertificate(GTlsCertificate* certificate, const std::string& uri) {
    GUri* parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_ENCODED, nullptr);
    if (!parsed)
        return false;
    std::string scheme = g_uri_get_scheme(parsed);
    std::string host = g_uri_get_host(parsed) ? g_uri_get_host(parsed) : "";
    int port = g_uri_get_port(parsed);
    g_uri_unref(parsed);
    if (scheme != "https" || !isSignedByStoreAuthority(certificate, host, port))
        return false;
    webkit_network_session_allow_tls_certificate_for_host(networkSession, certificate,
                                                          host.c_str());
    return true;
}

std::string StoreSession::storeDomain() {
    std::string host = StoreHost::host();
    if (!host.empty() && host.front() == '[')
        return host.substr(1, host.find(']') - 1);
    return host.substr(0, host.rfind(':'));
}
