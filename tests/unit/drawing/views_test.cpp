#include "SurfacePixels.h"

#include "drawing/FrameView.h"
#include "drawing/StatusView.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <gtest/gtest.h>
#include <string>

namespace {

constexpr double lightGray = 2.0 / 3.0;
constexpr double darkGray = 1.0 / 3.0;
constexpr double white = 1.0;
const double pale[] = {0.984, 0.992, 0.898};
const double dark[] = {0.847, 0.866, 0.756};

struct Image {
    Cairo::RefPtr<Cairo::ImageSurface> surface;
    Cairo::RefPtr<Cairo::Context> context;

    Image(int width, int height)
        : surface(Cairo::ImageSurface::create(Cairo::Surface::Format::ARGB32, width, height)),
          context(Cairo::Context::create(surface)) {}
    Pixel at(int x, int y) const { return pixelAt(surface->cobj(), x, y); }
};

// What a 200 by 20 status view paints at a pixel, in image coordinates (row 0 at the top). In the
// view's own terms y grows upwards, so its bottom row y = 0 is image row 19.
std::string statusRegion(int x, int row) {
    if (row == 19) {
        return "light";
    }
    if (x == 199) {
        return "light";
    }
    if (row == 0) {
        return "dark";
    }
    if (x == 0) {
        return "dark";
    }
    if (row == 18) {
        return "white";
    }
    if (x == 198) {
        return "white";
    }
    if (x == 1 || x == 197 || row == 1 || row == 17) {
        return "ring";
    }
    return "gradient";
}

void expectStatusView(const Image& image, int left, int top) {
    for (int row = 0; row < 20; ++row) {
        // The gradient runs from its top edge (image row 2) down to its bottom edge (row 17).
        const double t = (row - 2 + 0.5) / 15;
        for (int x = 0; x < 200; ++x) {
            const Pixel p = image.at(left + x, top + row);
            const std::string region = statusRegion(x, row);
            bool ok = false;
            if (region == "light") {
                ok = p.isGray(lightGray);
            } else if (region == "dark") {
                ok = p.isGray(darkGray);
            } else if (region == "white") {
                ok = p.isGray(white);
            } else if (region == "ring") {
                ok = p.isClear();
            } else {
                ok = p.near(pale[0] + (dark[0] - pale[0]) * t, pale[1] + (dark[1] - pale[1]) * t,
                            pale[2] + (dark[2] - pale[2]) * t);
            }
            ASSERT_TRUE(ok) << region << " at (" << x << ", " << row << "): " << p;
        }
    }
}

} // namespace

TEST(StatusViewDrawing, BevelRingAndGradientOfA200By20View) {
    Image image(200, 20);
    StatusView::drawRect(image.context, Gdk::Rectangle(0, 0, 200, 20));
    expectStatusView(image, 0, 0);
    // The gradient's edges are its two colours, pale at the top.
    EXPECT_TRUE(image.at(100, 2).near(pale[0], pale[1], pale[2], 1, 3)) << image.at(100, 2);
    EXPECT_TRUE(image.at(100, 16).near(dark[0], dark[1], dark[2], 1, 3)) << image.at(100, 16);
}

TEST(StatusViewDrawing, PaintsOnlyInsideAnOffsetRectangle) {
    Image image(230, 40);
    StatusView::drawRect(image.context, Gdk::Rectangle(20, 10, 200, 20));
    expectStatusView(image, 20, 10);
    for (int x = 0; x < 230; ++x) {
        for (int y = 0; y < 40; ++y) {
            if (x < 20 || x >= 220 || y < 10 || y >= 30) {
                ASSERT_TRUE(image.at(x, y).isClear()) << x << ", " << y;
            }
        }
    }
}

TEST(StatusViewDrawing, TooSmallForAGradientDrawsOnlyTheBevel) {
    Image image(4, 4);
    StatusView::drawRect(image.context, Gdk::Rectangle(0, 0, 4, 4));
    EXPECT_TRUE(image.at(0, 3).isGray(lightGray));
    EXPECT_TRUE(image.at(3, 0).isGray(lightGray));
    EXPECT_TRUE(image.at(0, 0).isGray(darkGray));
    EXPECT_TRUE(image.at(1, 2).isGray(white));
    EXPECT_TRUE(image.at(1, 1).isClear());
    EXPECT_TRUE(image.at(2, 1).isGray(white));
}

TEST(FrameViewDrawing, OutlinesTheContentGrownByOneUnit) {
    Image image(130, 80);
    // Content at (10, 10), 100 by 50: the frame is (9, 9), 102 by 52.
    FrameView::drawRect(image.context, Gdk::Rectangle(9, 9, 102, 52));
    for (int x = 0; x < 130; ++x) {
        for (int y = 0; y < 80; ++y) {
            const bool inFrame = x >= 9 && x <= 110 && y >= 9 && y <= 60;
            const bool onOutline = inFrame && (x == 9 || x == 110 || y == 9 || y == 60);
            const Pixel p = image.at(x, y);
            if (onOutline) {
                ASSERT_TRUE(p.isGray(darkGray)) << x << ", " << y << ": " << p;
            } else {
                ASSERT_TRUE(p.isClear()) << x << ", " << y << ": " << p;
            }
        }
    }
}

TEST(FrameViewDrawing, ANarrowFrameIsAllOutline) {
    Image image(6, 6);
    FrameView::drawRect(image.context, Gdk::Rectangle(1, 1, 2, 4));
    for (int y = 1; y < 5; ++y) {
        EXPECT_TRUE(image.at(1, y).isGray(darkGray));
        EXPECT_TRUE(image.at(2, y).isGray(darkGray));
        EXPECT_TRUE(image.at(3, y).isClear());
    }
    FrameView::drawRect(image.context, Gdk::Rectangle(4, 4, 0, 2));
    EXPECT_TRUE(image.at(4, 4).isClear());
}
