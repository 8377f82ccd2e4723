#include "MovieMedia.h"
#include "TestEnvironment.h"

#include "platform/movie/MovieAnnotations.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <tuple>

// Every write a save makes comes through here. Armed in a child process, the countdown ends the
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
    if constexpr (Count < sizeof...(Args)) {
        std::get<Count>(half) /= 2;
        if (halfDone)
            std::apply(real, half);
    }
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
ssize_t copy_file_range(int in, off_t* inAt, int out, off_t* outAt, size_t count, unsigned flags) {
    return interrupted<4, ssize_t>("copy_file_range", in, inAt, out, outAt, count, flags);
}
int rename(const char* from, const char* to) noexcept {
    return interrupted<2, int>("rename", from, to);
}
}

namespace {

using AnnotationSaveTest = FreshEnvironmentTest;

// With free space in the file the save writes in place; without, it copies the file, keeping
// owner, group and extended attributes. The child exits with 0 at the crash, 1 once saved.
TEST_F(AnnotationSaveTest, ACrashAtAnyWriteLeavesThePlayableOldOrNewMovie) {
    const std::string newComment = "New, and longer than the old one: the rest of the atom moves";
    LessonOptions options{
        .seconds = 1, .width = 64, .height = 48, .metadata = {{"comment", "Old"}}};
    std::string lesson = MovieMedia::lesson(options), work = root() + "/work.mov";
    for (bool inPlace : {true, false}) {
        // Free space before the movie atom (last in the file), where the new one goes first.
        std::string bytes = readFile(lesson), room("\0\0\x50\0free", 8);
        if (inPlace)
            bytes.insert(bytes.rfind("moov") - 4, room + std::string(0x5000 - 8, 0));
        int status = 0, crashAt = 0;
        for (; status == 0 && crashAt < 100; ++crashAt) {
            for (bool half : {false, true}) {
                SCOPED_TRACE(std::to_string(inPlace) + ", write " + std::to_string(crashAt) +
                             (half ? ", half done" : ""));
                writeFile(work, bytes);
                bool owned = ::chown(work.c_str(), 4321, 4322) == 0;
                bool tagged = ::setxattr(work.c_str(), "user.lesson", "7", 1, 0) == 0;
                struct stat before = {}, after = {};
                ::stat(work.c_str(), &before);
                if (pid_t child = fork(); child == 0) {
                    std::tie(writesLeft, halfDone) = std::tuple(crashAt, half);
                    auto movie = MovieAnnotations::open(work);
                    _exit(movie && movie->setComment(newComment) && movie->save() ? 1 : 2);
                } else {
                    waitpid(child, &status, 0);
                    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                }
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
