#include "../../unit/drawing/SurfacePixels.h"
#include "../../unit/movie/MovieMedia.h"

#include "drawing/FrameView.h"
#include "drawing/StatusView.h"
#include "platform/MainThread.h"
#include "platform/movie/QTMovieView.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <gdkmm/frameclock.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/builder.h>
#include <gtkmm/init.h>
#include <gtkmm/snapshot.h>
#include <gtkmm/widgetpaintable.h>
#include <gtkmm/window.h>

using namespace std::chrono_literals;

namespace {

// The main window's arrangement in small: the frame and the movie view above the status view.
const char* const layout = R"(<interface>
  <object class="GtkWindow" id="window">
    <property name="default-width">400</property>
    <property name="default-height">500</property>
    <child><object class="GtkBox"><property name="orientation">vertical</property>
      <child><object class="GtkDrawingArea" id="frameView">
        <property name="content-width">200</property><property name="content-height">80</property>
      </object></child>
      <child><object class="GtkBox" id="movieView"><property name="vexpand">1</property></object></child>
      <child><object class="GtkDrawingArea" id="statusView">
        <property name="content-width">200</property><property name="content-height">20</property>
      </object></child>
    </object></child>
  </object>
</interface>)";

// The widget as the toolkit draws it at its allocated size.
std::unique_ptr<Canvas> render(Gtk::Widget& widget) {
    auto snapshot = Gtk::Snapshot::create();
    Gtk::WidgetPaintable::create(widget)->snapshot(snapshot, widget.get_width(),
                                                   widget.get_height());
    auto canvas = std::make_unique<Canvas>(widget.get_width(), widget.get_height());
    if (GskRenderNode* node =
            gtk_snapshot_free_to_node(GTK_SNAPSHOT(g_object_ref(snapshot->gobj())))) {
        gsk_render_node_draw(node, canvas->cr());
        gsk_render_node_unref(node);
    }
    return canvas;
}

bool isRed(const Pixel& p) {
    return p.red > 200 && p.green < 60 && p.blue < 60;
}
bool isBlue(const Pixel& p) {
    return p.blue > 200 && p.red < 60 && p.green < 60;
}

class ViewsTest : public ::testing::Test {
protected:
    void SetUp() override {
        MainThread::adopt();
        builder = Gtk::Builder::create_from_string(layout);
        window = builder->get_widget<Gtk::Window>("window");
        frameView = Gtk::Builder::get_widget_derived<FrameView>(builder, "frameView");
        statusView = Gtk::Builder::get_widget_derived<StatusView>(builder, "statusView");
        movieView = Gtk::Builder::get_widget_derived<QTMovieView>(builder, "movieView");
        ASSERT_TRUE(frameView && statusView && movieView);
        window->present();
        ASSERT_TRUE(spinUntil([&] { return statusView->get_height() >= 20; }, 5s));
    }
    void TearDown() override {
        movieView->setMovie(nullptr);
        window->destroy();
        spinFor(50ms);
    }

    std::unique_ptr<QTMovie> lesson() {
        auto movie = std::make_unique<QTMovie>();
        EXPECT_TRUE(movie->initWithFile(
            MovieMedia::lesson({.seconds = 2, .audio = false, .colours = {"red", "blue"}}),
            nullptr));
        return movie;
    }

    // The colour at the centre of the movie's current picture.
    bool showsPicture(bool (*colour)(const Pixel&)) {
        return spinUntil(
            [&] {
                auto* texture = GDK_TEXTURE(gtk_picture_get_paintable(
                    const_cast<GtkPicture*>(movieView->videoArea().gobj())));
                if (!texture)
                    return false;
                int w = gdk_texture_get_width(texture), h = gdk_texture_get_height(texture);
                std::vector<std::uint32_t> data(static_cast<std::size_t>(w * h));
                gdk_texture_download(texture, reinterpret_cast<guchar*>(data.data()),
                                     static_cast<gsize>(w * 4));
                std::uint32_t argb = data[static_cast<std::size_t>(h / 2 * w + w / 2)];
                return colour(
                    {int(argb >> 16 & 0xff), int(argb >> 8 & 0xff), int(argb & 0xff), 255});
            },
            5s);
    }

    Glib::RefPtr<Gtk::Builder> builder;
    Gtk::Window* window = nullptr;
    FrameView* frameView = nullptr;
    StatusView* statusView = nullptr;
    QTMovieView* movieView = nullptr;
};

} // namespace

TEST_F(ViewsTest, TheStatusViewDrawsItsBevelRingAndGradient) {
    auto canvas = render(*statusView);
    const int width = statusView->get_width(), height = statusView->get_height();
    EXPECT_TRUE(canvas->at(width / 2, 0).isGray(1.0 / 3)) << canvas->at(width / 2, 0);
    EXPECT_TRUE(canvas->at(width / 2, height - 1).isGray(2.0 / 3));
    EXPECT_TRUE(canvas->at(width - 1, height / 2).isGray(2.0 / 3));
    EXPECT_TRUE(canvas->at(width / 2, height - 2).isGray(1));
    EXPECT_TRUE(canvas->at(1, height / 2).isClear()) << "the ring";
    EXPECT_TRUE(canvas->at(width / 2, 2).near(0.984, 0.992, 0.898, 1, 4)) << "pale at the top";
    EXPECT_TRUE(canvas->at(width / 2, height - 4).near(0.847, 0.866, 0.756, 1, 6))
        << "dark at the bottom";

    auto small = Cairo::ImageSurface::create(Cairo::Surface::Format::ARGB32, 6, 6);
    StatusView::drawRect(Cairo::Context::create(small), Gdk::Rectangle(1, 1, 4, 4));
    EXPECT_TRUE(pixelAt(small->cobj(), 1, 1).isGray(1.0 / 3));
    EXPECT_TRUE(pixelAt(small->cobj(), 2, 2).isClear()) << "too small for a gradient";
    EXPECT_TRUE(pixelAt(small->cobj(), 0, 0).isClear()) << "nothing outside its rectangle";
}

