#include "MovieMedia.h"
#include "TestEnvironment.h"

#include "platform/movie/MovieAnnotations.h"
#include "search/LibraryIndex.h"
#include "search/LibraryQuery.h"

#include <cairo-pdf.h>
#include <filesystem>
#include <sqlite3.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Paths = std::vector<std::string>;

namespace {

class SearchIndexTest : public FreshEnvironmentTest {
protected:
    void SetUp() override {
        FreshEnvironmentTest::SetUp();
        library = root() + "/Videos";
        fs::create_directories(library);
        worker = std::make_unique<SearchWorker>();
    }
    void TearDown() override {
        worker.reset();
        FreshEnvironmentTest::TearDown();
    }

    // The hits of a finished search, relative to the library.
    Paths search(const std::string& text) {
        auto query = LibraryQuery::create(text);
        query->setSearchScope(library);
        query->execute(*worker);
        EXPECT_TRUE(spinUntil([&] { return query->isFinished(); }, std::chrono::seconds(30)));
        Paths found;
        for (const auto& path : query->results())
            found.push_back(path.substr(library.size() + 1));
        return found;
    }

    void write(const std::string& name, const std::string& text) {
        writeFile(library + "/" + name, text);
    }

    void makePdf(const std::string& name, const char* text) {
        fs::create_directories(fs::path(library + "/" + name).parent_path());
        cairo_surface_t* surface =
            cairo_pdf_surface_create((library + "/" + name).c_str(), 300, 200);
        cairo_t* cr = cairo_create(surface);
        cairo_move_to(cr, 20, 100);
        cairo_show_text(cr, text);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }

    void makeMovie(const std::string& name) {
        fs::path target = library + "/" + name;
        std::string path = MovieMedia::copy(MovieMedia::lesson({.seconds = 0.5}),
                                            target.parent_path(), target.filename());
        auto movie = MovieAnnotations::open(path);
        ASSERT_TRUE(movie);
        movie->setArtist("Theo Vance");
        movie->setComment("syncopation drill");
        movie->setDescription("Bass Advanced");
        movie->setAlbum("Groove Collection");
        movie->setText(makeFourCC(0xA9, 'w', 'r', 't'), "Charles Mingus");
        ASSERT_TRUE(movie->save());
    }

