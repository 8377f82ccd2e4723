#include "GuiTest.h"
#include "rowviews/SubviewController.h"
#include "support/TestEnvironment.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <filesystem>
#include <gtkmm/snapshot.h>
#include <gtkmm/spinner.h>
#include <gtkmm/window.h>

namespace fs = std::filesystem;

namespace {

TEST(SubViewTest, CentresItsChildrenWhereThereIsRoom) {
    SubView container;
    Gtk::Spinner child;
    container.addSubview(child, {0, 0, 16, 16});

    container.setFrame({0, 0, 100, 17});
    SubView::Frame centred = container.frameOfSubview(child);
    EXPECT_DOUBLE_EQ(centred.x, 42);
    EXPECT_DOUBLE_EQ(centred.y, 0.5);
    EXPECT_DOUBLE_EQ(centred.width, 16);
    EXPECT_DOUBLE_EQ(centred.height, 16);

    // No room along an axis: the child stays where it was along it.
    container.setFrame({0, 0, 10, 40});
    EXPECT_DOUBLE_EQ(container.frameOfSubview(child).x, 42);
    EXPECT_DOUBLE_EQ(container.frameOfSubview(child).y, 12);
    EXPECT_DOUBLE_EQ(container.frame().width, 10);

    SubView fresh;
    Gtk::Spinner other;
    fresh.addSubview(other, {0, 0, 16, 16});
    fresh.setFrame({0, 0, 10, 16});
    EXPECT_DOUBLE_EQ(fresh.frameOfSubview(other).x, 0);
    EXPECT_DOUBLE_EQ(fresh.frameOfSubview(other).y, 0);
    container.removeSubview(child);
    fresh.removeSubview(other);
}

// The three looks, read from the widgets the controller shows: after each step whether the
// picture shows, whether it carries the partial emblem, and whether the spinner spins.
TEST(SubviewControllerTest, IconSpinnerAndPartialLooksFollowEachOther) {
    SubviewController row;
    auto& spinner = dynamic_cast<Gtk::Spinner&>(*row.view()->get_first_child());
    auto& image = dynamic_cast<ImageView&>(*row.view()->get_last_child());
    row.setFileName("/library/Lesson 1.mov");
    EXPECT_EQ(image.fileName(), "/library/Lesson 1.mov");
    const struct {
        void (SubviewController::*step)();
        bool picture, partial, spinning;
    } steps[] = {
        {&SubviewController::turnOffAnimation, true, false, false},
        {&SubviewController::turnOnAnimation, false, false, true},
        {&SubviewController::turnOnAnimation, false, false, true},
        {&SubviewController::turnOffAnimation, true, false, false},
        {&SubviewController::turnOnAnimation, false, false, true},
        {&SubviewController::setPartial, true, true, false},
        {&SubviewController::turnOffAnimation, true, true, false},
        {&SubviewController::toggleAnimation, false, true, true},
        {&SubviewController::toggleAnimation, true, true, false},
        {&SubviewController::turnOnAnimation, false, false, true},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        (row.*steps[i].step)();
        EXPECT_EQ(image.get_visible(), steps[i].picture) << "step " << i;
        EXPECT_EQ(image.isPartial(), steps[i].partial) << "step " << i;
        EXPECT_EQ(spinner.get_spinning(), steps[i].spinning) << "step " << i;
        EXPECT_EQ(spinner.get_visible(), steps[i].spinning) << "step " << i;
    }
}

// Makes the view's drawing reachable for reading its pixels.
class DrawnImageView : public ImageView {
public:
    std::uint32_t pixelAfterDrawing(int x, int y) {
        auto surface = Cairo::ImageSurface::create(Cairo::Surface::Format::ARGB32, 16, 16);
        auto snapshot = Gtk::Snapshot::create();
        snapshot_vfunc(snapshot);
        GskRenderNode* node =
            gtk_snapshot_free_to_node(GTK_SNAPSHOT(g_object_ref(snapshot->gobj())));
        if (node) {
            gsk_render_node_draw(node, Cairo::Context::create(surface)->cobj());
            gsk_render_node_unref(node);
        }
        surface->flush();
        return reinterpret_cast<const std::uint32_t*>(surface->get_data() +
                                                      y * surface->get_stride())[x];
    }
};

class ImageViewTest : public FreshEnvironmentTest {
protected:
    void SetUp() override {
        FreshEnvironmentTest::SetUp();
        ImageView::initialize();
        ImageView::setIconProvider([this](const std::string& extension) {
            asked.push_back(extension);
            return ImageView::iconForFileType(extension);
        });
    }

