#include "TestEnvironment.h"

#include "platform/Defaults.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "platform/StoreHost.h"

#include <cstdlib>
#include <filesystem>

namespace {

using PathsTest = FreshEnvironmentTest;

TEST_F(PathsTest, TildeExpandsFromHomeOnlyAtTheStart) {
    EXPECT_EQ(Paths::expandTilde("~"), home());
    EXPECT_EQ(Paths::expandTilde("~/Music/Fretlark/Purchases"),
              home() + "/Music/Fretlark/Purchases");
    EXPECT_EQ(Paths::expandTilde("/a/~/b"), "/a/~/b");
    EXPECT_EQ(Paths::expandTilde("~other/x"), "~other/x");
}

TEST_F(PathsTest, SystemPathsLiveUnderTheSysrootWhenOneIsSet) {
    EXPECT_EQ(Paths::systemPath("/Library/Application Support"),
              sysroot() + "/Library/Application Support");
    setenv("FRETLARK_SYSROOT", (sysroot() + "//").c_str(), 1);
    EXPECT_EQ(Paths::systemPath("/Library"), sysroot() + "/Library");
    unsetenv("FRETLARK_SYSROOT");
    EXPECT_EQ(Paths::systemPath("/Library"), "/Library");
}

TEST_F(PathsTest, XdgFoldersFallBackWhenUnsetOrRelative) {
    EXPECT_EQ(Paths::cachesDirectory(), home() + "/.cache");
    setenv("XDG_CACHE_HOME", "relative/cache", 1);
    EXPECT_EQ(Paths::cachesDirectory(), home() + "/.cache");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Paths::configDirectory(), home() + "/.config");
    setenv("XDG_DATA_HOME", "/elsewhere/data", 1);
    EXPECT_EQ(Paths::dataDirectory(), "/elsewhere/data");
}

TEST_F(PathsTest, EveryPictureTheProgramAsksForIsThere) {
    for (const char* name : {"play_active",
                             "play_press",
                             "pause_active",
                             "pause_press",
                             "loop_on",
                             "loop_onpress",
                             "loop_off",
                             "loop_offpress",
                             "rewind_on",
                             "rewind_onpress",
                             "rewind_off",
                             "rewind_offpress",
                             "fastfwd_on",
                             "fastfwd_onpress",
                             "fastfwd_off",
                             "fastfwd_offpress",
                             "Welcome",
                             "emblem_important",
                             "FSIconImage-LinkArrow",
                             "FSIconImage-Default"})
        EXPECT_FALSE(Resources::pathForImageResource(name).empty()) << name;
    for (const char* layout : {"MainWindow", "ProductChooser", "Signin"})
        EXPECT_FALSE(Resources::pathForLayout(layout).empty()) << layout;
    EXPECT_FALSE(Resources::pathForResource("Add_to_iTunes", "").empty());
}

TEST_F(PathsTest, MissingOrEscapingResourceNamesFindNothing) {
    EXPECT_EQ(Resources::pathForImageResource("no_such_picture"), "");
    EXPECT_EQ(Resources::pathForImageResource("../resources/Welcome"), "");
    EXPECT_EQ(Resources::pathForImageResource(""), "");
}

TEST_F(PathsTest, TheVersionIsTheProjectsShortVersion) {
    EXPECT_EQ(Resources::objectForInfoDictionaryKey("CFBundleShortVersionString"),
              FRETLARK_VERSION);
    EXPECT_EQ(Resources::objectForInfoDictionaryKey("CFBundleVersion"), "");
}

TEST_F(PathsTest, StoreAddressesFollowTheConfiguredHost) {
    EXPECT_EQ(StoreHost::url("/support.php"), "https://store.fretlark.org/support.php");
    Defaults::standard().setString("storeHost", "127.0.0.1:8443");
    Defaults::standard().setString("storeCertificate", "~/demo/ca.pem");
    EXPECT_EQ(StoreHost::url("/support.php"), "https://127.0.0.1:8443/support.php");
    EXPECT_EQ(StoreHost::certificatePath(), home() + "/demo/ca.pem");
}

} // namespace
