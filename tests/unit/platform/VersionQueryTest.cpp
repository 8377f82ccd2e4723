#include "TestEnvironment.h"

#include "platform/VersionQuery.h"

#include <cstdlib>

namespace {

using VersionQueryTest = FreshEnvironmentTest;

TEST_F(VersionQueryTest, ThisMachineMeetsBothMinimums) {
    EXPECT_EQ(VersionQuery::gestalt("sysv"), 0x1040u);
    auto movieFramework = VersionQuery::gestalt("qtim");
    ASSERT_TRUE(movieFramework.has_value());
    EXPECT_EQ(*movieFramework >> 16, 0x0700u);
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
