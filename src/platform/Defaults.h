#pragma once

#include <cstdint>
#include <glibmm/keyfile.h>
#include <map>
#include <mutex>
#include <string>
#include <variant>

// The user defaults store: registered defaults in memory, the user's own values in
// $XDG_CONFIG_HOME/fretlark/defaults.ini, group [Defaults]. A value that is missing, unreadable or
// of the wrong type answers its registered default; every other value of the file is kept.
class Defaults {
public:
    using Value = std::variant<bool, std::int64_t, std::string>;

    static Defaults& standard();
    // Drops the process-wide store so the next standard() reads the file again; what was
    // registered stays registered.
    static void resetStandard();

    explicit Defaults(std::string filePath);

    void registerDefaults(const std::map<std::string, Value>& defaults);
    bool boolForKey(const std::string& key) const;
    std::int64_t integerForKey(const std::string& key) const;
    std::string stringForKey(const std::string& key) const;
    bool hasUserValue(const std::string& key) const;

    void setBool(const std::string& key, bool value);
    void setInteger(const std::string& key, std::int64_t value);
    void setString(const std::string& key, const std::string& value);
    void removeObject(const std::string& key);

    // Writes the user's values atomically; answers whether the file was written.
    bool synchronize();
    const std::string& filePath() const { return path; }

private:
    void load();
    void salvage(const std::string& contents);
    template <typename T> T registered(const std::string& key) const;

    std::string path;
    mutable std::mutex lock;
    Glib::RefPtr<Glib::KeyFile> userValues;
    std::map<std::string, Value> registeredValues;
};
