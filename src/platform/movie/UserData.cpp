#include "platform/movie/UserData.h"

#include "platform/movie/BigEndian.h"
#include "platform/movie/TextEncoding.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

constexpr FourCC udtaType = makeFourCC("udta");
constexpr FourCC metaType = makeFourCC("meta");
constexpr FourCC ilstType = makeFourCC("ilst");
constexpr FourCC dataType = makeFourCC("data");
constexpr FourCC descriptionType = makeFourCC(0xA9, 'd', 'e', 's');

// Well-known data types of a metadata list's 'data' atom.
constexpr std::uint32_t implicitData = 0;
constexpr std::uint32_t utf8Data = 1;
constexpr std::uint32_t utf16Data = 2;

struct KnownLanguage {
    const char* twoLetter;
    std::uint16_t macintosh;
    char iso[4];
};

constexpr KnownLanguage knownLanguages[] = {
    {"en", 0, "eng"},  {"fr", 1, "fra"},  {"de", 2, "deu"},  {"it", 3, "ita"},  {"nl", 4, "nld"},
    {"sv", 5, "swe"},  {"es", 6, "spa"},  {"da", 7, "dan"},  {"pt", 8, "por"},  {"nb", 9, "nor"},
    {"no", 9, "nor"},  {"he", 10, "heb"}, {"ja", 11, "jpn"}, {"ar", 12, "ara"}, {"fi", 13, "fin"},
    {"el", 14, "ell"}, {"is", 15, "isl"}, {"tr", 17, "tur"}, {"hr", 18, "hrv"}, {"zh", 19, "zho"},
    {"hi", 21, "hin"}, {"th", 22, "tha"}, {"ko", 23, "kor"}, {"lt", 24, "lit"}, {"pl", 25, "pol"},
    {"hu", 26, "hun"}, {"et", 27, "est"}, {"lv", 28, "lav"}, {"ru", 32, "rus"}, {"cs", 38, "ces"},
    {"sk", 39, "slk"}, {"sl", 40, "slv"}, {"ro", 37, "ron"}, {"uk", 45, "ukr"}, {"ca", 130, "cat"},
};

std::string localeLanguage() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return {};
}

} // namespace

std::uint16_t UserData::packLanguage(const char (&code)[4]) {
    auto letter = [&](int i) { return static_cast<std::uint16_t>((code[i] - 0x60) & 0x1F); };
    return static_cast<std::uint16_t>((letter(0) << 10) | (letter(1) << 5) | letter(2));
}

UserData::Language UserData::systemLanguage() {
    std::string locale = localeLanguage();
    std::string prefix = locale.substr(0, locale.find_first_of("_.@"));
    std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (prefix.empty() || prefix == "c" || prefix == "posix")
        prefix = "en";
    for (const KnownLanguage& known : knownLanguages) {
        if (prefix == known.twoLetter)
            return {known.macintosh, packLanguage(known.iso)};
    }
    return {};
}

UserData::UserData(Atom& movieAtom) : movie(movieAtom) {}

std::optional<std::vector<UserData::Entry>>
UserData::entries(const std::vector<std::uint8_t>& payload) {
    std::vector<Entry> found;
    std::size_t position = 0;
    while (position < payload.size()) {
        if (payload.size() - position < 4)
            return std::nullopt;
        std::size_t length = BigEndian::read16(payload.data() + position);
        std::uint16_t language = BigEndian::read16(payload.data() + position + 2);
        position += 4;
        if (length > payload.size() - position)
            return std::nullopt;
        found.push_back(
            {language,
             std::string(payload.begin() + static_cast<std::ptrdiff_t>(position),
                         payload.begin() + static_cast<std::ptrdiff_t>(position + length))});
        position += length;
    }
    if (found.empty())
        return std::nullopt;
    return found;
}

const UserData::Entry& UserData::choose(const std::vector<Entry>& all, Language preferred) {
    auto matches = [&](const Entry& e) {
        return e.language == preferred.iso || e.language == preferred.macintosh;
    };
    auto neutral = [](const Entry& e) {
        return e.language == undetermined || e.language == unspecifiedMacintosh;
    };
    if (auto found = std::find_if(all.begin(), all.end(), matches); found != all.end())
        return *found;
    if (auto found = std::find_if(all.begin(), all.end(), neutral); found != all.end())
        return *found;
    return all.front();
}

