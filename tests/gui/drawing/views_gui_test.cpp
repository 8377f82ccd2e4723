#include "../../unit/drawing/SurfacePixels.h"

#include "drawing/FrameView.h"
#include "drawing/StatusView.h"

#include <gdkmm/frameclock.h>
#include <glibmm/main.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/init.h>
#include <gtkmm/snapshot.h>
#include <gtkmm/widgetpaintable.h>
#include <gtkmm/window.h>
#include <memory>

namespace {

// The main window's arrangement in small: the frame beneath overlaid content, the status view
// beneath the status bar's controls.
const char* const layout = R"(<interface>
  <object class="GtkWindow" id="window">
    <child>
      <object class="GtkBox">
        <property name="orientation">vertical</property>
        <child>
          <object class="GtkOverlay">
            <child>
              <object class="GtkDrawingArea" id="frameView">
                <property name="content-width">200</property>
                <property name="content-height">80</property>
              </object>
            </child>
            <child type="overlay">
              <object class="GtkLabel">
                <property name="label">Lesson</property>
                <property name="margin-start">4</property>
                <property name="margin-end">4</property>
                <property name="margin-top">4</property>
                <property name="margin-bottom">4</property>
              </object>
            </child>
          </object>
        </child>
        <child>
          <object class="GtkOverlay">
            <child>
              <object class="GtkDrawingArea" id="statusView">
                <property name="content-width">200</property>
                <property name="content-height">20</property>
              </object>
            </child>
            <child type="overlay">
              <object class="GtkLabel">
                <property name="label">Done</property>
              </object>
            </child>
          </object>
        </child>
      </object>
    </child>
  </object>
</interface>)";

using RenderNode = std::unique_ptr<GskRenderNode, decltype(&gsk_render_node_unref)>;

// Renders the widget as the toolkit draws it (its draw function at its allocated size) into a
// fresh image.
std::unique_ptr<Canvas> render(Gtk::Widget& widget) {
    auto paintable = Gtk::WidgetPaintable::create(widget);
    auto snapshot = Gtk::Snapshot::create();
    const int width = widget.get_width(), height = widget.get_height();
    paintable->snapshot(snapshot, width, height);
    RenderNode node(gtk_snapshot_to_node(snapshot->gobj()), gsk_render_node_unref);
    auto canvas = std::make_unique<Canvas>(width, height);
    if (node) {
        gsk_render_node_draw(node.get(), canvas->cr());
    }
    return canvas;
}

// Answers whether the window paints again (a redraw was queued) within a few seconds.
bool paintsAgain(Gtk::Widget& widget) {
    bool painted = false;
    bool gaveUp = false;
    auto paint = widget.get_frame_clock()->signal_paint().connect([&painted] { painted = true; });
    auto deadline = Glib::signal_timeout().connect_seconds(
        [&gaveUp] {
            gaveUp = true;
            return false;
        },
        5);
    while (!painted && !gaveUp) {
        g_main_context_iteration(nullptr, true);
    }
    paint.disconnect();
    deadline.disconnect();
    return painted;
}

class DrawingViewsGuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        builder = Gtk::Builder::create_from_string(layout);
        window = builder->get_widget<Gtk::Window>("window");
        frameView = Gtk::Builder::get_widget_derived<FrameView>(builder, "frameView");
        statusView = Gtk::Builder::get_widget_derived<StatusView>(builder, "statusView");
        ASSERT_NE(frameView, nullptr);
        ASSERT_NE(statusView, nullptr);
        window->present();
        while (!frameView->get_mapped() || !statusView->get_mapped() ||
               statusView->get_height() < 20) {
            g_main_context_iteration(nullptr, true);
        }
    }
    void TearDown() override { window->destroy(); }

    Glib::RefPtr<Gtk::Builder> builder;
    Gtk::Window* window = nullptr;
    FrameView* frameView = nullptr;
    StatusView* statusView = nullptr;
};

} // namespace

TEST_F(DrawingViewsGuiTest, StatusViewFromTheLayoutDrawsItsBevelAndGradient) {
    auto canvas = render(*statusView);
    const int width = statusView->get_width(), height = statusView->get_height();
    EXPECT_TRUE(canvas->at(width / 2, 0).isGray(1.0 / 3)) << canvas->at(width / 2, 0);
    EXPECT_TRUE(canvas->at(width / 2, height - 1).isGray(2.0 / 3));
    EXPECT_TRUE(canvas->at(width - 1, height / 2).isGray(2.0 / 3));
    EXPECT_TRUE(canvas->at(width / 2, height - 2).isGray(1));
    EXPECT_TRUE(canvas->at(1, height / 2).isClear());
    EXPECT_TRUE(canvas->at(width / 2, 2).near(0.984, 0.992, 0.898, 1, 4))
        << canvas->at(width / 2, 2);
}

TEST_F(DrawingViewsGuiTest, FrameViewOutlinesItsAreaUntilGivenAFrame) {
    auto whole = render(*frameView);
    const int width = frameView->get_width(), height = frameView->get_height();
    EXPECT_TRUE(whole->at(0, 0).isGray(1.0 / 3));
    EXPECT_TRUE(whole->at(width - 1, height - 1).isGray(1.0 / 3));
    EXPECT_TRUE(whole->at(width / 2, height / 2).isClear());

    frameView->setFrame(Gdk::Rectangle(9, 9, 102, 52));
    ASSERT_TRUE(paintsAgain(*frameView)) << "a new frame queues a redraw";
    auto framed = render(*frameView);
    EXPECT_TRUE(framed->at(0, 0).isClear());
    EXPECT_TRUE(framed->at(9, 9).isGray(1.0 / 3));
    EXPECT_TRUE(framed->at(110, 60).isGray(1.0 / 3));
    EXPECT_TRUE(framed->at(60, 30).isClear());
    EXPECT_TRUE(framed->at(111, 61).isClear());
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    gtk_init();
    Gtk::init_gtkmm_internals();
    return RUN_ALL_TESTS();
}
