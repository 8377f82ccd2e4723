#include "download/DownloadDescription.h"

#include "download/DownloadConstants.h"

#include <glib.h>

namespace {

std::optional<EpisodeRecord> episodeFrom(const pugi::xml_node& episode) {
    std::map<std::string, std::string> values;
    for (const char* key : EpisodeRecord::keys) {
        pugi::xml_node element = episode.child(key);
        if (element)
            values.emplace(key, DownloadDescription::textContent(element));
    }
    return EpisodeRecord::fromValues(std::move(values));
}

// pugixml walks the tree without recursion, so deeply nested outside input cannot exhaust the
// stack.
class TextCollector : public pugi::xml_tree_walker {
public:
    bool for_each(pugi::xml_node& node) override {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
            text += node.value();
        return true;
    }
    std::string text;
};

} // namespace

std::unique_ptr<pugi::xml_document> DownloadDescription::parse(std::string_view text) {
    if (!g_utf8_validate_len(text.data(), text.size(), nullptr))
        return nullptr;
    auto document = std::make_unique<pugi::xml_document>();
    pugi::xml_parse_result result = document->load_buffer(
        text.data(), text.size(), pugi::parse_full | pugi::parse_ws_pcdata, pugi::encoding_utf8);
    if (!result)
        return nullptr;
    return document;
}

std::vector<EpisodeRecord> DownloadDescription::episodes(const pugi::xml_node& root) {
    std::vector<EpisodeRecord> records;
    for (pugi::xml_node series : root.children(FrlAttributeSeries)) {
        for (pugi::xml_node episode : series.children(FrlAttributeEpisode)) {
            if (auto record = episodeFrom(episode))
                records.push_back(std::move(*record));
        }
    }
    return records;
}

std::string DownloadDescription::textContent(const pugi::xml_node& element) {
    TextCollector collector;
    pugi::xml_node node = element;
    node.traverse(collector);
    return collector.text;
}
