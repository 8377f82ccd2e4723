#pragma once

#include "download/EpisodeRecord.h"

#include <memory>
#include <pugixml.hpp>
#include <string_view>
#include <vector>

// Reading the download description the store hands over after a purchase: a root element of any
// name whose Series children hold Episode children, each with seven value elements. Text keeps
// its white space; entities declared in the document are never expanded.
class DownloadDescription {
public:
    // Nothing when the text is not UTF-8 or not well-formed XML.
    static std::unique_ptr<pugi::xml_document> parse(std::string_view text);
    // The episodes in document order; an Episode lacking an element or holding an unsafe value
    // is left out.
    static std::vector<EpisodeRecord> episodes(const pugi::xml_node& root);
    // The concatenated text of every text and CDATA node under the element.
    static std::string textContent(const pugi::xml_node& element);
};
