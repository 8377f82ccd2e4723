#include "GuiSupport.h"
#include "GuiTest.h"
#include "library/FSBrowserCell.h"
#include "library/FSNodeInfo.h"
#include "support/TestEnvironment.h"

#include <filesystem>
#include <gdkmm/texture.h>
#include <gtkmm/label.h>
#include <gtkmm/snapshot.h>

namespace fs = std::filesystem;

namespace {

// The cell's drawing, rendered into pixels that a test can read.
std::unique_ptr<Canvas> render(FSBrowserCell& cell, Gtk::Widget& controlView) {
    auto snapshot = Gtk::Snapshot::create();
    cell.drawInteriorWithFrame(snapshot, Gdk::Rectangle(0, 0, 60, 18), controlView);
    return drawSnapshot(snapshot, 60, 18);
}

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
    makeTree(library, {"Lessons/a.mov", "Series/Part 1/"});
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
    EXPECT_TRUE(render(cell, controlView)->at(10, 9).isClear());

    cell.setIconImage(redIcon());
    auto plain = render(cell, controlView);
    EXPECT_TRUE(plain->at(10, 9).near(1, 0, 0)) << plain->at(10, 9);
    EXPECT_EQ(plain->at(2, 9).alpha, 255);
    EXPECT_FALSE(plain->at(2, 9).near(1, 0, 0));
    EXPECT_TRUE(plain->at(40, 9).isClear());

    cell.setHighlighted(true);
    auto highlighted = render(cell, controlView);
    EXPECT_TRUE(highlighted->at(10, 9).near(1, 0, 0));
    EXPECT_NE(highlighted->at(2, 9), plain->at(2, 9));
}

} // namespace
