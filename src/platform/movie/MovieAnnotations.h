#pragma once

#include "platform/movie/Atom.h"
#include "platform/movie/MovieFile.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

// The text annotations of one movie file: open it, read and change the items, save. Opening reads
// only the file's headers and movie atom; saving writes the file safely (see MovieWritePlan).
// One object is used on one thread; any thread will do.
class MovieAnnotations {
public:
    static constexpr FourCC albumType = makeFourCC(0xA9, 'a', 'l', 'b');
    static constexpr FourCC authorType = makeFourCC(0xA9, 'a', 'u', 't');
    static constexpr FourCC commentType = makeFourCC(0xA9, 'c', 'm', 't');
    static constexpr FourCC descriptionType = makeFourCC(0xA9, 'd', 'e', 's');
    static constexpr FourCC artistType = makeFourCC(0xA9, 'A', 'R', 'T');

    // Nothing when the file is not a complete, undamaged movie.
    static std::unique_ptr<MovieAnnotations> open(const std::string& path);

    // In the user's language where the item has several.
    std::optional<std::string> text(FourCC type) const;
    // Changes the movie in memory only; save() writes it.
    bool setText(FourCC type, const std::string& utf8);

    std::optional<std::string> album() const { return text(albumType); }
    std::optional<std::string> author() const { return text(authorType); }
    std::optional<std::string> comment() const { return text(commentType); }
    std::optional<std::string> description() const { return text(descriptionType); }
    std::optional<std::string> artist() const { return text(artistType); }
    bool setAlbum(const std::string& value) { return setText(albumType, value); }
    bool setAuthor(const std::string& value) { return setText(authorType, value); }
    bool setComment(const std::string& value) { return setText(commentType, value); }
    bool setDescription(const std::string& value) { return setText(descriptionType, value); }
    bool setArtist(const std::string& value) { return setText(artistType, value); }

    // Writes the changed items into the file. The file is read afresh first, so a file that was
    // damaged or replaced meanwhile is refused and left as it is.
    bool save();

    const MovieFile& file() const { return movie; }
    const std::string& path() const { return filePath; }

private:
    MovieAnnotations(std::string path, MovieFile file);

    std::string filePath;
    MovieFile movie;
    std::map<FourCC, std::string> changes;
};
