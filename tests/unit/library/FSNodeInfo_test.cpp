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

    // Resources come from a folder of the test's own, restored afterwards.
    std::string useOwnResources() {
        const char* current = std::getenv("FRETLARK_RESOURCES");
        savedResources = current ? std::optional<std::string>(current) : std::nullopt;
        std::string resources = root() + "/resources";
        writeFile(resources + "/MainWindow.ui", "<interface/>");
        setenv("FRETLARK_RESOURCES", resources.c_str(), 1);
        return resources;
    }
    void TearDown() override {
        if (savedResources)
            setenv("FRETLARK_RESOURCES", savedResources->c_str(), 1);
        FreshEnvironmentTest::TearDown();
    }

    std::string library;
    std::unique_ptr<FixedRoot> app;
    std::optional<std::string> savedResources;
};

TEST_F(FSNodeInfoTest, ListsEveryEntryAndHidesLeadingDotNames) {
    touch("Lesson 10.mov");
    touch("Lesson 2.mov");
    touch(".DS_Store");
    make(".hidden folder");
    touch("Café \"Blues\" 'n' Rock.pdf");
    make("Get Started");

    auto node = top(library);
    EXPECT_EQ(names(node->subNodes()).size(), 6u);
    EXPECT_EQ(names(node->visibleSubNodes()),
              (std::vector<std::string>{"Café \"Blues\" 'n' Rock.pdf", "Get Started",
                                        "Lesson 2.mov", "Lesson 10.mov"}));
    EXPECT_EQ(
        names(node->visibleSubNodesNotDirs()),
        (std::vector<std::string>{"Café \"Blues\" 'n' Rock.pdf", "Lesson 2.mov", "Lesson 10.mov"}));
    auto child = node->visibleSubNodes().front();
    EXPECT_EQ(child->absolutePath(), library + "/Café \"Blues\" 'n' Rock.pdf");
    EXPECT_TRUE(child->isReadable());
    EXPECT_FALSE(child->isDirectory());
    EXPECT_EQ(child->fsType(), "Non-Directory");
}

TEST_F(FSNodeInfoTest, PathsThatCannotBeListedHaveNoChildren) {
    std::string file = touch("notes.txt");
    EXPECT_TRUE(top(file)->subNodes().empty());
    EXPECT_TRUE(top(library + "/missing")->subNodes().empty());
    EXPECT_FALSE(top(library + "/missing")->isDirectory());
    EXPECT_FALSE(top(file)->containsFiles());
    EXPECT_FALSE(top(file)->containsDirs());
}

TEST_F(FSNodeInfoTest, RootWithTrailingSlashGivesSingleSeparators) {
    make("Get Started/Quickstart Video");
    auto node = top(library + "/");
    auto children = node->visibleSubNodes();
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(children[0]->absolutePath(), library + "/Get Started");
    auto grandchildren = children[0]->visibleSubNodes();
    ASSERT_EQ(grandchildren.size(), 1u);
    EXPECT_EQ(grandchildren[0]->absolutePath(), library + "/Get Started/Quickstart Video");
    EXPECT_EQ(grandchildren[0]->relativePath(), "Quickstart Video");
    EXPECT_TRUE(grandchildren[0]->isDirectory());
    EXPECT_EQ(grandchildren[0]->fsType(), "Directory");
}

TEST_F(FSNodeInfoTest, TopNodesAnswerTheirPathAndItsLastComponent) {
    auto node = FSNodeInfo::nodeWithParent(nullptr, library + "/", nullptr);
    EXPECT_EQ(node->absolutePath(), library + "/");
    EXPECT_EQ(node->lastPathComponent(), "Videos");
    EXPECT_TRUE(node->isVisible());
    EXPECT_EQ(FSNodeInfo::lastPathComponentOf("/"), "/");
    EXPECT_EQ(FSNodeInfo::lastPathComponentOf("plain"), "plain");
    EXPECT_FALSE(top("")->isVisible());
    EXPECT_FALSE(top(library + "/.secret")->isVisible());
}

