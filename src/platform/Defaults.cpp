#include "platform/Defaults.h"

#include "platform/Paths.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <glib.h>
#include <glibmm/fileutils.h>
#include <memory>
#include <sstream>

namespace {

const char* const group = "Defaults";

std::unique_ptr<Defaults>& standardStore() {
    static std::unique_ptr<Defaults> store;
    return store;
}

std::mutex standardLock;

// A key file holds UTF-8 text. A string that is not (a folder named in another encoding) is
// written with its stray bytes as \xNN, an escape the key file itself refuses, so reading it back
// falls to unescapedValue.
const std::map<char, char> escapes = {{'\\', '\\'}, {'\n', 'n'}, {'\t', 't'}, {'\r', 'r'}};

std::string escapedValue(const std::string& value) {
    std::string escaped;
    const gchar* at = value.c_str();
    const gchar* end = at + value.size();
    while (at < end) {
        const gchar* validEnd = nullptr;
        g_utf8_validate(at, end - at, &validEnd);
        for (; at < validEnd; ++at) {
            auto found = escapes.find(*at);
            if (found != escapes.end())
                escaped += {'\\', found->second};
            else if (*at == ' ' && escaped.empty())
                escaped += "\\s";
            else
                escaped += *at;
        }
        if (at < end) {
            char byte[5];
            std::snprintf(byte, sizeof byte, "\\x%02X", static_cast<unsigned char>(*at++));
            escaped += byte;
        }
    }
    return escaped;
}

std::string unescapedValue(const std::string& raw) {
    std::string value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            value += raw[i];
            continue;
        }
        char kind = raw[++i];
        if (kind == 'x' && i + 2 < raw.size()) {
            value += static_cast<char>(std::strtol(raw.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
            continue;
        }
        auto named = std::find_if(escapes.begin(), escapes.end(),
                                  [kind](const auto& escape) { return escape.second == kind; });
        value += kind == 's' ? ' ' : named != escapes.end() ? named->first : kind;
    }
    return value;
}

// Registered defaults belong to the process, not to the file: they outlive a reset.
std::map<std::string, Defaults::Value>& processRegistrations() {
    static std::map<std::string, Defaults::Value> registrations;
    return registrations;
}

} // namespace

Defaults& Defaults::standard() {
    std::lock_guard<std::mutex> guard(standardLock);
    auto& store = standardStore();
    if (!store) {
        store = std::make_unique<Defaults>(Paths::configDirectory() + "/fretlark/defaults.ini");
        store->registeredValues = processRegistrations();
    }
    return *store;
}

void Defaults::resetStandard() {
    std::lock_guard<std::mutex> guard(standardLock);
    if (auto& store = standardStore())
        processRegistrations() = store->registeredValues;
    standardStore().reset();
}

Defaults::Defaults(std::string filePath)
    : path(std::move(filePath)), userValues(Glib::KeyFile::create()) {
    load();
}

void Defaults::load() {
    std::string contents;
    try {
        contents = Glib::file_get_contents(path);
    } catch (const Glib::FileError&) {
        return;
    }
    try {
        userValues->load_from_data(contents, Glib::KeyFile::Flags::KEEP_COMMENTS);
    } catch (const Glib::Error&) {
        salvage(contents);
    }
}

// A damaged file still holds good lines: keep every key line that parses on its own.
void Defaults::salvage(const std::string& contents) {
    std::istringstream lines(contents);
    std::string line;
    while (std::getline(lines, line)) {
        auto single = Glib::KeyFile::create();
        try {
            single->load_from_data(std::string("[") + group + "]\n" + line + "\n");
            for (const auto& key : single->get_keys(group))
                userValues->set_value(group, key, single->get_value(group, key));
        } catch (const Glib::Error&) {
            continue;
        }
    }
}

void Defaults::registerDefaults(const std::map<std::string, Value>& defaults) {
    std::lock_guard<std::mutex> guard(lock);
    for (const auto& [key, value] : defaults)
        registeredValues[key] = value;
}

template <typename T> T Defaults::registered(const std::string& key) const {
    auto found = registeredValues.find(key);
    if (found == registeredValues.end() || !std::holds_alternative<T>(found->second))
        return T{};
    return std::get<T>(found->second);
}

bool Defaults::hasUserValue(const std::string& key) const {
    std::lock_guard<std::mutex> guard(lock);
    return userValues->has_group(group) && userValues->has_key(group, key);
}

bool Defaults::boolForKey(const std::string& key) const {
    std::lock_guard<std::mutex> guard(lock);
    try {
        return userValues->get_boolean(group, key);
    } catch (const Glib::Error&) {
        return registered<bool>(key);
    }
}

std::int64_t Defaults::integerForKey(const std::string& key) const {
    std::lock_guard<std::mutex> guard(lock);
    try {
        return userValues->get_int64(group, key);
    } catch (const Glib::Error&) {
        return registered<std::int64_t>(key);
    }
}

std::string Defaults::stringForKey(const std::string& key) const {
    std::lock_guard<std::mutex> guard(lock);
    try {
        return userValues->get_string(group, key);
    } catch (const Glib::KeyFileError& error) {
        if (error.code() != Glib::KeyFileError::INVALID_VALUE)
            return registered<std::string>(key);
        return unescapedValue(userValues->get_value(group, key));
    } catch (const Glib::Error&) {
        return registered<std::string>(key);
    }
}

void Defaults::setBool(const std::string& key, bool value) {
    {
        std::lock_guard<std::mutex> guard(lock);
        userValues->set_boolean(group, key, value);
    }
    synchronize();
}

void Defaults::setInteger(const std::string& key, std::int64_t value) {
    {
        std::lock_guard<std::mutex> guard(lock);
        userValues->set_int64(group, key, value);
    }
    synchronize();
}

void Defaults::setString(const std::string& key, const std::string& value) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (g_utf8_validate(value.c_str(), static_cast<gssize>(value.size()), nullptr))
            userValues->set_string(group, key, value);
        else
            userValues->set_value(group, key, escapedValue(value));
    }
    synchronize();
}

void Defaults::removeObject(const std::string& key) {
    {
        std::lock_guard<std::mutex> guard(lock);
        try {
            userValues->remove_key(group, key);
        } catch (const Glib::Error&) {
            return;
        }
    }
    synchronize();
}

bool Defaults::synchronize() {
    std::lock_guard<std::mutex> guard(lock);
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    std::string data = userValues->to_data();
    // g_file_set_contents writes a temporary file, syncs it and renames it over the old one.
    return g_file_set_contents(path.c_str(), data.data(), static_cast<gssize>(data.size()),
                               nullptr);
}
