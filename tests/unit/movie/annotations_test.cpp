#include "MovieMedia.h"

#include "platform/movie/MovieAnnotations.h"
#include "platform/movie/MovieFile.h"

#include "TestEnvironment.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class AnnotationsTest : public FreshEnvironmentTest {
protected:
    void SetUp() override {
        FreshEnvironmentTest::SetUp();
        setenv("LANG", "en_US.UTF-8", 1);
    }

    std::string lessonCopy(const LessonOptions& options, const std::string& name) {
        return MovieMedia::copy(MovieMedia::lesson(options), root() + "/lessons", name);
    }

    static ino_t inode(const std::string& path) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return info.st_ino;
    }
};

} // namespace

// Written, read back by us and by ffprobe, then written again longer so that things move again.
TEST_F(AnnotationsTest, FiveItemsRoundTripThroughTheFileAndOtherToolsReadThem) {
    for (const char* name : {"last.mov", "first.mov", "last.mp4"}) {
        SCOPED_TRACE(name);
        std::string extension = fs::path(name).extension().string().substr(1);
        std::string path = lessonCopy({.seconds = 0.5,
                                       .fastStart = name[0] == 'f',
                                       .extension = extension,
                                       .metadata = {{"artist", "Old Artist"}}},
                                      name);
        for (std::string suffix : {"", " and a good deal more text than before"}) {
            auto movie = MovieAnnotations::open(path);
            ASSERT_TRUE(movie);
            ASSERT_TRUE(movie->setAlbum("Album" + suffix));
            ASSERT_TRUE(movie->setAuthor("Author" + suffix));
            ASSERT_TRUE(movie->setComment("Rhythm Slap" + suffix));
            ASSERT_TRUE(movie->setDescription("Bass Advanced" + suffix));
            ASSERT_TRUE(movie->setArtist("Zoë Åberg" + suffix));
            ASSERT_TRUE(movie->save());
            auto reopened = MovieAnnotations::open(path);
            ASSERT_TRUE(reopened);
            EXPECT_EQ(reopened->album(), "Album" + suffix);
            EXPECT_EQ(reopened->author(), "Author" + suffix);
            EXPECT_EQ(reopened->comment(), "Rhythm Slap" + suffix);
            EXPECT_EQ(reopened->description(), "Bass Advanced" + suffix);
            EXPECT_EQ(reopened->artist(), "Zoë Åberg" + suffix);
            auto tags = MovieMedia::ffprobeTags(path);
            EXPECT_EQ(tags["album"], "Album" + suffix);
            EXPECT_EQ(tags["comment"], "Rhythm Slap" + suffix);
            EXPECT_TRUE(MovieMedia::decodesCleanly(path));
        }
    }
}

TEST_F(AnnotationsTest, ReadsWhatFfmpegWrote) {
    LessonOptions options{
        .seconds = 0.5,
        .metadata = {{"artist", "Ann Ély"}, {"comment", "Rhythm Slap"}, {"album", "Blues Box"}}};
    for (const char* extension : {"mov", "mp4", "m4v"}) {
        SCOPED_TRACE(extension);
        options.extension = extension;
        auto movie = MovieAnnotations::open(MovieMedia::lesson(options));
        ASSERT_TRUE(movie);
        EXPECT_EQ(movie->artist(), "Ann Ély");
        EXPECT_EQ(movie->comment(), "Rhythm Slap");
        EXPECT_EQ(movie->album(), "Blues Box");
    }
}

TEST_F(AnnotationsTest, WritesInPlaceWhenItFitsAndAnewOtherwise) {
    std::string path = lessonCopy({.seconds = 0.5, .fastStart = true}, "place.mp4");
    fs::permissions(path, fs::perms(0640));
    ino_t original = inode(path);
    auto movie = MovieAnnotations::open(path);
    ASSERT_TRUE(movie);
    ASSERT_TRUE(movie->setArtist(std::string(300, 'a')));
    ASSERT_TRUE(movie->save());
    ino_t rewritten = inode(path);
    EXPECT_NE(rewritten, original) << "too long to fit: written anew and renamed";
    auto size = fs::file_size(path);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640)) << "the new file keeps the mode";

    // Shorter text fits where the longer one was.
    ASSERT_TRUE(movie->setArtist("short"));
    ASSERT_TRUE(movie->save());
    EXPECT_EQ(inode(path), rewritten);
    EXPECT_EQ(fs::file_size(path), size);
    EXPECT_EQ(MovieAnnotations::open(path)->artist(), "short");
    EXPECT_TRUE(MovieMedia::decodesCleanly(path));
    for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path()))
        EXPECT_EQ(entry.path().filename().string().find(".fretlark-"), std::string::npos)
            << "no temporary file left behind";

    // Through a link the movie changes and the link stays.
    std::string link = root() + "/Downloads/lesson.mp4";
    fs::create_directories(fs::path(link).parent_path());
    fs::create_symlink(path, link);
    auto linked = MovieAnnotations::open(link);
    ASSERT_TRUE(linked && linked->setComment(std::string(400, 'c')) && linked->save());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(MovieAnnotations::open(path)->comment(), std::string(400, 'c'));
}

TEST_F(AnnotationsTest, LeavesADamagedReplacedOrFragmentedFileAsItIs) {
    std::string path = lessonCopy({.seconds = 0.5, .fastStart = true}, "damaged.mov");
    auto movie = MovieAnnotations::open(path);
    ASSERT_TRUE(movie);
    ASSERT_TRUE(movie->setArtist("Never written"));

    std::string contents = MovieMedia::readFile(path);
    std::string truncated = contents.substr(0, contents.size() * 2 / 3);
    MovieMedia::writeFile(path, truncated);
    EXPECT_FALSE(movie->save());
    EXPECT_EQ(MovieMedia::readFile(path), truncated);

    MovieMedia::writeFile(path, "not a movie any more");
    EXPECT_FALSE(movie->save());
    EXPECT_EQ(MovieMedia::readFile(path), "not a movie any more");
    EXPECT_FALSE(MovieAnnotations::open(path));
    fs::remove(path);
    EXPECT_FALSE(movie->save());
    EXPECT_FALSE(fs::exists(path));

    // A fragmented movie whose atom would have to move.
    std::string fragmented =
        lessonCopy({.seconds = 1, .fragmented = true, .extension = "mp4"}, "frag.mp4");
    std::string before = MovieMedia::readFile(fragmented);
    auto fragments = MovieAnnotations::open(fragmented);
    ASSERT_TRUE(fragments);
    ASSERT_TRUE(fragments->setDescription(std::string(200, 'd')));
    EXPECT_FALSE(fragments->save());
    EXPECT_EQ(MovieMedia::readFile(fragmented), before);
}
