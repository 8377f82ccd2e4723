#include "TestEnvironment.h"

#include "platform/Defaults.h"
#include "platform/MainThread.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "platform/StoreHost.h"
#include "platform/VersionQuery.h"

#include <filesystem>
#include <glib.h>
#include <gst/gst.h>
#include <map>
#include <numeric>
#include <sstream>
#include <thread>

namespace {

class DefaultsTest : public FreshEnvironmentTest {
protected:
    std::string file() const { return home() + "/.config/fretlark/defaults.ini"; }

    static Defaults& registered() {
        auto& defaults = Defaults::standard();
        defaults.registerDefaults({{"splash", true},
                                   {"selection", std::int64_t{0}},
                                   {"path", std::string("/Get Started")}});
        return defaults;
    }
};

TEST_F(DefaultsTest, UserValuesOverrideRegisteredOnesAndSurviveARestart) {
    auto& defaults = registered();
    EXPECT_EQ(defaults.stringForKey("path"), "/Get Started");
    EXPECT_FALSE(defaults.hasUserValue("path"));
    EXPECT_EQ(defaults.stringForKey("neverRegistered"), "");
    defaults.setBool("splash", false);
    defaults.setInteger("selection", -1);
    defaults.setString("path", "/Lead/Blues = \"quoted\" é\nnext");
    Defaults::resetStandard();

    auto& reread = registered();
    EXPECT_FALSE(reread.boolForKey("splash"));
    EXPECT_EQ(reread.integerForKey("selection"), -1);
    EXPECT_EQ(reread.stringForKey("path"), "/Lead/Blues = \"quoted\" é\nnext");
    for (const auto& entry : std::filesystem::directory_iterator(home() + "/.config/fretlark"))
        EXPECT_EQ(entry.path().filename(), "defaults.ini") << "left behind: " << entry.path();
    reread.removeObject("path");
    EXPECT_EQ(reread.stringForKey("path"), "/Get Started");
}

TEST_F(DefaultsTest, ForeignDamagedOrMistypedFilesKeepTheirGoodValues) {
    writeFile(file(), std::string("[Defaults]\nsplash=perhaps\nselection=7\n\x01garbage\n"
                                  "[unterminated group\npath=/Salvaged\nsplas"));
    auto& defaults = registered();
    EXPECT_TRUE(defaults.boolForKey("splash")) << "the wrong type falls back";
    EXPECT_EQ(defaults.integerForKey("selection"), 7);
    EXPECT_EQ(defaults.stringForKey("path"), "/Salvaged");

    // Writing another key keeps the odd value on disk for whoever wrote it.
    defaults.setBool("other", true);
    EXPECT_NE(readFile(file()).find("splash=perhaps"), std::string::npos);
}

TEST_F(DefaultsTest, AnUnwritableFolderIsReportedNotFatal) {
    writeFile(home() + "/.config/fretlark", "a file where the folder should be");
    auto& defaults = registered();
    defaults.setBool("splash", false);
    EXPECT_FALSE(defaults.boolForKey("splash"));
    EXPECT_FALSE(defaults.synchronize());
}

using PathsTest = FreshEnvironmentTest;

TEST_F(PathsTest, TildeSysrootAndXdgFolders) {
    EXPECT_EQ(Paths::expandTilde("~"), home());
    EXPECT_EQ(Paths::expandTilde("~/Music"), home() + "/Music");
    EXPECT_EQ(Paths::expandTilde("/a/~/b"), "/a/~/b");
    EXPECT_EQ(Paths::expandTilde("~other/x"), "~other/x");

    setenv("FRETLARK_SYSROOT", (sysroot() + "//").c_str(), 1);
    EXPECT_EQ(Paths::systemPath("/Library"), sysroot() + "/Library");
    unsetenv("FRETLARK_SYSROOT");
    EXPECT_EQ(Paths::systemPath("/Library"), "/Library");

    setenv("XDG_CACHE_HOME", "relative/cache", 1);
    EXPECT_EQ(Paths::cachesDirectory(), home() + "/.cache");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Paths::configDirectory(), home() + "/.config");
    setenv("XDG_DATA_HOME", "/elsewhere/data", 1);
    EXPECT_EQ(Paths::dataDirectory(), "/elsewhere/data");
}

