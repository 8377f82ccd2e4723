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

TEST_F(FSBrowserCellTest, FilledFromANodeAndLaidOutAroundItsIconSlot) {
    std::string library = root() + "/Videos";
    writeFile(library + "/Lessons/a.mov", "x");
    fs::create_directories(library + "/Series/Part 1");
    fs::create_symlink(library + "/gone", library + "/Dangling");
    FSBrowserCell cell;
    cell.setIconImage(redIcon());
    for (auto [name, leaf, enabled] :
         {std::tuple{"Lessons", true, true}, std::tuple{"Series", false, true},
          std::tuple{"Dangling", false, false}}) {
        cell.setAttributedStringValueFromFSNodeInfo(
            *FSNodeInfo::nodeWithParent(nullptr, library + "/" + name, nullptr));
        EXPECT_EQ(cell.stringValue(), name);
        EXPECT_EQ(cell.isLeaf(), leaf) << name;
        EXPECT_EQ(cell.isEnabled(), enabled) << name;
        EXPECT_FALSE(cell.iconImage()) << "a node's cell has no icon of its own";
    }

    EXPECT_EQ(cell.cellSizeForBounds(Gdk::Rectangle(0, 0, 240, 40)).height, 18);
    Gdk::Rectangle frame(10, 20, 200, 18);
    EXPECT_EQ(cell.textFrame(frame).get_x(), 10);
    cell.setIconImage(redIcon());
    EXPECT_EQ(cell.textFrame(frame).get_x(), 32);
    EXPECT_EQ(cell.textFrame(frame).get_width(), 178);
    EXPECT_EQ(cell.iconFrame(frame).get_x(), 14);
    EXPECT_EQ(cell.iconFrame(frame).get_y(), 21);
    EXPECT_EQ(cell.iconFrame(Gdk::Rectangle(0, 0, 200, 19)).get_y(), 2) << "rounded down";
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
