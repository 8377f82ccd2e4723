#include "GuiTest.h"
#include "library/FSBrowserCell.h"
#include "library/FSNodeInfo.h"
#include "support/TestEnvironment.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <filesystem>
#include <gdkmm/texture.h>
#include <gtkmm/label.h>
#include <gtkmm/snapshot.h>

namespace fs = std::filesystem;

namespace {

// The cell's drawing, rendered into pixels that a test can read.
class RenderedCell {
public:
    RenderedCell(FSBrowserCell& cell, Gtk::Widget& controlView, int width, int height)
        : surface(Cairo::ImageSurface::create(Cairo::Surface::Format::ARGB32, width, height)) {
        auto snapshot = Gtk::Snapshot::create();
        cell.drawInteriorWithFrame(snapshot, Gdk::Rectangle(0, 0, width, height), controlView);
        GskRenderNode* node =
            gtk_snapshot_free_to_node(GTK_SNAPSHOT(g_object_ref(snapshot->gobj())));
        auto context = Cairo::Context::create(surface);
        if (node) {
            gsk_render_node_draw(node, context->cobj());
            gsk_render_node_unref(node);
        }
        surface->flush();
    }

    // ARGB of one pixel, premultiplied as Cairo keeps it.
    std::uint32_t pixel(int x, int y) const {
        const unsigned char* row = surface->get_data() + y * surface->get_stride();
        return reinterpret_cast<const std::uint32_t*>(row)[x];
    }

private:
    Cairo::RefPtr<Cairo::ImageSurface> surface;
};

class FSBrowserCellTest : public FreshEnvironmentTest {
protected:
    Glib::RefPtr<Gdk::Texture> redIcon() {
        std::string path = root() + "/red.png";
        GuiTest::writePicture(path, 16, 16, 1, 0, 0);
        return Gdk::Texture::create_from_filename(path);
    }

    Gtk::Label controlView;
};

TEST_F(FSBrowserCellTest, FilledFromANode) {
    std::string library = root() + "/Videos";
    fs::create_directories(library + "/Lessons");
    writeFile(library + "/Lessons/a.mov", "x");
    fs::create_directories(library + "/Series/Part 1");
    fs::create_symlink(library + "/gone", library + "/Dangling");

    FSBrowserCell cell;
    cell.setIconImage(redIcon());
    cell.setAttributedStringValueFromFSNodeInfo(
        *FSNodeInfo::nodeWithParent(nullptr, library + "/Lessons", nullptr));
    EXPECT_EQ(cell.stringValue(), "Lessons");
    EXPECT_TRUE(cell.isLeaf());
    EXPECT_TRUE(cell.isEnabled());
    EXPECT_FALSE(cell.iconImage());

    cell.setAttributedStringValueFromFSNodeInfo(
        *FSNodeInfo::nodeWithParent(nullptr, library + "/Series", nullptr));
    EXPECT_FALSE(cell.isLeaf());

    cell.setAttributedStringValueFromFSNodeInfo(
        *FSNodeInfo::nodeWithParent(nullptr, library + "/Dangling", nullptr));
    EXPECT_EQ(cell.stringValue(), "Dangling");
    EXPECT_FALSE(cell.isEnabled());
    EXPECT_FALSE(cell.isLeaf());
}

TEST_F(FSBrowserCellTest, RowsAreEighteenHighAndTextStartsAfterTheIconSlot) {
    FSBrowserCell cell;
    EXPECT_EQ(cell.cellSizeForBounds(Gdk::Rectangle(0, 0, 240, 40)).width, 240);
    EXPECT_EQ(cell.cellSizeForBounds(Gdk::Rectangle(0, 0, 240, 40)).height, 18);
    Gdk::Rectangle frame(10, 20, 200, 18);
    EXPECT_EQ(cell.textFrame(frame).get_x(), 10);

    cell.setIconImage(redIcon());
    ASSERT_TRUE(cell.iconImage());
    EXPECT_EQ(cell.iconSlot(frame).get_width(), 22);
    EXPECT_EQ(cell.textFrame(frame).get_x(), 32);
    EXPECT_EQ(cell.textFrame(frame).get_width(), 178);
    EXPECT_EQ(cell.iconFrame(frame).get_x(), 14);
    EXPECT_EQ(cell.iconFrame(frame).get_y(), 21);
    // An odd spare height rounds the icon down by the extra half unit.
    EXPECT_EQ(cell.iconFrame(Gdk::Rectangle(0, 0, 200, 19)).get_y(), 2);

    cell.setIconImage({});
    EXPECT_FALSE(cell.iconImage());
}

TEST_F(FSBrowserCellTest, DrawsTheIconOverItsSlot) {
    FSBrowserCell cell;
    RenderedCell withoutIcon(cell, controlView, 60, 18);
    EXPECT_EQ(withoutIcon.pixel(10, 9), 0u);

    cell.setIconImage(redIcon());
    RenderedCell plain(cell, controlView, 60, 18);
    EXPECT_EQ(plain.pixel(10, 9), 0xffff0000u);
    EXPECT_EQ(plain.pixel(2, 9) >> 24, 0xffu);
    EXPECT_NE(plain.pixel(2, 9), 0xffff0000u);
    EXPECT_EQ(plain.pixel(40, 9), 0u);

    cell.setHighlighted(true);
    RenderedCell highlighted(cell, controlView, 60, 18);
    EXPECT_EQ(highlighted.pixel(10, 9), 0xffff0000u);
    EXPECT_NE(highlighted.pixel(2, 9), plain.pixel(2, 9));
}

} // namespace
