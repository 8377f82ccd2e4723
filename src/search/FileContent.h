#pragma once

#include <cstddef>
#include <functional>
#include <string>

// The words a library file offers beyond its name: the text annotations of a movie and the text
// of a plain-text file or a PDF sheet. Anything else, or anything unreadable, offers none.
class FileContent {
public:
    // Longer texts are indexed up to this many bytes.
    static constexpr std::size_t longestText = 4u << 20;

    std::string annotations;
    std::string body;

    // Reads the file; `cancelled` is asked between the pages of a long document.
    static FileContent read(const std::string& path, const std::function<bool()>& cancelled);

private:
    static std::string movieAnnotations(const std::string& path);
    static std::string documentText(const std::string& path,
                                    const std::function<bool()>& cancelled);
    static std::string plainText(int descriptor, std::string text);
    static std::string decodedText(std::string bytes, bool truncated);
};
