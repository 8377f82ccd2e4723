#pragma once

#include <memory>
#include <plist/plist.h>
#include <type_traits>

// Owns one libplist node tree and frees it once.
struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistHandle = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistFree>;
