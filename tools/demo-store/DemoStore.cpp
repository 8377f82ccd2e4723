#include "DemoStore.h"

#include "DescriptionResponder.h"
#include "LessonResponder.h"

#include <map>
#include <sstream>

namespace {

const char* const lessonsPrefix = "/lessons/";

bool isInsideFolder(const std::string& relative) {
    std::istringstream components(relative);
    std::string component;
    while (std::getline(components, component, '/')) {
        if (component.empty() || component == "." || component == "..")
            return false;
    }
    return !relative.empty();
}

std::string header(SoupServerMessage* message, const char* name) {
    const char* value =
        soup_message_headers_get_one(soup_server_message_get_request_headers(message), name);
    return value ? value : "";
}

} // namespace

DemoStore::DemoStore(std::string lessons, std::string descriptions)
    : lessonsFolder(std::move(lessons)), descriptionsFolder(std::move(descriptions)),
      pages(descriptionsFolder) {}

DemoStore::~DemoStore() {
    if (server) {
        soup_server_disconnect(server);
        g_object_unref(server);
    }
}

bool DemoStore::listen(const StoreCertificate& certificate, int port) {
    GTlsCertificate* tls = g_tls_certificate_new_from_files(certificate.certificatePath.c_str(),
                                                            certificate.keyPath.c_str(), nullptr);
    if (!tls)
        return false;
    server = soup_server_new("tls-certificate", tls, "server-header", "FretlarkDemoStore", nullptr);
    g_object_unref(tls);
    soup_server_add_handler(server, lessonsPrefix, handleLesson, this, nullptr);
    soup_server_add_handler(server, "/downloadStore/download.php", handleDescription, this,
                            nullptr);
    soup_server_add_handler(server, "/control/faults", handleFaults, this, nullptr);
    soup_server_add_handler(server, "/downloadStore", handlePage, this, nullptr);
    GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
    GSocketAddress* address = g_inet_socket_address_new(loopback, static_cast<guint16>(port));
    g_object_unref(loopback);
    gboolean listening = soup_server_listen(server, address, SOUP_SERVER_LISTEN_HTTPS, nullptr);
    g_object_unref(address);
    if (!listening)
        return false;
    GSList* uris = soup_server_get_uris(server);
    listeningPort = uris ? g_uri_get_port(static_cast<GUri*>(uris->data)) : 0;
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    return listeningPort > 0;
}

std::string DemoStore::baseURL() const {
    return "https://127.0.0.1:" + std::to_string(listeningPort);
}

void DemoStore::setFaults(const FaultPlan& faults) {
    std::lock_guard<std::mutex> held(lock);
    plan = faults;
}

FaultPlan DemoStore::faults() const {
    std::lock_guard<std::mutex> held(lock);
    return plan;
}

std::vector<StoreRequest> DemoStore::requests() const {
    std::lock_guard<std::mutex> held(lock);
    return log;
}

void DemoStore::setRequestLog(const std::string& file) {
    std::lock_guard<std::mutex> held(lock);
    logFile = file;
}

StoreRequest DemoStore::requestOf(SoupServerMessage* message) {
    GUri* uri = soup_server_message_get_uri(message);
    StoreRequest request;
    request.path = g_uri_get_path(uri);
    request.range = header(message, "Range");
    request.ifRange = header(message, "If-Range");
    request.method = soup_server_message_get_method(message);
    const char* query = g_uri_get_query(uri);
    request.query = query ? query : "";
    SoupMessageHeadersIter headers;
    const char* name = nullptr;
    const char* value = nullptr;
    soup_message_headers_iter_init(&headers, soup_server_message_get_request_headers(message));
    while (soup_message_headers_iter_next(&headers, &name, &value))
        request.headers.emplace_back(name, value);
    GBytes* body = soup_message_body_flatten(soup_server_message_get_request_body(message));
    gsize size = 0;
    const char* data = static_cast<const char*>(g_bytes_get_data(body, &size));
    request.body.assign(data ? data : "", size);
    g_bytes_unref(body);
    return request;
}

void DemoStore::record(StoreRequest request, int status) {
    request.status = status;
    std::lock_guard<std::mutex> held(lock);
    if (!logFile.empty())
        RequestLog::append(logFile, request);
    log.push_back(std::move(request));
}

// The file changes once, on the first range request after the switch was set.
FaultPlan DemoStore::faultsForRequest(SoupServerMessage* message, const std::string& file) {
    std::lock_guard<std::mutex> held(lock);
    FaultPlan current = plan;
    if (plan.changeOnRange && !header(message, "Range").empty()) {
        LessonResponder::rewrite(file);
        plan.changeOnRange = false;
    }
    return current;
}

void DemoStore::handleLesson(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                             gpointer self) {
    auto* store = static_cast<DemoStore*>(self);
    StoreRequest request = requestOf(message);
    std::string relative = std::string(path).substr(std::char_traits<char>::length(lessonsPrefix));
    if (!isInsideFolder(relative)) {
        soup_server_message_set_status(message, SOUP_STATUS_NOT_FOUND, nullptr);
        return store->record(request, SOUP_STATUS_NOT_FOUND);
    }
    std::string file = store->lessonsFolder + "/" + relative;
    FaultPlan faults = store->faultsForRequest(message, file);
    store->record(request, LessonResponder::respond(message, file, faults));
}

void DemoStore::handleDescription(SoupServer*, SoupServerMessage* message, const char*, GHashTable*,
                                  gpointer self) {
    auto* store = static_cast<DemoStore*>(self);
    StoreRequest request = requestOf(message);
    store->record(request, DescriptionResponder::respond(message, store->descriptionsFolder,
                                                         store->baseURL(), store->faults()));
}

void DemoStore::handleFaults(SoupServer*, SoupServerMessage* message, const char*,
                             GHashTable* query, gpointer self) {
    auto* store = static_cast<DemoStore*>(self);
    std::map<std::string, std::string> options;
    if (query) {
        GHashTableIter iterator;
        gpointer key = nullptr, value = nullptr;
        g_hash_table_iter_init(&iterator, query);
        while (g_hash_table_iter_next(&iterator, &key, &value))
            options.emplace(static_cast<const char*>(key), static_cast<const char*>(value));
    }
    store->setFaults(FaultPlan::fromQuery(options));
    soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
    soup_server_message_set_response(message, "text/plain", SOUP_MEMORY_STATIC, "ok\n", 3);
    store->record(requestOf(message), SOUP_STATUS_OK);
}

void DemoStore::handlePage(SoupServer*, SoupServerMessage* message, const char*, GHashTable*,
                           gpointer self) {
    auto* store = static_cast<DemoStore*>(self);
    StoreRequest request = requestOf(message);
    int status = store->pages.respond(message);
    store->record(request, status);
    std::int64_t pageDelay = store->faults().pageDelay;
    if (pageDelay > 0)
        delay(message, pageDelay);
}

// Holds the answer back, so that a client can be seen while it waits for a page.
void DemoStore::delay(SoupServerMessage* message, std::int64_t milliseconds) {
    soup_server_message_pause(message);
    GSource* timer = g_timeout_source_new(static_cast<guint>(milliseconds));
    g_source_set_callback(
        timer,
        +[](gpointer held) -> gboolean {
            soup_server_message_unpause(static_cast<SoupServerMessage*>(held));
            return G_SOURCE_REMOVE;
        },
        g_object_ref(message), g_object_unref);
    g_source_attach(timer, g_main_context_get_thread_default());
    g_source_unref(timer);
}
