#include "search/SearchTerms.h"

#include <glib.h>

namespace {

std::string quoted(const std::string& word) {
    std::string result = "\"";
    for (char c : word) {
        if (c == '"')
            result += '"';
        result += c;
    }
    return result + "\"";
}

} // namespace

std::vector<std::string> SearchTerms::words(const std::string& text) {
    gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
    std::vector<std::string> found;
    std::string word;
    for (const gchar* p = valid; *p; p = g_utf8_next_char(p)) {
        if (!g_unichar_isspace(g_utf8_get_char(p))) {
            word.append(p, static_cast<std::size_t>(g_utf8_next_char(p) - p));
            continue;
        }
        if (!word.empty())
            found.push_back(std::move(word));
        word.clear();
    }
    if (!word.empty())
        found.push_back(std::move(word));
    g_free(valid);
    return found;
}

std::string SearchTerms::matchExpression(const std::string& text) {
    std::string expression;
    for (const std::string& word : words(text)) {
        if (!expression.empty())
            expression += ' ';
        expression += quoted(word);
    }
    return expression.empty() ? expression : expression + "*";
}
