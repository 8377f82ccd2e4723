#include "TestEnvironment.h"

#include "platform/Defaults.h"

#include <filesystem>

namespace {

class DefaultsTest : public FreshEnvironmentTest {
protected:
    std::string file() const { return home() + "/.config/fretlark/defaults.ini"; }

    Defaults& registeredStore() {
        auto& defaults = Defaults::standard();
        defaults.registerDefaults({{"showWelcomeSplash", true},
                                   {"saveUserSelection", std::int64_t{0}},
                                   {"saveUserPath", std::string("/Get Started/Quickstart Video")}});
        return defaults;
    }
};

TEST_F(DefaultsTest, RegisteredValuesAnswerUntilTheUserSetsOne) {
    auto& defaults = registeredStore();
    EXPECT_TRUE(defaults.boolForKey("showWelcomeSplash"));
    EXPECT_EQ(defaults.integerForKey("saveUserSelection"), 0);
    EXPECT_EQ(defaults.stringForKey("saveUserPath"), "/Get Started/Quickstart Video");
    EXPECT_FALSE(defaults.hasUserValue("saveUserPath"));
    EXPECT_EQ(defaults.stringForKey("neverRegistered"), "");
    EXPECT_FALSE(defaults.boolForKey("neverRegistered"));

    defaults.setBool("showWelcomeSplash", false);
    defaults.setInteger("saveUserSelection", -1);
    defaults.setString("saveUserPath", "/Rhythm Guitar/Strumming Basics");
    EXPECT_FALSE(defaults.boolForKey("showWelcomeSplash"));
    EXPECT_EQ(defaults.integerForKey("saveUserSelection"), -1);
    EXPECT_EQ(defaults.stringForKey("saveUserPath"), "/Rhythm Guitar/Strumming Basics");

    defaults.removeObject("saveUserPath");
    EXPECT_EQ(defaults.stringForKey("saveUserPath"), "/Get Started/Quickstart Video");
}

TEST_F(DefaultsTest, UserValuesSurviveARestartAndTheWriteIsAtomic) {
    registeredStore().setString("saveUserPath", "/Lead Guitar/Blues Licks = \"quoted\" é\nnext");
    registeredStore().setInteger("saveUserSelection", 3);
    Defaults::resetStandard();

    auto& reread = registeredStore();
    EXPECT_EQ(reread.stringForKey("saveUserPath"), "/Lead Guitar/Blues Licks = \"quoted\" é\nnext");
    EXPECT_EQ(reread.integerForKey("saveUserSelection"), 3);
    for (const auto& entry : std::filesystem::directory_iterator(home() + "/.config/fretlark"))
        EXPECT_EQ(entry.path().filename(), "defaults.ini") << "left behind: " << entry.path();
}

TEST_F(DefaultsTest, AFileWrittenByAnotherProgramIsRead) {
    writeFile(file(), "[Defaults]\nshowWelcomeSplash=false\nsaveUserSelection=7\n");
    auto& defaults = registeredStore();
    EXPECT_FALSE(defaults.boolForKey("showWelcomeSplash"));
    EXPECT_EQ(defaults.integerForKey("saveUserSelection"), 7);
}

TEST_F(DefaultsTest, AValueOfTheWrongTypeFallsBackAndTheRestIsKept) {
    writeFile(file(), "[Defaults]\nshowWelcomeSplash=perhaps\nsaveUserSelection=twelve\n"
                      "saveUserPath=/Kept\n");
    auto& defaults = registeredStore();
    EXPECT_TRUE(defaults.boolForKey("showWelcomeSplash"));
    EXPECT_EQ(defaults.integerForKey("saveUserSelection"), 0);
    EXPECT_EQ(defaults.stringForKey("saveUserPath"), "/Kept");

    // Writing another key keeps the odd values on disk for whoever wrote them.
    defaults.setBool("other", true);
    Defaults::resetStandard();
    EXPECT_EQ(registeredStore().stringForKey("saveUserPath"), "/Kept");
    EXPECT_NE(readFile(file()).find("saveUserSelection=twelve"), std::string::npos);
}

TEST_F(DefaultsTest, ACorruptOrTruncatedFileKeepsItsGoodLines) {
    writeFile(file(),
              std::string("[Defaults]\nsaveUserSelection=4\n\x01\x02garbage without equals\n"
                          "[unterminated group\nsaveUserPath=/Salvaged\nshowWelcomeSpl"));
    auto& defaults = registeredStore();
    EXPECT_EQ(defaults.integerForKey("saveUserSelection"), 4);
    EXPECT_EQ(defaults.stringForKey("saveUserPath"), "/Salvaged");
    EXPECT_TRUE(defaults.boolForKey("showWelcomeSplash"));
}

TEST_F(DefaultsTest, AnUnwritableFolderIsReportedNotFatal) {
    writeFile(home() + "/.config/fretlark", "a file where the folder should be");
    auto& defaults = registeredStore();
    defaults.setBool("showWelcomeSplash", false);
    EXPECT_FALSE(defaults.boolForKey("showWelcomeSplash"));
    EXPECT_FALSE(defaults.synchronize());
}

} // namespace
