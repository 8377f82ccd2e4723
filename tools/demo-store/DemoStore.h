#pragma once

#include "FaultPlan.h"
#include "RequestLog.h"
#include "StoreCertificate.h"
#include "StorePages.h"

#include <libsoup/soup.h>
#include <mutex>
#include <string>
#include <vector>

// The local store: https on 127.0.0.1 with its own certificate, serving the store's pages,
// download descriptions and lesson files. It runs on the main context that is the thread default
// where it is created; faults and the request log may be used from any thread.
class DemoStore {
public:
    DemoStore(std::string lessonsFolder, std::string descriptionsFolder);
    ~DemoStore();
    DemoStore(const DemoStore&) = delete;
    DemoStore& operator=(const DemoStore&) = delete;

    // Port 0 picks a free one.
    bool listen(const StoreCertificate& certificate, int port);
    int port() const { return listeningPort; }
    std::string baseURL() const;

    void setFaults(const FaultPlan& plan);
    FaultPlan faults() const;
    std::vector<StoreRequest> requests() const;
    // Also appends every request to this file (RequestLog's format).
    void setRequestLog(const std::string& file);

private:
    static void handleLesson(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                             gpointer self);
    static void handleDescription(SoupServer*, SoupServerMessage* message, const char*, GHashTable*,
                                  gpointer self);
    static void handleFaults(SoupServer*, SoupServerMessage* message, const char*,
                             GHashTable* query, gpointer self);
    static void handlePage(SoupServer*, SoupServerMessage* message, const char*, GHashTable*,
                           gpointer self);
    static void delay(SoupServerMessage* message, std::int64_t milliseconds);
    static StoreRequest requestOf(SoupServerMessage* message);
    void record(StoreRequest request, int status);
    FaultPlan faultsForRequest(SoupServerMessage* message, const std::string& file);

    std::string lessonsFolder;
    std::string descriptionsFolder;
    StorePages pages;
    SoupServer* server = nullptr;
    int listeningPort = 0;
    mutable std::mutex lock;
    FaultPlan plan;
    std::vector<StoreRequest> log;
    std::string logFile;
};
