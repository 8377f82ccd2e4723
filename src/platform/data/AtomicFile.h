#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Whole-file reads and writes for the small files that a later run reads back. A write goes to a
// temporary file beside the target, is flushed to disk and then renamed over it, so a crash leaves
// either the old file or the new one, never half of either.
class AtomicFile {
public:
    static bool write(const std::string& path, std::string_view contents);
    // Nothing when the file cannot be read or is larger than maximumSize.
    static std::optional<std::string> read(const std::string& path, std::size_t maximumSize);
    // Flushes a folder's entries, so that a rename into it survives a crash; "" is the current
    // folder.
    static void syncFolder(const std::string& folder);
};