    void TearDown() override {
        ImageView::setIconProvider(nullptr);
        ImageView::uninitialize();
        FreshEnvironmentTest::TearDown();
    }

    Glib::RefPtr<Gdk::Paintable> imageFor(const std::string& path, bool partial = false) {
        ImageView view;
        view.setFileName(path);
        view.setPartial(partial);
        return view.imageToDraw();
    }

    std::vector<std::string> asked;
};

TEST_F(ImageViewTest, TheIconThemeIsAskedOncePerExtension) {
    auto first = imageFor("/library/Lesson 1.mov");
    ASSERT_TRUE(first);
    EXPECT_EQ(imageFor("/other/Lesson 2.mov"), first);
    EXPECT_EQ(first->get_intrinsic_width(), 16);
    EXPECT_NE(imageFor("/library/Scales.pdf"), first);
    imageFor("/library/Loud.MOV");
    for (const char* plain : {"/library/README", "/library/.hidden", "/library/notes/"})
        EXPECT_TRUE(imageFor(plain)) << plain;
    EXPECT_EQ(asked, (std::vector<std::string>{"mov", "pdf", "MOV", ""}));
    EXPECT_FALSE(imageFor("")) << "nothing without a file name";
    ImageView::uninitialize();
    EXPECT_FALSE(imageFor("/library/a.mov")) << "nor without a cache";
    EXPECT_EQ(asked.size(), 4u);
}

TEST_F(ImageViewTest, TheEmblemIsLookedForUntilFoundAndThenKept) {
    std::string resources = useOwnResources();
    EXPECT_FALSE(imageFor("/library/a.mov", true));
    EXPECT_FALSE(imageFor("/library/a.mov", true));
    EXPECT_TRUE(asked.empty());

    GuiTest::writePicture(resources + "/emblem_important.png", 8, 6, 1, 0, 0);
    auto emblem = imageFor("", true);
    ASSERT_TRUE(emblem);
    EXPECT_EQ(emblem->get_intrinsic_width(), 8);
    EXPECT_EQ(emblem->get_intrinsic_height(), 6);
    EXPECT_NE(imageFor("/library/download.partial"), emblem) << "a file named like its key";
    fs::remove(resources + "/emblem_important.png");
    EXPECT_EQ(imageFor("/library/b.mov", true), emblem);
}

TEST_F(ImageViewTest, TheEmblemIsDrawnAtItsOwnSizeInTheLowerLeftCorner) {
    std::string resources = useOwnResources();
    GuiTest::writePicture(resources + "/emblem_important.png", 8, 6, 1, 0, 0);
    Gtk::Window window;
    auto* view = Gtk::make_managed<DrawnImageView>();
    view->set_halign(Gtk::Align::START);
    view->set_valign(Gtk::Align::START);
    window.set_child(*view);
    window.present();
    ASSERT_TRUE(GuiTest::runUntil([&] { return view->get_height() == 16; }));

    view->setPartial(true);
    EXPECT_EQ(view->pixelAfterDrawing(0, 15), 0xffff0000u);
    EXPECT_EQ(view->pixelAfterDrawing(7, 10), 0xffff0000u);
    EXPECT_EQ(view->pixelAfterDrawing(8, 15), 0u);
    EXPECT_EQ(view->pixelAfterDrawing(0, 9), 0u);

    view->setPartial(false);
    EXPECT_EQ(view->pixelAfterDrawing(0, 15), 0u);
    view->setFileName("/library/a.mov");
    std::uint32_t drawnAlpha = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            drawnAlpha = std::max(drawnAlpha, view->pixelAfterDrawing(x, y) >> 24);
    EXPECT_GT(drawnAlpha, 0u);
    window.unset_child();
}

} // namespace
