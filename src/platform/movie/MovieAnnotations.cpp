#include "platform/movie/MovieAnnotations.h"

#include "platform/movie/ByteSource.h"
#include "platform/movie/MovieWritePlan.h"
#include "platform/movie/UserData.h"

#include <filesystem>

namespace {

std::optional<MovieFile> readMovie(const std::string& path) {
    auto source = ByteSource::openFile(path);
    return source ? MovieFile::parse(*source) : std::nullopt;
}

} // namespace

MovieAnnotations::MovieAnnotations(std::string path, MovieFile file)
    : filePath(std::move(path)), movie(std::move(file)) {}

std::unique_ptr<MovieAnnotations> MovieAnnotations::open(const std::string& path) {
    auto file = readMovie(path);
    if (!file)
        return nullptr;
    return std::unique_ptr<MovieAnnotations>(new MovieAnnotations(path, std::move(*file)));
}

std::optional<std::string> MovieAnnotations::text(FourCC type) const {
    return UserData(const_cast<Atom&>(movie.movieAtom())).text(type, UserData::systemLanguage());
}

bool MovieAnnotations::setText(FourCC type, const std::string& utf8) {
    if (!UserData(movie.movieAtom()).setText(type, utf8, UserData::systemLanguage()))
        return false;
    changes[type] = utf8;
    return true;
}

bool MovieAnnotations::save() {
    if (changes.empty())
        return true;
    // A link is followed so that the movie itself changes, not the link.
    std::error_code error;
    std::string target = std::filesystem::canonical(filePath, error).string();
    if (error)
        return false;
    auto source = ByteSource::openFile(target);
    auto fresh = source ? MovieFile::parse(*source) : std::nullopt;
    if (!fresh)
        return false;
    UserData userData(fresh->movieAtom());
    for (const auto& [type, value] : changes) {
        if (!userData.setText(type, value, UserData::systemLanguage()))
            return false;
    }
    auto plan = MovieWritePlan::make(*fresh, fresh->movieAtom());
    if (!plan || !plan->applyToFile(*source, target))
        return false;
    if (auto written = readMovie(target))
        movie = std::move(*written);
    changes.clear();
    return true;
}
