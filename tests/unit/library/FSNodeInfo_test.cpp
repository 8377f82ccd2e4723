#include "library/FSNodeInfo.h"
#include "platform/Workspace.h"

#include "support/TestEnvironment.h"

#include <cstdlib>
#include <filesystem>
#include <giomm/emblemedicon.h>
#include <giomm/fileicon.h>
#include <giomm/init.h>
#include <giomm/themedicon.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class FixedRoot : public LibraryRoot {
public:
    explicit FixedRoot(std::string root) : root(std::move(root)) {}
    std::string getRootDirectory() override { return root; }

private:
    std::string root;
};

std::vector<std::string> names(const FSNodeInfoArray& nodes) {
    std::vector<std::string> result;
    for (const auto& node : nodes)
        result.push_back(node->lastPathComponent());
    return result;
}

class FSNodeInfoTest : public FreshEnvironmentTest {
protected:
    void SetUp() override {
        FreshEnvironmentTest::SetUp();
        library = root() + "/Videos";
        fs::create_directories(library);
        app = std::make_unique<FixedRoot>(library);
    }

    std::shared_ptr<FSNodeInfo> top(const std::string& path) {
        return FSNodeInfo::nodeWithParent(nullptr, path, app.get());
    }
    std::string make(const std::string& relative) {
        std::string path = library + "/" + relative;
        fs::create_directories(path);
        return path;
    }
    std::string touch(const std::string& relative) {
        std::string path = library + "/" + relative;
        writeFile(path, "x");
        return path;
    }

    std::string library;
    std::unique_ptr<FixedRoot> app;
};

TEST_F(FSNodeInfoTest, ListsEveryEntrySortedAndHidesLeadingDotNames) {
    touch("Lesson 10.mov");
    touch("Lesson 2.mov");
    touch(".DS_Store");
    make(".hidden folder");
    touch("Café \"Blues\" 'n' Rock.pdf");
    make("Get Started/Quickstart Video");

    auto node = top(library + "/");
    EXPECT_EQ(node->subNodes().size(), 6u);
    EXPECT_EQ(names(node->visibleSubNodes()),
              (std::vector<std::string>{"Café \"Blues\" 'n' Rock.pdf", "Get Started",
                                        "Lesson 2.mov", "Lesson 10.mov"}));
    EXPECT_EQ(names(node->visibleSubNodesNotDirs()).size(), 3u);
    auto child = node->visibleSubNodes().front();
    EXPECT_EQ(child->absolutePath(), library + "/Café \"Blues\" 'n' Rock.pdf");
    EXPECT_TRUE(child->isReadable());
    EXPECT_EQ(child->fsType(), "Non-Directory");
    // A root with a trailing slash still gives single separators.
    auto grandchild = node->visibleSubNodes()[1]->visibleSubNodes().at(0);
    EXPECT_EQ(grandchild->absolutePath(), library + "/Get Started/Quickstart Video");
    EXPECT_EQ(grandchild->relativePath(), "Quickstart Video");
    EXPECT_EQ(grandchild->fsType(), "Directory");

    EXPECT_EQ(FSNodeInfo::nodeWithParent(nullptr, library + "/", nullptr)->lastPathComponent(),
              "Videos");
    EXPECT_EQ(FSNodeInfo::lastPathComponentOf("/"), "/");
    EXPECT_EQ(FSNodeInfo::lastPathComponentOf("plain"), "plain");
    EXPECT_FALSE(top("")->isVisible());
    EXPECT_FALSE(top(library + "/.secret")->isVisible());
    EXPECT_TRUE(top(library + "/notes.txt")->subNodes().empty()) << "a file has no children";
    EXPECT_TRUE(top(library + "/missing")->subNodes().empty());
    EXPECT_FALSE(top(library + "/missing")->isDirectory());
}

TEST_F(FSNodeInfoTest, TheContentsTestCountsVisibleFilesAndFoldersOncePerNode) {
    const struct {
        const char* folder;
        bool files, dirs;
    } cases[] = {{"OnlyHidden", false, false}, {"Mixed", true, true},
                 {"OnlyFolders", false, true}, {"Empty", false, false},
                 {"WithPackage", true, false}, {"Lesson.band", false, false},
                 {"notes.txt", false, false}};
    make("OnlyHidden/.git");
    touch("OnlyHidden/.notes");
    make("Mixed/Sub");
    touch("Mixed/a.mov");
    make("OnlyFolders/A");
    make("OnlyFolders/B");
    make("Empty");
    make("WithPackage/Song.band/Output");
    make("Lesson.band/Media");
    touch("notes.txt");
    for (const auto& c : cases) {
        auto node = top(library + "/" + c.folder);
        EXPECT_EQ(node->containsFiles(), c.files) << c.folder;
        EXPECT_EQ(node->containsDirs(), c.dirs) << c.folder;
    }
    auto cached = top(library + "/Empty");
    EXPECT_FALSE(cached->containsFiles());
    touch("Empty/a.mov");
    make("Empty/Extras");
    EXPECT_FALSE(cached->containsFiles());
    EXPECT_FALSE(cached->containsDirs());
    EXPECT_TRUE(top(library + "/Empty")->containsFiles());
    EXPECT_TRUE(top(library + "/Empty")->containsDirs());
}

