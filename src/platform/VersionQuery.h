#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Answers the two version questions of the start-up gates in their packed form.
// 'sysv': 0x1040 when GTK 4 and WebKitGTK meet our minimums, else 0x1039.
// 'qtim': 0x0700 in the upper half when GStreamer, the plug-ins we need and decoders for H.264 and
// AAC are there, else 0x0600.
// FRETLARK_SYSTEM_VERSION / FRETLARK_QUICKTIME_VERSION override the answers (hex or decimal);
// the value "fail" makes the query itself fail.
class VersionQuery {
public:
    static std::optional<std::uint32_t> gestalt(const std::string& selector);

private:
    static std::optional<std::uint32_t> override(const char* variable, bool& overridden);
    static std::uint32_t systemVersion();
    static std::uint32_t movieFrameworkVersion();
};
