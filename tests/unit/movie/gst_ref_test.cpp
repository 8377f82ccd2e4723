#include "platform/movie/GstRef.h"
#include "platform/movie/MoviePipeline.h"

#include <gtest/gtest.h>

namespace {

int references(gpointer object) {
    return static_cast<int>(GST_OBJECT_REFCOUNT_VALUE(object));
}

} // namespace

TEST(GstRefTest, SinksFloatingElementsAndCountsCopies) {
    ASSERT_TRUE(MoviePipeline::initializeGStreamer());
    auto element = GstRef<GstElement>::adopt(gst_element_factory_make("fakesink", nullptr));
    ASSERT_TRUE(element);
    EXPECT_FALSE(g_object_is_floating(element.get()));
    EXPECT_EQ(references(element.get()), 1);

    GstElement* raw = element.get();
    gst_object_ref(raw); // a reference of our own, to watch the count after the handles are gone
    {
        GstRef<GstElement> copy = element;
        EXPECT_EQ(references(raw), 3);
        GstRef<GstElement> moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(references(raw), 3);
        auto shared = GstRef<GstElement>::share(raw);
        EXPECT_EQ(references(raw), 4);
    }
    EXPECT_EQ(references(raw), 2);
    element.reset();
    EXPECT_EQ(references(raw), 1);
    auto again = GstRef<GstElement>::adopt(raw); // takes over our reference
    GstElement* released = again.release();
    EXPECT_FALSE(again);
    EXPECT_EQ(references(released), 1);
    gst_object_unref(released);
}

TEST(GstRefTest, ReleasesMiniObjects) {
    ASSERT_TRUE(MoviePipeline::initializeGStreamer());
    GstCaps* raw = gst_caps_new_empty_simple("video/x-raw");
    gst_caps_ref(raw);
    {
        auto caps = GstRef<GstCaps>::adopt(raw);
        GstRef<GstCaps> copy = caps;
        EXPECT_EQ(GST_MINI_OBJECT_REFCOUNT_VALUE(raw), 3);
    }
    EXPECT_EQ(GST_MINI_OBJECT_REFCOUNT_VALUE(raw), 1);
    gst_caps_unref(raw);
}