TEST_F(FSNodeInfoTest, PackagesAreFilesAndLinksAreFollowedUnlessBroken) {
    make("Song.band/Media");
    make("Loud.BAND");
    touch("Fake.band");
    touch("Real Folder/a.mov");
    fs::create_directory_symlink(library + "/Real Folder", library + "/To Folder");
    fs::create_symlink(library + "/Real Folder/a.mov", library + "/To File.mov");
    fs::create_symlink(library + "/gone.mov", library + "/Broken.mov");
    EXPECT_FALSE(Workspace::isFilePackageAtPath(library));
    auto package = top(library + "/Song.band");
    EXPECT_FALSE(package->isDirectory());
    EXPECT_TRUE(package->subNodes().empty()) << "a package is one document";
    EXPECT_EQ(names(top(library)->visibleSubNodesNotDirs()),
              (std::vector<std::string>{"Broken.mov", "Fake.band", "Loud.BAND", "Song.band",
                                        "To File.mov"}));

    auto broken = top(library + "/Broken.mov");
    EXPECT_TRUE(broken->isLink());
    EXPECT_FALSE(broken->isReadable());
    EXPECT_TRUE(top(library + "/To File.mov")->isReadable());
    auto toFolder = top(library + "/To Folder");
    EXPECT_TRUE(toFolder->isLink());
    EXPECT_TRUE(toFolder->isDirectory());
    EXPECT_TRUE(toFolder->containsFiles());
    EXPECT_FALSE(top(library + "/Real Folder")->isLink());
    make("OnlyBroken");
    fs::create_symlink(library + "/nowhere", library + "/OnlyBroken/dangling");
    EXPECT_FALSE(top(library + "/OnlyBroken")->containsFiles()) << "a broken link is skipped";
    EXPECT_FALSE(top(library + "/OnlyBroken")->containsDirs());
}

// Root reads everything, so unreadable entries are checked as an ordinary user.
void runAsOrdinaryUser(const std::function<bool()>& check) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        std::exit(2);
    std::exit(check() ? 0 : 1);
}

TEST_F(FSNodeInfoTest, UnreadableFoldersAndFiles) {
    fs::permissions(root(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    fs::permissions(library, fs::perms::all);
    make("Locked/Inside");
    touch("Locked/a.mov");
    std::string secret = touch("secret.mov");
    touch("open.mov");
    fs::permissions(library + "/Locked", fs::perms::none);
    fs::permissions(secret, fs::perms::none);
    FixedRoot* rootAnswer = app.get();
    std::string base = library;

    EXPECT_EXIT(runAsOrdinaryUser([&] {
                    auto locked = FSNodeInfo::nodeWithParent(nullptr, base + "/Locked", rootAnswer);
                    auto children =
                        FSNodeInfo::nodeWithParent(nullptr, base, rootAnswer)->visibleSubNodes();
                    bool lockedIsEmpty = locked->subNodes().empty() && !locked->containsFiles() &&
                                         !locked->containsDirs() && !locked->isReadable();
                    bool listedAll = names(children) ==
                                     std::vector<std::string>{"Locked", "open.mov", "secret.mov"};
                    bool readability = children.size() == 3 && children[1]->isReadable() &&
                                       !children[2]->isReadable() && children[0]->isDirectory();
                    return lockedIsEmpty && listedAll && readability;
                }),
                ::testing::ExitedWithCode(0), "");
}

TEST_F(FSNodeInfoTest, IconsComeFromTheContentType) {
    touch("sheet.pdf");
    make("Song.band");
    make("Folder");
    fs::create_symlink(library + "/sheet.pdf", library + "/Link.pdf");
    fs::create_symlink(library + "/gone.mov", library + "/Broken.mov");

    auto themedNames = [](const Glib::RefPtr<Gio::Icon>& icon) {
        auto themed = std::dynamic_pointer_cast<Gio::ThemedIcon>(icon);
        return themed ? themed->get_names() : std::vector<Glib::ustring>{};
    };
    auto contains = [](const std::vector<Glib::ustring>& list, const char* name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };

    // A folder of our own resources, without the arrow picture at first.
    std::string resources = useOwnResources();

    EXPECT_TRUE(contains(themedNames(top(library + "/sheet.pdf")->icon()), "application-pdf"));
    EXPECT_TRUE(contains(themedNames(top(library + "/Folder")->icon()), "folder"));
    EXPECT_FALSE(contains(themedNames(top(library + "/Song.band")->icon()), "folder"));
    EXPECT_TRUE(contains(themedNames(top(library + "/Broken.mov")->icon()), "video-quicktime"));
    // Without the arrow picture a link shows its target's icon unadorned.
    EXPECT_TRUE(contains(themedNames(top(library + "/Link.pdf")->icon()), "application-pdf"));

    writeFile(resources + "/FSIconImage-LinkArrow.svg",
              "<svg xmlns='http://www.w3.org/2000/svg'/>");
    auto emblemed =
        std::dynamic_pointer_cast<Gio::EmblemedIcon>(top(library + "/Link.pdf")->icon());
    ASSERT_TRUE(emblemed);
    EXPECT_TRUE(contains(themedNames(emblemed->get_icon()), "application-pdf"));
    auto emblems = emblemed->get_emblems();
    ASSERT_EQ(emblems.size(), 1u);
    auto arrow = std::dynamic_pointer_cast<Gio::FileIcon>(emblems[0]->get_icon());
    ASSERT_TRUE(arrow);
    EXPECT_EQ(arrow->get_file()->get_path(), resources + "/FSIconImage-LinkArrow.svg");
}

} // namespace

int main(int argc, char** argv) {
    Gio::init();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
