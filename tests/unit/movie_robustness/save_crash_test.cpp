#include "MovieMedia.h"
#include "TestEnvironment.h"

#include "platform/movie/MovieAnnotations.h"

#include <dlfcn.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

// Every write a save makes goes through here. Armed in a child process, the countdown kills the
// child at one write, with half of it or none of it done, as a crash or a power cut would.
namespace {
int writesLeft = -1;
bool halfDone = false;

template <typename Function> Function real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool crashesHere() {
    return writesLeft >= 0 && writesLeft-- == 0;
}
} // namespace

extern "C" {
ssize_t write(int fd, const void* data, size_t count) {
    static auto next = real<ssize_t (*)(int, const void*, size_t)>("write");
    if (crashesHere()) {
        if (halfDone)
            next(fd, data, count / 2);
        _exit(0);
    }
    return next(fd, data, count);
}
ssize_t pwrite(int fd, const void* data, size_t count, off_t at) {
    static auto next = real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    if (crashesHere()) {
        if (halfDone)
            next(fd, data, count / 2, at);
        _exit(0);
    }
    return next(fd, data, count, at);
}
ssize_t pwrite64(int fd, const void* data, size_t count, off_t at) {
    return pwrite(fd, data, count, at);
}
ssize_t copy_file_range(int in, off_t* inAt, int out, off_t* outAt, size_t count, unsigned flags) {
    static auto next =
        real<ssize_t (*)(int, off_t*, int, off_t*, size_t, unsigned)>("copy_file_range");
    if (crashesHere()) {
        if (halfDone)
            next(in, inAt, out, outAt, count / 2, flags);
        _exit(0);
    }
    return next(in, inAt, out, outAt, count, flags);
}
int rename(const char* from, const char* to) noexcept {
    static auto next = real<int (*)(const char*, const char*)>("rename");
    if (crashesHere())
        _exit(0);
    return next(from, to);
}
}

namespace {

using AnnotationSaveTest = FreshEnvironmentTest;

ino_t inode(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

// A comment longer than the old one: everything after it in the movie atom moves.
const std::string newComment = "New, and longer than the old one";

// Saves the new comment over "Old" in a child that dies at the given write: 0 when it died there,
// 1 when the save ran to its end, 2 when the save failed.
int saveCrashingAt(const std::string& path, int crashAt, bool half) {
    pid_t child = fork();
    if (child == 0) {
        writesLeft = crashAt;
        halfDone = half;
        auto movie = MovieAnnotations::open(path);
        bool saved = movie && movie->setComment(newComment) && movie->save();
        writesLeft = -1;
        _exit(saved ? 1 : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

// Free space after the movie atom lets the save write in place; without it the file is copied.
TEST_F(AnnotationSaveTest, ACrashAtAnyWriteLeavesThePlayableOldOrNewMovie) {
    for (bool reserved : {true, false}) {
        std::string lesson = root() + (reserved ? "/reserved.mov" : "/plain.mov");
        std::vector<std::string> make = {
            "ffmpeg", "-v", "error", "-f", "lavfi", "-i",        "testsrc2=s=64x48:r=15", "-f",
            "lavfi",  "-i", "sine",  "-t", "1",     "-metadata", "comment=Old",           lesson};
        if (reserved)
            make.insert(make.end() - 1, {"-moov_size", "20000"});
        ASSERT_TRUE(MovieMedia::run(make));
        std::string work = root() + "/work.mov";
        int status = 0;
        for (int crashAt = 0; status == 0 && crashAt < 100; ++crashAt) {
            for (bool half : {false, true}) {
                SCOPED_TRACE(lesson + ", write " + std::to_string(crashAt) + (half ? " half" : ""));
                std::filesystem::copy_file(lesson, work,
                                           std::filesystem::copy_options::overwrite_existing);
                ino_t before = inode(work);
                status = saveCrashingAt(work, crashAt, half);
                auto after = MovieAnnotations::open(work);
                ASSERT_TRUE(after);
                std::string comment = after->comment().value_or("");
                EXPECT_TRUE(comment == "Old" || comment == newComment);
                EXPECT_EQ(MovieMedia::ffprobeTags(work)["comment"], comment);
                EXPECT_TRUE(MovieMedia::decodesCleanly(work));
                if (status == 0)
                    continue;
                EXPECT_EQ(status, 1);
                EXPECT_EQ(comment, newComment);
                EXPECT_EQ(inode(work) == before, reserved);
            }
        }
    }
}

TEST_F(AnnotationSaveTest, ACopiedMovieKeepsItsOwnerGroupAndAttributes) {
    std::string path = MovieMedia::copy(MovieMedia::lesson({.seconds = 1}), root(), "kept.mov");
    bool owned = ::chown(path.c_str(), 4321, 4322) == 0;
    bool attributed = ::setxattr(path.c_str(), "user.lesson", "7", 1, 0) == 0;
    auto movie = MovieAnnotations::open(path);
    ASSERT_TRUE(movie && movie->setComment(std::string(3000, 'c')) && movie->save());
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_TRUE(!owned || (info.st_uid == 4321 && info.st_gid == 4322));
    char value[4] = {};
    EXPECT_TRUE(!attributed || ::getxattr(path.c_str(), "user.lesson", value, sizeof value) == 1);
    EXPECT_EQ(MovieAnnotations::open(path)->comment(), std::string(3000, 'c'));
}

} // namespace