std::string UserData::decode(std::string bytes, std::uint16_t language) {
    while (!bytes.empty() && bytes.back() == '\0')
        bytes.pop_back();
    if (TextEncoding::hasUTF16ByteOrderMark(bytes))
        return TextEncoding::fromUTF16(bytes);
    if (TextEncoding::isValidUTF8(bytes))
        return bytes;
    if (language < 0x400 || language == unspecifiedMacintosh)
        return TextEncoding::fromMacRoman(bytes);
    return TextEncoding::validUTF8(bytes);
}

std::vector<FourCC> UserData::listKeys(FourCC type) {
    if (type == descriptionType)
        return {type, makeFourCC("desc")};
    return {type};
}

std::vector<Atom*> UserData::metadataLists() const {
    std::vector<Atom*> lists;
    for (Atom* list :
         {movie.find({udtaType, metaType, ilstType}), movie.find({metaType, ilstType})}) {
        if (list && list->isContainer())
            lists.push_back(list);
    }
    return lists;
}

std::optional<std::string> UserData::listItemText(const Atom& item) {
    const Atom* data = item.isContainer() ? item.child(dataType) : nullptr;
    if (!data || data->payload().size() < 8)
        return std::nullopt;
    const std::vector<std::uint8_t>& p = data->payload();
    std::uint32_t kind = BigEndian::read32(p.data()) & 0x00FFFFFF;
    std::string value(p.begin() + 8, p.end());
    if (kind == utf16Data)
        return TextEncoding::fromUTF16(std::string("\xFE\xFF") + value);
    if (kind == utf8Data || kind == implicitData)
        return TextEncoding::validUTF8(value);
    return std::nullopt;
}

std::optional<std::string> UserData::text(FourCC type, Language preferred) const {
    const Atom* userData = movie.child(udtaType);
    const Atom* item = userData && userData->isContainer() ? userData->child(type) : nullptr;
    if (item && !item->isContainer()) {
        auto all = entries(item->payload());
        if (all) {
            const Entry& entry = choose(*all, preferred);
            return decode(entry.bytes, entry.language);
        }
        std::string raw(item->payload().begin(), item->payload().end());
        return decode(raw, unspecifiedMacintosh);
    }
    for (Atom* list : metadataLists()) {
        for (FourCC key : listKeys(type)) {
            const Atom* listItem = list->child(key);
            if (auto found = listItem ? listItemText(*listItem) : std::nullopt)
                return found;
        }
    }
    return std::nullopt;
}

void UserData::setListItemText(Atom& item, const std::string& utf8) {
    std::vector<std::uint8_t> payload;
    BigEndian::append32(payload, utf8Data);
    BigEndian::append32(payload, 0);
    payload.insert(payload.end(), utf8.begin(), utf8.end());
    item.removeChildren(dataType);
    item.children().insert(item.children().begin(), Atom(dataType, std::move(payload)));
}

bool UserData::setText(FourCC type, const std::string& utf8, Language language) {
    if (utf8.size() > longestText)
        return false;
    Atom* userData = movie.child(udtaType);
    if (!userData) {
        movie.children().push_back(Atom::container(udtaType));
        userData = &movie.children().back();
    }
    if (!userData->isContainer())
        return false;

    std::vector<std::uint8_t> payload;
    BigEndian::append16(payload, static_cast<std::uint16_t>(utf8.size()));
    BigEndian::append16(payload, language.iso);
    payload.insert(payload.end(), utf8.begin(), utf8.end());
    std::vector<Atom>& items = userData->children();
    auto first = std::find_if(items.begin(), items.end(),
                              [type](const Atom& item) { return item.type() == type; });
    if (first == items.end()) {
        items.emplace_back(type, std::move(payload));
    } else {
        *first = Atom(type, std::move(payload));
        std::size_t keep = static_cast<std::size_t>(first - items.begin());
        for (std::size_t i = items.size(); i-- > keep + 1;) {
            if (items[i].type() == type)
                items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }

    // Other players read the metadata list first: keep any copy there in step.
    for (Atom* list : metadataLists()) {
        for (FourCC key : listKeys(type)) {
            for (Atom& listItem : list->children()) {
                if (listItem.type() == key && listItem.isContainer())
                    setListItemText(listItem, utf8);
            }
        }
    }
    return true;
}
