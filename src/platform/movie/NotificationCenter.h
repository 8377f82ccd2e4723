#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A notification: its name, the object that posted it and what it carries.
struct Notification {
    std::string name;
    const void* object = nullptr;
    std::map<std::string, double> userInfo;
};

// The process-wide notification centre for observers that listen to a notification from one
// sender or from any sender (the movie's did-end and rate changes). Notifications are delivered
// synchronously on the posting thread. An observer removed while a notification is being delivered
// gets no further call, so an observer may remove itself or others from its handler.
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // object null: from any sender.
    void addObserver(const void* observer, Handler handler, const std::string& name,
                     const void* object);
    // Removes the observer's registrations for name (empty: every name) and object (null: every
    // sender).
    void removeObserver(const void* observer, const std::string& name = {},
                        const void* object = nullptr);
    void postNotification(const std::string& name, const void* object,
                          std::map<std::string, double> userInfo = {});
    // How many registrations the observer holds for name (empty: for any name).
    std::size_t observationCount(const void* observer, const std::string& name = {}) const;

private:
    struct Observation {
        const void* observer;
        std::string name;
        const void* object;
        Handler handler;
        bool active = true;
    };

    mutable std::mutex lock;
    std::vector<std::shared_ptr<Observation>> observations;
};