TEST_F(FSNodeInfoTest, ContentsTestOfFolders) {
    make("OnlyHidden/.git");
    touch("OnlyHidden/.notes");
    make("Mixed/Sub");
    touch("Mixed/a.mov");
    make("OnlyFolders/A");
    make("OnlyFolders/B");
    make("Empty");
    make("WithPackage/Song.band/Output");
    touch("WithPackage/Song.band/projectData");

    auto hidden = top(library + "/OnlyHidden");
    EXPECT_TRUE(hidden->visibleSubNodes().empty());
    EXPECT_FALSE(hidden->containsFiles());
    EXPECT_FALSE(hidden->containsDirs());

    auto mixed = top(library + "/Mixed");
    EXPECT_TRUE(mixed->containsFiles());
    EXPECT_TRUE(mixed->containsDirs());

    auto folders = top(library + "/OnlyFolders");
    EXPECT_FALSE(folders->containsFiles());
    EXPECT_TRUE(folders->containsDirs());

    auto empty = top(library + "/Empty");
    EXPECT_FALSE(empty->containsFiles());
    EXPECT_FALSE(empty->containsDirs());

    auto withPackage = top(library + "/WithPackage");
    EXPECT_TRUE(withPackage->containsFiles());
    EXPECT_EQ(names(withPackage->visibleSubNodesNotDirs()), std::vector<std::string>{"Song.band"});
}

TEST_F(FSNodeInfoTest, ContentsAnswersAreCachedPerNodeOnly) {
    make("Lesson");
    auto node = top(library + "/Lesson");
    EXPECT_FALSE(node->containsFiles());
    touch("Lesson/a.mov");
    make("Lesson/Extras");
    EXPECT_FALSE(node->containsFiles());
    EXPECT_FALSE(node->containsDirs());
    auto fresh = top(library + "/Lesson");
    EXPECT_TRUE(fresh->containsFiles());
    EXPECT_TRUE(fresh->containsDirs());
}

TEST_F(FSNodeInfoTest, PackagesCountAsFiles) {
    make("Song.band/Media");
    make("Loud.BAND");
    std::string plainFile = touch("Fake.band");
    EXPECT_TRUE(Workspace::isFilePackageAtPath(library + "/Song.band"));
    EXPECT_TRUE(Workspace::isFilePackageAtPath(library + "/Loud.BAND"));
    EXPECT_FALSE(Workspace::isFilePackageAtPath(plainFile));
    EXPECT_FALSE(Workspace::isFilePackageAtPath(library));

    auto package = top(library + "/Song.band");
    EXPECT_FALSE(package->isDirectory());
    EXPECT_EQ(package->fsType(), "Non-Directory");
    // A package is one document: the browser and file list never show its insides.
    EXPECT_TRUE(package->subNodes().empty());
    EXPECT_FALSE(package->containsDirs());
    EXPECT_EQ(names(top(library)->visibleSubNodesNotDirs()),
              (std::vector<std::string>{"Fake.band", "Loud.BAND", "Song.band"}));
}

TEST_F(FSNodeInfoTest, SymbolicLinks) {
    make("Real Folder");
    touch("Real Folder/a.mov");
    make("Links");
    fs::create_directory_symlink(library + "/Real Folder", library + "/Links/To Folder");
    fs::create_symlink(library + "/Real Folder/a.mov", library + "/Links/To File.mov");
    fs::create_symlink(library + "/gone.mov", library + "/Links/Broken.mov");

    auto links = top(library + "/Links");
    auto children = links->visibleSubNodes();
    ASSERT_EQ(names(children),
              (std::vector<std::string>{"Broken.mov", "To File.mov", "To Folder"}));
    auto broken = children[0];
    auto toFile = children[1];
    auto toFolder = children[2];

    EXPECT_TRUE(broken->isLink());
    EXPECT_FALSE(broken->isReadable());
    EXPECT_FALSE(broken->isDirectory());
    EXPECT_TRUE(toFile->isLink());
    EXPECT_TRUE(toFile->isReadable());
    EXPECT_TRUE(toFolder->isLink());
    EXPECT_TRUE(toFolder->isDirectory());
    EXPECT_TRUE(toFolder->containsFiles());
    EXPECT_FALSE(top(library + "/Real Folder")->isLink());

    // The broken link is skipped by the contents scan; the other two count.
    EXPECT_TRUE(links->containsFiles());
    EXPECT_TRUE(links->containsDirs());
    make("OnlyBroken");
    fs::create_symlink(library + "/nowhere", library + "/OnlyBroken/dangling");
    EXPECT_FALSE(top(library + "/OnlyBroken")->containsFiles());
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
