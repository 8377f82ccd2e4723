#include "search/FileContent.h"

#include "platform/movie/MovieAnnotations.h"
#include "platform/movie/TextEncoding.h"

#include <algorithm>
#include <fcntl.h>
#include <gio/gio.h>
#include <memory>
#include <mutex>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t headLength = 4096;
constexpr FourCC userDataType = makeFourCC("udta");
constexpr FourCC metadataType = makeFourCC("meta");
constexpr FourCC itemListType = makeFourCC("ilst");
// Text items of metadata lists whose keys do not start with the copyright sign.
constexpr FourCC listTextTypes[] = {makeFourCC("desc"), makeFourCC("aART"), makeFourCC("ldes")};

class Descriptor {
public:
    explicit Descriptor(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd; }

private:
    int fd;
};

// Appends up to `limit` bytes in all from the descriptor; answers false on a read error.
bool readInto(int fd, std::string& bytes, std::size_t limit) {
    char buffer[65536];
    while (bytes.size() < limit) {
        ssize_t count = ::read(fd, buffer, std::min(sizeof buffer, limit - bytes.size()));
        if (count <= 0)
            return count == 0;
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    return true;
}

bool isTextType(FourCC type) {
    return (type >> 24) == 0xA9 || std::find(std::begin(listTextTypes), std::end(listTextTypes),
                                             type) != std::end(listTextTypes);
}

void addTextTypes(const Atom* container, std::vector<FourCC>& types) {
    if (!container || !container->isContainer())
        return;
    for (const Atom& item : container->children())
        if (isTextType(item.type()) &&
            std::find(types.begin(), types.end(), item.type()) == types.end())
            types.push_back(item.type());
}

// Damaged documents make the PDF library complain; that belongs in the debug log, not on stderr.
void quietPdfErrors() {
    static std::once_flag once;
    std::call_once(once, [] {
        poppler::set_debug_error_function(
            [](const std::string& message, void*) { g_debug("PDF: %s", message.c_str()); },
            nullptr);
    });
}

// By the name when that is certain, else by the first bytes too.
std::string contentType(const std::string& path, const std::string& head) {
    gboolean uncertain = TRUE;
    gchar* type = g_content_type_guess(path.c_str(), nullptr, 0, &uncertain);
    if (uncertain) {
        g_free(type);
        type = g_content_type_guess(path.c_str(), reinterpret_cast<const guchar*>(head.data()),
                                    head.size(), nullptr);
    }
    std::string result = type ? type : "";
    g_free(type);
    return result;
}

bool isA(const std::string& type, const char* super) {
    return g_content_type_is_a(type.c_str(), super);
}

} // namespace

FileContent FileContent::read(const std::string& path, const std::function<bool()>& cancelled) {
    Descriptor file(path);
    std::string head;
    if (file.get() < 0 || !readInto(file.get(), head, headLength))
        return {};
    std::string type = contentType(path, head);
    if (isA(type, "application/pdf"))
        return {{}, documentText(path, cancelled)};
    if (type.starts_with("video/") || type.starts_with("audio/"))
        return {movieAnnotations(path), {}};
    if (isA(type, "text/plain"))
        return {{}, plainText(file.get(), std::move(head))};
    return {};
}

std::string FileContent::movieAnnotations(const std::string& path) {
    auto movie = MovieAnnotations::open(path);
    if (!movie)
        return {};
    const Atom& moov = movie->file().movieAtom();
    std::vector<FourCC> types;
    addTextTypes(moov.child(userDataType), types);
    addTextTypes(moov.find({userDataType, metadataType, itemListType}), types);
    addTextTypes(moov.find({metadataType, itemListType}), types);
    std::vector<std::string> texts;
    for (FourCC type : types) {
        auto text = movie->text(type);
        if (text && !text->empty() && std::find(texts.begin(), texts.end(), *text) == texts.end())
            texts.push_back(*text);
    }
    std::string joined;
    for (const std::string& text : texts)
        joined += text + "\n";
    return joined;
}

std::string FileContent::documentText(const std::string& path,
                                      const std::function<bool()>& cancelled) {
    quietPdfErrors();
    std::unique_ptr<poppler::document> document(poppler::document::load_from_file(path));
    if (!document || document->is_locked())
        return {};
    std::string text;
    for (int index = 0; index < document->pages() && text.size() < longestText; ++index) {
        if (cancelled())
            break;
        std::unique_ptr<poppler::page> page(document->create_page(index));
        if (!page)
            continue;
        poppler::byte_array utf8 = page->text().to_utf8();
        text.append(utf8.begin(), utf8.end());
        text += '\n';
    }
    if (text.size() > longestText)
        text.resize(longestText);
    return decodedText(std::move(text), true);
}

std::string FileContent::plainText(int descriptor, std::string text) {
    if (!readInto(descriptor, text, longestText + 1))
        return {};
    bool truncated = text.size() > longestText;
    if (truncated)
        text.resize(longestText);
    return decodedText(std::move(text), truncated);
}

// UTF-8 as it is, UTF-16 by its byte-order mark, anything else as the Windows Western code page
// that most older text files were written in.
std::string FileContent::decodedText(std::string bytes, bool truncated) {
    if (TextEncoding::hasUTF16ByteOrderMark(bytes))
        return TextEncoding::fromUTF16(bytes);
    const gchar* end = nullptr;
    if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), &end))
        return bytes;
    std::size_t valid = static_cast<std::size_t>(end - bytes.data());
    // A cut through the last character only.
    if (truncated && bytes.size() - valid < 4 && static_cast<unsigned char>(bytes[valid]) >= 0xC0)
        return bytes.substr(0, valid);
    gchar* converted = g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                 "WINDOWS-1252", nullptr, nullptr, nullptr);
    if (!converted)
        return TextEncoding::validUTF8(bytes);
    std::string result = converted;
    g_free(converted);
    return result;
}
