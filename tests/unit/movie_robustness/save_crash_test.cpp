#include "MovieMedia.h"
#include "TestEnvironment.h"

#include "platform/movie/MovieAnnotations.h"

#include <dlfcn.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <tuple>

// Every write a save makes comes through here. Armed in a child process, the countdown kills the
// child at one write, with half of it done or none, as a crash or a power cut would.
namespace {
int writesLeft = -1;
bool halfDone = false;

template <std::size_t Count, typename Result, typename... Args>
Result interrupted(const char* name, Args... args) {
    static auto real = reinterpret_cast<Result (*)(Args...)>(dlsym(RTLD_NEXT, name));
    if (writesLeft < 0 || writesLeft-- > 0)
        return real(args...);
    std::tuple<Args...> half{args...};
    if constexpr (Count < sizeof...(Args))
        std::get<Count>(half) /= 2;
    if (halfDone && Count < sizeof...(Args))
        std::apply(real, half);
    _exit(0);
}
} // namespace

extern "C" {
ssize_t write(int fd, const void* data, size_t count) {
    return interrupted<2, ssize_t>("write", fd, data, count);
}
ssize_t pwrite(int fd, const void* data, size_t count, off_t at) {
    return interrupted<2, ssize_t>("pwrite", fd, data, count, at);
}
ssize_t pwrite64(int fd, const void* data, size_t count, off_t at) {
    return interrupted<2, ssize_t>("pwrite64", fd, data, count, at);
}
ssize_t copy_file_range(int in, off_t* inAt, int out, off_t* outAt, size_t count, unsigned flags) {
    return interrupted<4, ssize_t>("copy_file_range", in, inAt, out, outAt, count, flags);
}
int rename(const char* from, const char* to) noexcept {
    return interrupted<2, int>("rename", from, to);
}
}

namespace {

using AnnotationSaveTest = FreshEnvironmentTest;

const std::string newComment = "New, and longer than the old one: the rest of the atom moves";

// Saves the new comment in a child that dies at the given write: 0 when it died there, 1 when
// the save ran to its end, 2 when it failed.
int saveCrashingAt(const std::string& path, int crashAt, bool half) {
    pid_t child = fork();
    if (child == 0) {
        std::tie(writesLeft, halfDone) = std::tuple(crashAt, half);
        auto movie = MovieAnnotations::open(path);
        bool saved = movie && movie->setComment(newComment) && movie->save();
        writesLeft = -1;
        _exit(saved ? 1 : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

// With free space after the movie atom the save writes in place; without, it copies the file,
// keeping owner, group and extended attributes.
TEST_F(AnnotationSaveTest, ACrashAtAnyWriteLeavesThePlayableOldOrNewMovie) {
    for (bool inPlace : {true, false}) {
        std::string lesson = root() + "/lesson.mov", work = root() + "/work.mov";
        std::vector<std::string> make = {"ffmpeg", "-v",    "error",     "-y",
                                         "-f",     "lavfi", "-i",        "testsrc2=s=64x48:r=15",
                                         "-t",     "1",     "-metadata", "comment=Old",
                                         lesson};
        if (inPlace)
            make.insert(make.end() - 1, {"-moov_size", "20000"});
        ASSERT_TRUE(MovieMedia::run(make));
        int status = 0, crashAt = 0;
        for (; status == 0 && crashAt < 100; ++crashAt) {
            for (bool half : {false, true}) {
                SCOPED_TRACE(std::to_string(inPlace) + ", write " + std::to_string(crashAt) +
                             (half ? ", half done" : ""));
                std::filesystem::copy_file(lesson, work,
                                           std::filesystem::copy_options::overwrite_existing);
                bool owned = ::chown(work.c_str(), 4321, 4322) == 0;
                bool tagged = ::setxattr(work.c_str(), "user.lesson", "7", 1, 0) == 0;
                struct stat before = {}, after = {};
                ::stat(work.c_str(), &before);
                status = saveCrashingAt(work, crashAt, half);
                auto movie = MovieAnnotations::open(work);
                ASSERT_TRUE(movie);
                std::string comment = movie->comment().value_or("");
                EXPECT_TRUE(comment == "Old" || comment == newComment);
                EXPECT_EQ(MovieMedia::ffprobeTags(work)["comment"], comment);
                EXPECT_TRUE(MovieMedia::decodesCleanly(work));
                if (status == 0)
                    continue;
                ::stat(work.c_str(), &after);
                EXPECT_EQ(status, 1);
                EXPECT_EQ(comment, newComment);
                EXPECT_EQ(after.st_ino == before.st_ino, inPlace);
                EXPECT_TRUE(!owned || (after.st_uid == 4321 && after.st_gid == 4322));
                EXPECT_TRUE(!tagged || ::getxattr(work.c_str(), "user.lesson", nullptr, 0) == 1);
            }
        }
        EXPECT_GE(crashAt, 4) << "every write of the save passes through the interruption";
    }
}

} // namespace
