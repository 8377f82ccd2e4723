#include "download/EpisodeRecord.h"

#include "download/DownloadConstants.h"
#include "platform/net/WebLink.h"

#include <sstream>

const std::array<const char*, 7> EpisodeRecord::keys = {
    FrlAttributeInstrument, FrlAttributeCategory, FrlAttributeSubCategory, FrlAttributeFilename,
    FrlAttributeArtist,     FrlAttributeLevel,    FrlAttributeLink};

bool EpisodeRecord::isSafeFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool EpisodeRecord::isSafeRelativeFolder(const std::string& folder) {
    if (folder.empty() || folder.front() == '/' || folder.find('\0') != std::string::npos)
        return false;
    std::istringstream components(folder);
    std::string component;
    while (std::getline(components, component, '/')) {
        if (component == "." || component == "..")
            return false;
    }
    return true;
}

// The transfer's own test, so a record never holds a link that cannot be fetched.
bool EpisodeRecord::isWebLink(const std::string& link) {
    return WebLink::isAcceptable(link);
}

std::string EpisodeRecord::deletingPathExtension(const std::string& name) {
    std::string::size_type dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name;
    return name.substr(0, dot);
}

std::optional<EpisodeRecord> EpisodeRecord::fromValues(std::map<std::string, std::string> values) {
    for (const char* key : keys) {
        if (values.find(key) == values.end())
            return std::nullopt;
    }
    bool safe = isSafeRelativeFolder(values[FrlAttributeInstrument]) &&
                isSafeRelativeFolder(values[FrlAttributeCategory]) &&
                isSafeRelativeFolder(values[FrlAttributeSubCategory]) &&
                isSafeFileName(values[FrlAttributeFilename]) && isWebLink(values[FrlAttributeLink]);
    if (!safe)
        return std::nullopt;
    return EpisodeRecord(std::move(values));
}

std::optional<EpisodeRecord>
EpisodeRecord::fromDictionary(const PropertyList::Dictionary& dictionary) {
    std::map<std::string, std::string> values;
    for (const char* key : keys) {
        if (auto value = PropertyList::stringValue(dictionary, key))
            values.emplace(key, std::move(*value));
    }
    return fromValues(std::move(values));
}

std::optional<EpisodeRecord> EpisodeRecord::readFromFile(const std::string& path) {
    auto dictionary = PropertyList::read(path);
    if (!dictionary)
        return std::nullopt;
    return fromDictionary(*dictionary);
}

PropertyList::Dictionary EpisodeRecord::toDictionary() const {
    PropertyList::Dictionary dictionary;
    for (const auto& [key, value] : values)
        dictionary.emplace(key, value);
    return dictionary;
}

std::string EpisodeRecord::relativeLibraryPath() const {
    return value(FrlAttributeInstrument) + "/" + value(FrlAttributeCategory) + "/" +
           value(FrlAttributeSubCategory) + "/" + value(FrlAttributeFilename);
}

std::string EpisodeRecord::recordFileName() const {
    return deletingPathExtension(value(FrlAttributeFilename)) + "." + FrlplistFileExt;
}

std::string EpisodeRecord::commentAnnotation() const {
    return value(FrlAttributeCategory) + " " + value(FrlAttributeSubCategory);
}

std::string EpisodeRecord::descriptionAnnotation() const {
    return value(FrlAttributeInstrument) + " " + value(FrlAttributeLevel);
}
