#include "Catalogue.h"

#include <glib.h>
#include <memory>
#include <sstream>

namespace {

std::string lowered(const std::string& text) {
    std::unique_ptr<char, decltype(&g_free)> folded(g_utf8_casefold(text.c_str(), -1), g_free);
    return folded ? folded.get() : text;
}

std::string xmlText(const std::string& text) {
    std::unique_ptr<char, decltype(&g_free)> escaped(g_markup_escape_text(text.c_str(), -1),
                                                     g_free);
    return escaped.get();
}

std::string linkPath(const std::string& file) {
    std::unique_ptr<char, decltype(&g_free)> escaped(
        g_uri_escape_string(file.c_str(), nullptr, FALSE), g_free);
    return std::string("{{base}}/lessons/") + escaped.get();
}

} // namespace

const std::vector<CatalogueLesson>& Catalogue::lessons() {
    static const std::vector<CatalogueLesson> all{
        {1,
         "Slap Basics",
         "Theo Vance",
         "Bass",
         "Technique",
         "Slap",
         "Intermediate",
         "$9.95",
         "Thumb, pop and the ghosted notes between them, slowly first.",
         {"Slap Basics.mov", "Slap Basics - Sheet.pdf"}},
        {2,
         "Ghost Notes",
         "Theo Vance",
         "Bass",
         "Technique",
         "Slap",
         "Advanced",
         "$7.95",
         "Muted notes that make a groove breathe.",
         {"Ghost Notes.mov"}},
        {3,
         "Travis Picking",
         "Mara Quill",
         "Guitar",
         "Fingerstyle",
         "Patterns",
         "Intermediate",
         "$8.95",
         "An alternating bass under a melody, one finger at a time.",
         {"Travis Picking.mov"}},
    };
    return all;
}

const CatalogueLesson* Catalogue::lesson(int id) {
    for (const auto& candidate : lessons())
        if (candidate.id == id)
            return &candidate;
    return nullptr;
}

std::vector<const CatalogueLesson*> Catalogue::search(const std::string& keywords) {
    std::vector<std::string> words;
    std::istringstream split(lowered(keywords));
    for (std::string word; split >> word;)
        words.push_back(word);
    std::vector<const CatalogueLesson*> found;
    for (const auto& lesson : lessons()) {
        std::string haystack = lowered(lesson.title + " " + lesson.artist + " " +
                                       lesson.instrument + " " + lesson.level);
        bool matches = words.empty();
        for (const auto& word : words)
            matches = matches || haystack.find(word) != std::string::npos;
        if (matches)
            found.push_back(&lesson);
    }
    return found;
}

const std::vector<DemoAccount>& Catalogue::accounts() {
    static const std::vector<DemoAccount> all{
        {"student@example.com", "scales", "Ada Student"},
        {"mara+lessons@example.com", "a&b=c d", "Mara Quill"},
    };
    return all;
}

std::optional<DemoAccount> Catalogue::account(const std::string& email,
                                              const std::string& password) {
    for (const auto& candidate : accounts())
        if (candidate.email == email && candidate.password == password)
            return candidate;
    return std::nullopt;
}

bool Catalogue::isCustomer(const std::string& userName) {
    for (const auto& candidate : accounts())
        if (candidate.userName == userName)
            return true;
    return false;
}

std::string Catalogue::description(const CatalogueLesson& lesson) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Download><Series>\n";
    for (const auto& file : lesson.files)
        xml += "<Episode><Instrument>" + xmlText(lesson.instrument) + "</Instrument><Category>" +
               xmlText(lesson.category) + "</Category><Sub-Category>" +
               xmlText(lesson.subCategory) + "</Sub-Category><Filename>" + xmlText(file) +
               "</Filename><Artist>" + xmlText(lesson.artist) + "</Artist><Level>" +
               xmlText(lesson.level) + "</Level><Link>" + xmlText(linkPath(file)) +
               "</Link></Episode>\n";
    return xml + "</Series></Download>\n";
}
