#pragma once

#include "platform/movie/Atom.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The typed text items of a movie's user data ('udta' in the movie atom). Items are written in
// QuickTime's text layout: for each language a 16-bit length, a 16-bit language code and the text,
// UTF-8. Reading also takes items other tools wrote: several languages in one item, raw text
// without the layout, and iTunes-style metadata lists ('meta'/'ilst').
class UserData {
public:
    // A language as QuickTime tags text: a Macintosh language code (below 0x400), or an
    // ISO 639-2/T code packed in 15 bits.
    struct Language {
        std::uint16_t macintosh = noMacintoshCode;
        std::uint16_t iso = undetermined;
    };
    static constexpr std::uint16_t noMacintoshCode = 0xFFFF;
    static constexpr std::uint16_t undetermined = 0x55C4; // "und"
    static constexpr std::uint16_t unspecifiedMacintosh = 0x7FFF;
    static constexpr std::size_t longestText = 0xFFFF;

    // The user's language, from LC_ALL, LC_MESSAGES or LANG; English when none is set.
    static Language systemLanguage();
    static std::uint16_t packLanguage(const char (&code)[4]);

    explicit UserData(Atom& movieAtom);

    // The item's text in the preferred language, else a neutral one, else its first; nothing when
    // the movie has no such item.
    std::optional<std::string> text(FourCC type, Language preferred) const;
    // Replaces every language of the item with the one text; false when the user data cannot be
    // changed (damaged) or the text is too long for the layout.
    bool setText(FourCC type, const std::string& utf8, Language language);

private:
    struct Entry {
        std::uint16_t language = 0;
        std::string bytes;
    };
    static std::optional<std::vector<Entry>> entries(const std::vector<std::uint8_t>& payload);
    static const Entry& choose(const std::vector<Entry>& all, Language preferred);
    static std::string decode(std::string bytes, std::uint16_t language);
    static std::vector<FourCC> listKeys(FourCC type);
    static std::optional<std::string> listItemText(const Atom& item);
    static void setListItemText(Atom& item, const std::string& utf8);
    std::vector<Atom*> metadataLists() const;

    Atom& movie;
};
