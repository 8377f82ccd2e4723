#pragma once

#include <string>

// The application's own resources, found by name: layouts, pictures, the script, the version.
// Searched in FRETLARK_RESOURCES, else the installed data folder, else the source tree.
class Resources {
public:
    static std::string resourceDirectory();
    // Full path of name.extension, or empty when there is none.
    static std::string pathForResource(const std::string& name, const std::string& extension);
    // A picture by name, whichever of the picture formats it was drawn in.
    static std::string pathForImageResource(const std::string& name);
    // The layout file "<name>.ui", or empty.
    static std::string pathForLayout(const std::string& name);
    // The information dictionary's one key: "CFBundleShortVersionString".
    static std::string objectForInfoDictionaryKey(const std::string& key);
};
