#include "MovieMedia.h"
#include "TestEnvironment.h"

#include "platform/MainThread.h"
#include "platform/movie/BigEndian.h"
#include "platform/movie/MovieFile.h"
#include "platform/movie/QTMovie.h"

#include <zlib.h>

using namespace std::chrono_literals;

namespace {

struct Format {
    std::string name;
    std::vector<std::string> encoding;
    bool pictures;
    bool annotated;
};

class FormatsTest : public FreshEnvironmentTest {
protected:
    void SetUp() override {
        FreshEnvironmentTest::SetUp();
        MainThread::adopt();
    }

    std::string make(const Format& format) const {
        std::string path = root() + "/" + format.name;
        std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine"};
        if (format.pictures)
            argv.insert(argv.end(), {"-f", "lavfi", "-i", "testsrc2=s=64x48:r=25"});
        argv.insert(argv.end(), {"-t", "1"});
        argv.insert(argv.end(), format.encoding.begin(), format.encoding.end());
        argv.push_back(path);
        EXPECT_TRUE(MovieMedia::run(argv)) << format.name;
        return path;
    }

    // QuickTime's compressed movie atom: moov holding cmov, holding dcom 'zlib' and cmvd.
    std::string compressHeaders(const std::string& path) const {
        std::string bytes = MovieMedia::readFile(path);
        auto source = ByteSource::openFile(path);
        const TopLevelAtom& moov = MovieFile::parse(*source)->movieAtomPlace();
        uLongf packedSize = compressBound(moov.size);
        std::vector<std::uint8_t> cmvd(4 + packedSize);
        BigEndian::write32(cmvd.data(), static_cast<std::uint32_t>(moov.size));
        compress(cmvd.data() + 4, &packedSize,
                 reinterpret_cast<const Bytef*>(bytes.data() + moov.offset), moov.size);
        cmvd.resize(4 + packedSize);
        Atom cmov = Atom::container(makeFourCC("cmov"));
        cmov.children() = {Atom(makeFourCC("dcom"), {'z', 'l', 'i', 'b'}),
                           Atom(makeFourCC("cmvd"), cmvd)};
        Atom compressed = Atom::container(makeFourCC("moov"));
        compressed.children() = {cmov};
        std::vector<std::uint8_t> packed = compressed.bytes();
        bytes.replace(moov.offset, moov.size, std::string(packed.begin(), packed.end()));
        MovieMedia::writeFile(path, bytes);
        return path;
    }
};

double seconds(QTTime time) {
    return static_cast<double>(time.timeValue) / time.timeScale;
}

TEST_F(FormatsTest, EveryFormatGStreamerDecodesOpensAndPlays) {
    std::vector<Format> formats = {
        {"lesson.webm", {"-c:v", "libvpx", "-c:a", "libvorbis"}, true, false},
        {"lesson.mkv", {"-c:v", "libx264", "-c:a", "aac"}, true, false},
        {"lesson.avi", {"-c:v", "mpeg4", "-c:a", "libmp3lame"}, true, false},
        {"lesson.mpg", {"-c:v", "mpeg1video", "-c:a", "mp2"}, true, false},
        {"track.mp3", {}, false, false},
        {"track.m4a", {}, false, true},
        {"track.ogg", {"-c:a", "libvorbis"}, false, false},
        {"track.flac", {}, false, false},
        {"track.wav", {}, false, false},
        {"compressed.mov", {}, true, false},
        {"padded.mov", {}, true, true},
        {"junk-at-the-end.mov", {}, true, false},
    };
    for (const Format& format : formats) {
        SCOPED_TRACE(format.name);
        std::string path = make(format);
        if (format.name == "compressed.mov")
            compressHeaders(path);
        if (format.name != "compressed.mov" && format.name.ends_with(".mov"))
            MovieMedia::writeFile(path, MovieMedia::readFile(path) +
                                            std::string(100, format.annotated ? '\0' : 'j'));
        EXPECT_TRUE(QTMovie::canInitWithFile(path));
        QTMovie movie;
        std::string error;
        ASSERT_TRUE(movie.initWithFile(path, &error)) << error;
        EXPECT_EQ(movie.userData() != nullptr, format.annotated);
        movie.setVisible(true);
        movie.play();
        EXPECT_TRUE(spinUntil([&] { return seconds(movie.currentTime()) > 0.3; }, 10s));
        EXPECT_EQ(movie.failureReason(), "");
        EXPECT_NEAR(seconds(movie.duration()), 1.0, 0.15);
        EXPECT_EQ(movie.isSoundOnly(), !format.pictures);
    }
}

TEST_F(FormatsTest, ADamagedFileSaysWhyItCannotBePlayed) {
    std::string webm = make({"cut.webm", {"-c:v", "libvpx", "-c:a", "libvorbis"}, true, false});
    MovieMedia::writeFile(webm, MovieMedia::readFile(webm).substr(0, 300));
    std::string noise = root() + "/noise.mp4";
    MovieMedia::writeFile(noise, std::string(5000, '\x5a'));
    for (const std::string& path : {webm, noise}) {
        QTMovie movie;
        std::string error;
        if (movie.initWithFile(path, &error)) {
            movie.setVisible(true);
            spinUntil([&] { return !movie.failureReason().empty(); }, 10s);
            error = movie.failureReason();
        }
        EXPECT_NE(error, "") << path;
    }
}

TEST_F(FormatsTest, ASoundFileShowsItsCover) {
    std::string path = root() + "/cover.mp3";
    ASSERT_TRUE(MovieMedia::run({"ffmpeg",
                                 "-v",
                                 "error",
                                 "-f",
                                 "lavfi",
                                 "-i",
                                 "sine",
                                 "-f",
                                 "lavfi",
                                 "-i",
                                 "color=c=red:s=32x32",
                                 "-t",
                                 "1",
                                 "-map",
                                 "0:a",
                                 "-map",
                                 "1:v",
                                 "-frames:v",
                                 "1",
                                 "-c:v",
                                 "png",
                                 "-disposition:v",
                                 "attached_pic",
                                 "-id3v2_version",
                                 "3",
                                 path}));
    QTMovie movie;
    ASSERT_TRUE(movie.initWithFile(path, nullptr));
    movie.setVisible(true);
    EXPECT_TRUE(spinUntil([&] { return !movie.coverArt().empty(); }, 10s));
    EXPECT_EQ(std::string(movie.coverArt().begin(), movie.coverArt().begin() + 4), "\x89PNG");
}

} // namespace
