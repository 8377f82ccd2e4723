#include "platform/data/PropertyList.h"

#include "platform/data/AtomicFile.h"
#include "platform/data/PlistHandle.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

plist_t nodeFor(const PropertyList::Value& value) {
    if (const auto* text = std::get_if<std::string>(&value))
        return plist_new_string(text->c_str());
    return plist_new_uint(static_cast<std::uint64_t>(std::get<std::int64_t>(value)));
}

std::optional<PropertyList::Value> valueOf(plist_t node) {
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        // Read with its length: libplist aborts on copying a string that holds a NUL byte.
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        if (!text || std::memchr(text, '\0', length))
            return std::nullopt;
        return std::string(text, length);
    }
    case PLIST_UINT: {
        std::uint64_t number = 0;
        plist_get_uint_val(node, &number);
        return static_cast<std::int64_t>(number);
    }
    default:
        return std::nullopt;
    }
}

PropertyList::Dictionary entriesOf(plist_t dict) {
    PropertyList::Dictionary dictionary;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(dict, &iterator);
    for (;;) {
        char* key = nullptr;
        plist_t node = nullptr;
        plist_dict_next_item(dict, iterator, &key, &node);
        if (!key)
            break;
        if (auto value = valueOf(node))
            dictionary.emplace(key, std::move(*value));
        std::free(key);
    }
    std::free(iterator);
    return dictionary;
}

} // namespace

std::string PropertyList::toXML(const Dictionary& dictionary) {
    PlistHandle dict(plist_new_dict());
    for (const auto& [key, value] : dictionary)
        plist_dict_set_item(dict.get(), key.c_str(), nodeFor(value));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(dict.get(), &xml, &length);
    std::string text = xml ? std::string(xml, length) : std::string();
    plist_to_xml_free(xml);
    return text;
}

std::optional<PropertyList::Dictionary> PropertyList::fromXML(std::string_view text) {
    if (text.empty() || text.size() > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    plist_t parsed = nullptr;
    plist_from_xml(text.data(), static_cast<std::uint32_t>(text.size()), &parsed);
    PlistHandle root(parsed);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return std::nullopt;
    return entriesOf(root.get());
}

bool PropertyList::writeAtomically(const std::string& path, const Dictionary& dictionary) {
    return AtomicFile::write(path, toXML(dictionary));
}

std::optional<PropertyList::Dictionary> PropertyList::read(const std::string& path) {
    auto text = AtomicFile::read(path, maximumFileSize);
    if (!text)
        return std::nullopt;
    return fromXML(*text);
}

std::optional<std::string> PropertyList::stringValue(const Dictionary& dictionary,
                                                     const std::string& key) {
    auto found = dictionary.find(key);
    if (found == dictionary.end() || !std::holds_alternative<std::string>(found->second))
        return std::nullopt;
    return std::get<std::string>(found->second);
}

std::optional<std::int64_t> PropertyList::integerValue(const Dictionary& dictionary,
                                                       const std::string& key) {
    auto found = dictionary.find(key);
    if (found == dictionary.end() || !std::holds_alternative<std::int64_t>(found->second))
        return std::nullopt;
    return std::get<std::int64_t>(found->second);
}