TEST_F(ViewsTest, TheFrameViewOutlinesItsAreaUntilGivenAFrameAndThenThatFrame) {
    auto whole = render(*frameView);
    EXPECT_TRUE(whole->at(0, 0).isGray(1.0 / 3));
    EXPECT_TRUE(whole->at(frameView->get_width() - 1, frameView->get_height() - 1).isGray(1.0 / 3));
    EXPECT_TRUE(whole->at(frameView->get_width() / 2, frameView->get_height() / 2).isClear());

    bool painted = false;
    auto paint = frameView->get_frame_clock()->signal_paint().connect([&] { painted = true; });
    frameView->setFrame(Gdk::Rectangle(9, 9, 102, 52));
    EXPECT_TRUE(spinUntil([&] { return painted; }, 5s)) << "a new frame queues a redraw";
    paint.disconnect();
    auto framed = render(*frameView);
    for (auto [x, y] : {std::pair{9, 9}, std::pair{110, 60}, std::pair{60, 9}, std::pair{9, 30}})
        EXPECT_TRUE(framed->at(x, y).isGray(1.0 / 3)) << x << ", " << y;
    for (auto [x, y] : {std::pair{0, 0}, std::pair{60, 30}, std::pair{111, 61}, std::pair{8, 9}})
        EXPECT_TRUE(framed->at(x, y).isClear()) << x << ", " << y;
}

TEST_F(ViewsTest, TheMovieViewShowsTheMovieKeepingItsProportionsAboveItsControllerBar) {
    EXPECT_FALSE(movieView->positionScrubber().get_sensitive()) << "no movie, no scrubbing";
    Gdk::Rectangle bar = movieView->movieControllerBounds();
    EXPECT_EQ(bar.get_width(), movieView->get_width());
    EXPECT_EQ(bar.get_y() + bar.get_height(), movieView->get_height()) << "under the video";

    movieView->setMovie(lesson());
    ASSERT_TRUE(showsPicture(isRed));
    ASSERT_TRUE(spinUntil([&] { return movieView->videoArea().get_height() > 0; }, 2s));
    spinFor(100ms);
    auto drawn = render(*movieView);
    int videoHeight = movieView->videoArea().get_height();
    int band = (videoHeight - movieView->get_width() * 120 / 160) / 2;
    ASSERT_GT(band, 4) << "a 4:3 movie in a taller area";
    int middle = movieView->get_width() / 2;
    EXPECT_TRUE(drawn->at(middle, band / 2).near(0, 0, 0, 1, 20)) << "letterbox above";
    EXPECT_TRUE(isRed(drawn->at(middle, videoHeight / 2)));
    EXPECT_TRUE(isRed(drawn->at(2, videoHeight / 2))) << "the picture spans the width";
}

TEST_F(ViewsTest, TheScrubberVolumeAndReplacementFollowTheMovie) {
    movieView->setMovie(lesson());
    ASSERT_TRUE(showsPicture(isRed));
    EXPECT_NEAR(movieView->positionScrubber().get_adjustment()->get_upper(), 2.0, 0.1);
    gboolean handled = FALSE;
    g_signal_emit_by_name(movieView->positionScrubber().gobj(), "change-value", GTK_SCROLL_JUMP,
                          1.5, &handled);
    QTMovie* movie = movieView->movie();
    EXPECT_NEAR(double(movie->currentTime().timeValue) / movie->timeScale(), 1.5, 0.01);
    EXPECT_TRUE(showsPicture(isBlue)) << "the picture at the new position";
    movieView->gotoBeginning();
    EXPECT_EQ(movieView->positionScrubber().get_value(), 0);
    movieView->play();
    EXPECT_TRUE(spinUntil([&] { return movieView->positionScrubber().get_value() > 0.3; }, 3s));
    movieView->pause();
    EXPECT_EQ(movie->rate(), 0.0f);
    movieView->volumeControl().set_value(0.25);
    EXPECT_FLOAT_EQ(movie->volume(), 0.25f);

    auto next = lesson();
    next->setVolume(0.5f);
    QTMovie* replacement = next.get();
    movieView->setMovie(std::move(next));
    EXPECT_TRUE(replacement->isVisible());
    EXPECT_DOUBLE_EQ(movieView->volumeControl().get_value(), 0.5);
    movieView->setMovie(nullptr);
    EXPECT_FALSE(movieView->videoArea().get_paintable());
    EXPECT_FALSE(movieView->volumeControl().get_sensitive());
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    gtk_init();
    Gtk::init_gtkmm_internals();
    return RUN_ALL_TESTS();
}
