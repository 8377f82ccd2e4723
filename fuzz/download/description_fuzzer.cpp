// Feeds outside bytes to the download description reader and to the record-file reader.
#include "download/DownloadDescription.h"
#include "download/EpisodeRecord.h"
#include "platform/data/PropertyList.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto document = DownloadDescription::parse(text)) {
        for (const EpisodeRecord& record :
             DownloadDescription::episodes(document->document_element()))
            (void)record.recordFileName();
    }
    if (auto dictionary = PropertyList::fromXML(text)) {
        if (auto record = EpisodeRecord::fromDictionary(*dictionary))
            (void)PropertyList::fromXML(PropertyList::toXML(record->toDictionary()));
    }
    return 0;
}
