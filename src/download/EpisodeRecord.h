#pragma once

#include "platform/data/PropertyList.h"

#include <array>
#include <map>
#include <optional>
#include <string>

// One lesson to download: the seven values a download description gives for an Episode. Values
// come from outside and become folder and file names, so a record exists only when every value is
// there and none of them could lead out of the Purchases folder.
class EpisodeRecord {
public:
    static const std::array<const char*, 7> keys;

    // Nothing when a key is missing or a value is unsafe.
    static std::optional<EpisodeRecord> fromValues(std::map<std::string, std::string> values);
    static std::optional<EpisodeRecord> fromDictionary(const PropertyList::Dictionary& dictionary);
    static std::optional<EpisodeRecord> readFromFile(const std::string& path);

    PropertyList::Dictionary toDictionary() const;
    const std::string& value(const char* key) const { return values.at(key); }

    // {Instrument}/{Category}/{Sub-Category}/{Filename}, relative to the Purchases folder.
    std::string relativeLibraryPath() const;
    // The record file's name: the Filename without its last extension, plus ".plist".
    std::string recordFileName() const;
    // "{Category} {Sub-Category}" and "{Instrument} {Level}", stamped into a finished movie.
    std::string commentAnnotation() const;
    std::string descriptionAnnotation() const;

    // Filename rules: not empty, no "/", not "." or "..".
    static bool isSafeFileName(const std::string& name);
    // Folder rules: not empty, not absolute, no "." or ".." component.
    static bool isSafeRelativeFolder(const std::string& folder);
    // An absolute http or https link with a host: exactly what a transfer accepts.
    static bool isWebLink(const std::string& link);
    // A name without its last extension; a leading dot does not start an extension.
    static std::string deletingPathExtension(const std::string& name);

private:
    explicit EpisodeRecord(std::map<std::string, std::string> values) : values(std::move(values)) {}
    std::map<std::string, std::string> values;
};