TEST_F(PathsTest, ResourcesAreFoundByNameOnlyInsideTheirFolder) {
    std::istringstream pictures(
        "play_active play_press pause_active pause_press loop_on loop_onpress loop_off "
        "loop_offpress rewind_on rewind_onpress rewind_off rewind_offpress fastfwd_on "
        "fastfwd_onpress fastfwd_off fastfwd_offpress Welcome emblem_important "
        "FSIconImage-LinkArrow FSIconImage-Default");
    for (std::string name; pictures >> name;)
        EXPECT_FALSE(Resources::pathForImageResource(name).empty()) << name;
    for (const char* layout : {"MainWindow", "ProductChooser", "Signin"})
        EXPECT_FALSE(Resources::pathForLayout(layout).empty()) << layout;
    for (const char* missing : {"no_such_picture", "../resources/Welcome", ""})
        EXPECT_EQ(Resources::pathForImageResource(missing), "") << missing;
    EXPECT_EQ(Resources::objectForInfoDictionaryKey("CFBundleShortVersionString"),
              FRETLARK_VERSION);
}

TEST_F(PathsTest, StoreAddressesFollowTheConfiguredHost) {
    EXPECT_EQ(StoreHost::url("/support.php"), "https://store.fretlark.org/support.php");
    Defaults::standard().setString("storeHost", "127.0.0.1:8443");
    Defaults::standard().setString("storeCertificate", "~/demo/ca.pem");
    EXPECT_EQ(StoreHost::url("/support.php"), "https://127.0.0.1:8443/support.php");
    EXPECT_EQ(StoreHost::certificatePath(), home() + "/demo/ca.pem");
}

TEST_F(PathsTest, VersionQueriesAnswerThisMachineOrTheOverride) {
    EXPECT_EQ(VersionQuery::gestalt("sysv"), 0x1040u);
    EXPECT_EQ(VersionQuery::gestalt("qtim").value_or(0) >> 16, 0x0700u);
    EXPECT_FALSE(VersionQuery::gestalt("cpuv"));
    const struct {
        const char* text;
        std::optional<std::uint32_t> answer;
    } cases[] = {{"0x1039", 0x1039}, {"4160", 0x1040}, {"fail", {}}, {"0x10zz", {}}};
    for (const auto& c : cases) {
        setenv("FRETLARK_SYSTEM_VERSION", c.text, 1);
        EXPECT_EQ(VersionQuery::gestalt("sysv"), c.answer) << c.text;
    }
    // With every H.264 (or AAC) decoder ranked out of use the movie framework counts as too old.
    for (const char* format : {"video/x-h264", "audio/mpeg, mpegversion=(int)4"}) {
        GList* all = gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DECODER,
                                                           GST_RANK_MARGINAL);
        g_autoptr(GstCaps) caps = gst_caps_from_string(format);
        GList* fitting = gst_element_factory_list_filter(all, caps, GST_PAD_SINK, FALSE);
        std::map<GstPluginFeature*, guint> ranks;
        for (GList* item = fitting; item; item = item->next) {
            auto* feature = GST_PLUGIN_FEATURE(item->data);
            ranks[feature] = gst_plugin_feature_get_rank(feature);
            gst_plugin_feature_set_rank(feature, GST_RANK_NONE);
        }
        EXPECT_EQ(VersionQuery::gestalt("qtim"), 0x06000000u) << format;
        for (auto [feature, rank] : ranks)
            gst_plugin_feature_set_rank(feature, rank);
        gst_plugin_feature_list_free(fitting);
        gst_plugin_feature_list_free(all);
    }
    setenv("FRETLARK_QUICKTIME_VERSION", "0x06FF0000", 1);
    EXPECT_EQ(VersionQuery::gestalt("qtim"), 0x06FF0000u);
}

TEST(MainThreadTest, PostedWorkRunsOnTheMainLoopInOrder) {
    MainThread::adopt();
    std::vector<int> order;
    bool allOnMain = true;
    std::thread worker([&] {
        EXPECT_FALSE(MainThread::isCurrent());
        for (int i = 0; i < 100; ++i)
            postToMainThread([&, i] {
                allOnMain = allOnMain && MainThread::isCurrent();
                order.push_back(i);
            });
    });
    worker.join();
    EXPECT_TRUE(order.empty()) << "posting must not wait for the main thread";
    for (int spins = 0; order.size() < 100 && spins < 10000; ++spins)
        g_main_context_iteration(nullptr, FALSE);
    std::vector<int> expected(100);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);
    EXPECT_TRUE(allOnMain);
}

TEST(MainThreadDeathTest, OffTheMainThreadIsAProgrammingError) {
    MainThread::adopt();
    EXPECT_DEATH(std::thread([] { MainThread::assertCurrent("refreshBrowserView"); }).join(),
                 "refreshBrowserView must run on the main thread");
}

} // namespace
