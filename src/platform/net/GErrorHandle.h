#pragma once

#include <glib.h>
#include <string>

// Receives a GError from a GLib call and frees it; platform code turns it into plain text or a
// flag, so no GError leaves this layer.
class GErrorHandle {
public:
    GErrorHandle() = default;
    GErrorHandle(const GErrorHandle&) = delete;
    GErrorHandle& operator=(const GErrorHandle&) = delete;
    ~GErrorHandle() { g_clear_error(&error); }

    GError** out() {
        g_clear_error(&error);
        return &error;
    }
    explicit operator bool() const { return error != nullptr; }
    bool matches(GQuark domain, int code) const { return g_error_matches(error, domain, code); }
    std::string message() const { return error ? error->message : std::string(); }

private:
    GError* error = nullptr;
};