    std::string library;
    std::unique_ptr<SearchWorker> worker;
};

TEST_F(SearchIndexTest, WordsAreFoundInNamesAnnotationsNotesAndSheets) {
    makeMovie("Movies/Slap Lesson.mov");
    makePdf("Sheets/Blues Sheet.pdf", "Pentatonic shuffle in A");
    write("Notes/Walking Bass Lines.txt", "practise slowly, then speed up");
    write("Notes/\xC3\x89tude No 1.txt", "");
    write("Notes/Don't Stop.txt", "say \"hi\" AND NEAR the * end");
    write("Notes/caf\xE9 latin1.txt", "menu: caf\xE9 cr\xE8me");
    write("Notes/utf16.txt", std::string("\xFF\xFEh\0o\0t\0e\0l\0", 12));
    write("Numbers/lesson 10.txt", "");
    write("Numbers/Lesson 2.txt", "");
    write("Numbers/lesson 1.txt", "");
    write("Odd/\xFF broken name.txt", "");
    write("Odd/damaged.pdf", "%PDF-1.4 not really a walking document");
    write("Odd/damaged.mov", "\0\0\0\x20moovwalking");
    write(".hidden/walking.txt", "walking");
    write("Notes/.walking.txt", "walking");
    writeFile(root() + "/Videos2/walking.txt", "walking outside");
    ASSERT_EQ(mkfifo((library + "/Odd/walking fifo").c_str(), 0600), 0);
    fs::create_directory_symlink(library, library + "/Odd/walking loop");

    const std::vector<std::pair<std::string, Paths>> cases = {
        {"pentatonic", {"Sheets/Blues Sheet.pdf"}},
        {"SYNCOPATION", {"Movies/Slap Lesson.mov"}},
        {"theo vance groove", {"Movies/Slap Lesson.mov"}},
        {"bass advanced", {"Movies/Slap Lesson.mov"}},
        {"mingus", {"Movies/Slap Lesson.mov"}},
        {"walk", {"Notes/Walking Bass Lines.txt"}},
        {"damaged", {"Odd/damaged.mov", "Odd/damaged.pdf"}},
        {"walking bass practise", {"Notes/Walking Bass Lines.txt"}},
        {"etude", {"Notes/\xC3\x89tude No 1.txt"}},
        {"cafe creme", {"Notes/caf\xE9 latin1.txt"}},
        {"hotel", {"Notes/utf16.txt"}},
        {"broken", {"Odd/\xFF broken name.txt"}},
        {"Don't", {"Notes/Don't Stop.txt"}},
        {"say \"hi AND", {"Notes/Don't Stop.txt"}},
        {"NEAR *", {"Notes/Don't Stop.txt"}},
        {"lesson",
         {"Numbers/lesson 1.txt", "Numbers/Lesson 2.txt", "Numbers/lesson 10.txt",
          "Movies/Slap Lesson.mov"}},
        {"outside", {}},
        {"numbers", {"Numbers"}}, // folders are hits too; the window leaves them out
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(search(text), expected) << text;
    EXPECT_EQ(LibraryQuery::create(" \t "), nullptr);
}

TEST_F(SearchIndexTest, ChangesBetweenSearchesAreSeenWhileRunningAndAfterARestart) {
    write("a/old.txt", "zebra");
    write("a/keep.txt", "zebra");
    ASSERT_EQ(search("zebra"), (Paths{"a/keep.txt", "a/old.txt"}));
    // Watched while the worker runs.
    write("a/keep.txt", "yak!!");
    fs::remove(library + "/a/old.txt");
    write("b/c/new.txt", "zebra");
    fs::rename(library + "/a", library + "/moved");
    EXPECT_EQ(search("zebra"), (Paths{"b/c/new.txt"}));
    EXPECT_EQ(search("yak"), (Paths{"moved/keep.txt"}));
    // Changed while no worker ran: the walk compares sizes and times.
    worker.reset();
    write("moved/keep.txt", "zebra");
    fs::last_write_time(library + "/moved/keep.txt", fs::file_time_type::clock::now() + 1h);
    fs::remove_all(library + "/b");
    write("d.txt", "yak");
    worker = std::make_unique<SearchWorker>();
    EXPECT_EQ(search("zebra"), (Paths{"moved/keep.txt"}));
    EXPECT_EQ(search("yak"), (Paths{"d.txt"}));
}

TEST_F(SearchIndexTest, ANewerSearchDropsTheUnfinishedOne) {
    for (int i = 0; i < 5000; ++i)
        write("many/note " + std::to_string(i) + ".txt", "alpha beta gamma");
    write("only beta.txt", "");
    auto first = LibraryQuery::create("alpha");
    first->setSearchScope(library);
    first->finishObserver = [](LibraryQuery*) { ADD_FAILURE() << "the first search finished"; };
    first->execute(*worker);
    spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(search("only"), (Paths{"only beta.txt"}));
    spinFor(std::chrono::milliseconds(200));
    EXPECT_FALSE(first->isFinished());
}

TEST_F(SearchIndexTest, ADamagedOrUnusableIndexIsBuiltAgain) {
    write("lesson.txt", "quartz");
    std::string file = LibraryIndex::databaseFile(library);
    const std::vector<std::pair<const char*, std::function<void()>>> damages = {
        {"garbage", [&] { writeFile(file, std::string(8192, 'x')); }},
        {"truncated", [&] { fs::resize_file(file, fs::file_size(file) / 2); }},
        {"foreign",
         [&] {
             fs::remove(file);
             sqlite3* other = nullptr;
             sqlite3_open(file.c_str(), &other);
             sqlite3_exec(other, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
             sqlite3_close(other);
         }},
        {"cache is a file",
         [&] {
             fs::remove_all(home() + "/.cache");
             writeFile(home() + "/.cache", "");
         }},
    };
    for (const auto& [name, damage] : damages) {
        EXPECT_EQ(search("quartz"), (Paths{"lesson.txt"})) << name;
        worker.reset();
        damage();
        worker = std::make_unique<SearchWorker>();
        EXPECT_EQ(search("quartz"), (Paths{"lesson.txt"})) << name;
    }
}

} // namespace
