#pragma once

#include <string>
#include <vector>

// What the user typed, made into a full-text expression: every word must occur, each word is
// quoted so that no character of it acts as query syntax, and the last word also matches as the
// beginning of a longer word (typing "walk" finds "Walking").
class SearchTerms {
public:
    // The words of the text, split at white space.
    static std::vector<std::string> words(const std::string& text);
    // Empty when the text holds no word.
    static std::string matchExpression(const std::string& text);
};
