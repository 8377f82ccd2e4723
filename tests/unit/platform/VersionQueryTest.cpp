#include "TestEnvironment.h"

#include "platform/VersionQuery.h"

#include <cstdlib>
#include <gst/gst.h>

namespace {

using VersionQueryTest = FreshEnvironmentTest;

TEST_F(VersionQueryTest, ThisMachineMeetsBothMinimums) {
    EXPECT_EQ(VersionQuery::gestalt("sysv"), 0x1040u);
    auto movieFramework = VersionQuery::gestalt("qtim");
    ASSERT_TRUE(movieFramework.has_value());
    EXPECT_EQ(*movieFramework >> 16, 0x0700u);
}

// With every decoder for H.264, or for AAC, ranked out of use the movie framework counts as too
// old.
TEST_F(VersionQueryTest, TheMovieFrameworkNeedsDecodersForH264AndAac) {
    gst_init(nullptr, nullptr);
    for (const char* format : {"video/x-h264", "audio/mpeg, mpegversion=(int)4"}) {
        GList* all = gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DECODER, 1);
        GstCaps* caps = gst_caps_from_string(format);
        GList* fitting = gst_element_factory_list_filter(all, caps, GST_PAD_SINK, FALSE);
        std::vector<std::pair<GstPluginFeature*, guint>> ranks;
        for (GList* item = fitting; item; item = item->next) {
            auto* feature = GST_PLUGIN_FEATURE(item->data);
            ranks.emplace_back(feature, gst_plugin_feature_get_rank(feature));
            gst_plugin_feature_set_rank(feature, GST_RANK_NONE);
        }
        EXPECT_FALSE(ranks.empty()) << format;
        EXPECT_EQ(VersionQuery::gestalt("qtim"), 0x06000000u) << format;
        for (auto [feature, rank] : ranks)
            gst_plugin_feature_set_rank(feature, rank);
        EXPECT_EQ(VersionQuery::gestalt("qtim"), 0x07000000u) << format;
        gst_plugin_feature_list_free(fitting);
        gst_plugin_feature_list_free(all);
        gst_caps_unref(caps);
    }
}

TEST_F(VersionQueryTest, OverridesAnswerInHexOrDecimalOrFail) {
    setenv("FRETLARK_SYSTEM_VERSION", "0x1039", 1);
    EXPECT_EQ(VersionQuery::gestalt("sysv"), 0x1039u);
    setenv("FRETLARK_SYSTEM_VERSION", "4160", 1);
    EXPECT_EQ(VersionQuery::gestalt("sysv"), 0x1040u);
    setenv("FRETLARK_SYSTEM_VERSION", "fail", 1);
    EXPECT_FALSE(VersionQuery::gestalt("sysv").has_value());
    setenv("FRETLARK_SYSTEM_VERSION", "0x10zz", 1);
    EXPECT_FALSE(VersionQuery::gestalt("sysv").has_value());
    setenv("FRETLARK_QUICKTIME_VERSION", "0x06FF0000", 1);
    EXPECT_EQ(VersionQuery::gestalt("qtim"), 0x06FF0000u);
}

TEST_F(VersionQueryTest, UnknownSelectorsFail) {
    EXPECT_FALSE(VersionQuery::gestalt("cpuv"));
}

} // namespace
