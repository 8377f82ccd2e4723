#pragma once

#include "DemoStore.h"

#include <atomic>
#include <future>
#include <glib.h>
#include <memory>
#include <string>
#include <thread>

// The demo store serving on a thread of its own, as a separate server would, with its lessons and
// descriptions in folders of the test.
class StoreThread {
public:
    explicit StoreThread(const std::string& folder);
    ~StoreThread();

    DemoStore& store() { return *server; }
    std::string lessonURL(const std::string& name) const;
    const std::string& authorityPath() const { return authority; }
    const std::string& lessonsFolder() const { return lessons; }
    const std::string& descriptionsFolder() const { return descriptions; }

private:
    void serve(std::promise<bool>& ready);
    static gboolean quitLoop(gpointer self);

    std::string lessons;
    std::string descriptions;
    std::string authority;
    DemoStore* server = nullptr;
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    std::atomic<bool> stopping{false};
    std::thread thread;
};
