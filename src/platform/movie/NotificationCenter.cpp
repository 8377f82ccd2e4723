#include "platform/movie/NotificationCenter.h"

#include <algorithm>

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(const void* observer, Handler handler, const std::string& name,
                                     const void* object) {
    auto observation = std::make_shared<Observation>();
    observation->observer = observer;
    observation->name = name;
    observation->object = object;
    observation->handler = std::move(handler);
    std::lock_guard guard(lock);
    observations.push_back(std::move(observation));
}

void NotificationCenter::removeObserver(const void* observer, const std::string& name,
                                        const void* object) {
    std::lock_guard guard(lock);
    std::erase_if(observations, [&](const std::shared_ptr<Observation>& o) {
        bool matches = o->observer == observer && (name.empty() || o->name == name) &&
                       (!object || o->object == object);
        if (matches)
            o->active = false;
        return matches;
    });
}

void NotificationCenter::postNotification(const std::string& name, const void* object,
                                          std::map<std::string, double> userInfo) {
    Notification notification{name, object, std::move(userInfo)};
    std::vector<std::shared_ptr<Observation>> receivers;
    {
        std::lock_guard guard(lock);
        for (const auto& o : observations) {
            if ((o->name.empty() || o->name == name) && (!o->object || o->object == object))
                receivers.push_back(o);
        }
    }
    for (const auto& receiver : receivers) {
        bool active;
        {
            std::lock_guard guard(lock);
            active = receiver->active;
        }
        if (active)
            receiver->handler(notification);
    }
}

std::size_t NotificationCenter::observationCount(const void* observer,
                                                 const std::string& name) const {
    std::lock_guard guard(lock);
    return static_cast<std::size_t>(
        std::count_if(observations.begin(), observations.end(), [&](const auto& o) {
            return o->observer == observer && (name.empty() || o->name == name);
        }));
}
