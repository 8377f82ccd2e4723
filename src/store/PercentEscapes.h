#pragma once

#include <optional>
#include <string>

// The two escapings the store relies on, and their reverse for the login cookie.
class PercentEscapes {
public:
    // For a URL: ASCII letters and digits and ! $ & ' ( ) * + , - . / : ; = ? @ _ ~ stay; every
    // other character becomes %XX for each of its Mac OS Roman bytes, or of its UTF-8 bytes when
    // Mac OS Roman cannot hold it.
    static std::string addingURLEscapes(const std::string& text);
    // For a form value: ASCII letters and digits and ! $ ' ( ) * , - . / : ; @ _ ~ stay; every
    // other character, space and ? = & + included, becomes %XX for each of its UTF-8 bytes.
    static std::string escapingFormValue(const std::string& text);
    // Replaces %XX by its byte and reads the bytes as Mac OS Roman; nothing when an escape is
    // malformed.
    static std::optional<std::string> replacingEscapes(const std::string& text);
};
