#include "store/CookieChecker.h"
#include "store/PercentEscapes.h"

#include <gtest/gtest.h>

namespace {

struct Escaping {
    const char* text;
    const char* expected;
};

TEST(StoreEscaping, SearchTextKeepsWhatAURLAllowsAndEscapesTheRestInMacRoman) {
    const Escaping cases[] = {
        {"rock & roll", "rock%20&%20roll"},
        {"a+b=c?d@e/f:g;h,i$j!k'l(m)n*o-p.q_r~s", "a+b=c?d@e/f:g;h,i$j!k'l(m)n*o-p.q_r~s"},
        {"100% \"live\" #1 <b>", "100%25%20%22live%22%20%231%20%3Cb%3E"},
        {"Café €", "Caf%8E%20%DB"},
        // No Mac OS Roman form: the character's UTF-8 bytes.
        {"✓ ok", "%E2%9C%93%20ok"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PercentEscapes::addingURLEscapes(c.text), c.expected) << c.text;
}

TEST(StoreEscaping, FormValuesEscapeEverySeparatorAndKeepTheAtSign) {
    const Escaping cases[] = {
        {"mara+lessons@example.com", "mara%2Blessons@example.com"},
        {"a&b=c d?", "a%26b%3Dc%20d%3F"},
        {"!$'()*,-./:;@_~", "!$'()*,-./:;@_~"},
        {"\"#%<>[]{}|\\^`", "%22%23%25%3C%3E%5B%5D%7B%7D%7C%5C%5E%60"},
        {"é\t", "%C3%A9%09"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PercentEscapes::escapingFormValue(c.text), c.expected) << c.text;
}

TEST(StoreEscaping, CookieValuesAreReadAsMacRomanAndMalformedEscapesGiveNothing) {
    EXPECT_EQ(PercentEscapes::replacingEscapes("Ada%20Student"), "Ada Student");
    EXPECT_EQ(PercentEscapes::replacingEscapes("Jos%8e"), "José");
    for (const char* malformed : {"50%", "50%2", "%zz"})
        EXPECT_FALSE(PercentEscapes::replacingEscapes(malformed)) << malformed;
}

TEST(StoreEscaping, ALoginCookieCountsOnlyForTheStoreDomainOrBelowIt) {
    struct Case {
        const char* cookieDomain;
        bool counts;
    } cases[] = {
        {"store.fretlark.org", true},       {".store.fretlark.org", true},
        {"eu.store.fretlark.org", true},    {"STORE.Fretlark.ORG", true},
        {"evilstore.fretlark.org", false},  {"fretlark.org", false},
        {"store.fretlark.org.evil", false}, {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CookieChecker::isStoreDomain(c.cookieDomain, "store.fretlark.org"), c.counts)
            << c.cookieDomain;
    EXPECT_FALSE(CookieChecker::isStoreDomain("store.fretlark.org", ""));
}

} // namespace
