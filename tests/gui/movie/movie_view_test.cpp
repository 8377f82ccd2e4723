#include "../../unit/movie/MovieMedia.h"

#include "platform/MainThread.h"
#include "platform/movie/QTMovieView.h"

#include <array>
#include <cairo.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/builder.h>
#include <gtkmm/init.h>
#include <gtkmm/snapshot.h>
#include <gtkmm/widgetpaintable.h>
#include <gtkmm/window.h>

using namespace std::chrono_literals;

namespace {

const char* const layout = R"(<interface>
  <object class="GtkWindow" id="window">
    <property name="default-width">400</property>
    <property name="default-height">400</property>
    <child>
      <object class="GtkBox" id="movieView"/>
    </child>
  </object>
</interface>)";

using Pixel = std::array<int, 3>;

// The view as it draws itself, rendered through Cairo.
class Rendering {
public:
    explicit Rendering(Gtk::Widget& widget)
        : width(widget.get_width()), height(widget.get_height()),
          surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)) {
        auto paintable = Gtk::WidgetPaintable::create(widget);
        auto snapshot = Gtk::Snapshot::create();
        paintable->snapshot(snapshot, width, height);
        GskRenderNode* node =
            gtk_snapshot_free_to_node(GTK_SNAPSHOT(g_object_ref(snapshot->gobj())));
        cairo_t* cr = cairo_create(surface);
        if (node)
            gsk_render_node_draw(node, cr);
        cairo_destroy(cr);
        if (node)
            gsk_render_node_unref(node);
        cairo_surface_flush(surface);
    }
    ~Rendering() { cairo_surface_destroy(surface); }

    Pixel at(int x, int y) const {
        const unsigned char* row =
            cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        return {row[x * 4 + 2], row[x * 4 + 1], row[x * 4]};
    }

    int width;
    int height;

private:
    cairo_surface_t* surface;
};

Pixel textureCentre(const Gtk::Picture& picture) {
    GdkPaintable* paintable = gtk_picture_get_paintable(const_cast<GtkPicture*>(picture.gobj()));
    if (!paintable || !GDK_IS_TEXTURE(paintable))
        return {-1, -1, -1};
    GdkTexture* texture = GDK_TEXTURE(paintable);
    int w = gdk_texture_get_width(texture), h = gdk_texture_get_height(texture);
    std::vector<unsigned char> data(static_cast<std::size_t>(w * h * 4));
    gdk_texture_download(texture, data.data(), static_cast<gsize>(w * 4));
    const unsigned char* p = data.data() + ((h / 2) * w + w / 2) * 4;
    return {p[2], p[1], p[0]};
}

bool isRed(Pixel p) {
    return p[0] > 200 && p[1] < 60 && p[2] < 60;
}
bool isBlue(Pixel p) {
    return p[2] > 200 && p[0] < 60 && p[1] < 60;
}
bool isBlack(Pixel p) {
    return p[0] < 20 && p[1] < 20 && p[2] < 20;
}

class MovieViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        MainThread::adopt();
        builder = Gtk::Builder::create_from_string(layout);
        window = builder->get_widget<Gtk::Window>("window");
        view = Gtk::Builder::get_widget_derived<QTMovieView>(builder, "movieView");
        ASSERT_TRUE(window && view);
        window->present();
        ASSERT_TRUE(spinUntil([&] { return view->get_width() > 0; }, 5s));
    }

    void TearDown() override {
        view->setMovie(nullptr);
        window->destroy();
        spinFor(50ms);
    }

    std::unique_ptr<QTMovie> lesson() {
        auto movie = std::make_unique<QTMovie>();
        std::string path =
            MovieMedia::lesson({.seconds = 2, .audio = false, .colours = {"red", "blue"}});
        EXPECT_TRUE(movie->initWithFile(path, nullptr));
        return movie;
    }

    bool waitForPicture(bool (*colour)(Pixel)) {
        return spinUntil([&] { return colour(textureCentre(view->videoArea())); }, 5s);
    }

    Glib::RefPtr<Gtk::Builder> builder;
    Gtk::Window* window = nullptr;
    QTMovieView* view = nullptr;
};

} // namespace

TEST_F(MovieViewTest, TheLayoutsBoxBecomesAViewWithAControllerBar) {
    EXPECT_EQ(view->get_orientation(), Gtk::Orientation::VERTICAL);
    EXPECT_EQ(view->movie(), nullptr);
    EXPECT_FALSE(view->positionScrubber().get_sensitive());
    Gdk::Rectangle bar = view->movieControllerBounds();
    EXPECT_EQ(bar.get_x(), 0);
    EXPECT_EQ(bar.get_width(), view->get_width());
    EXPECT_GT(bar.get_height(), 0);
    EXPECT_EQ(bar.get_y() + bar.get_height(), view->get_height()) << "the bar sits under the video";

    QTMovieView plain;
    EXPECT_EQ(plain.get_orientation(), Gtk::Orientation::VERTICAL);
    plain.play();
    plain.gotoPosterFrame();
}

TEST_F(MovieViewTest, ShowsTheMovieScaledKeepingItsProportions) {
    view->setMovie(lesson());
    ASSERT_TRUE(waitForPicture(isRed));
    ASSERT_TRUE(spinUntil([&] { return view->videoArea().get_height() > 0; }, 2s));
    spinFor(100ms);

    Rendering drawn(*view);
    int videoHeight = view->videoArea().get_height();
    int pictureHeight = drawn.width * 120 / 160;
    ASSERT_LT(pictureHeight, videoHeight) << "a 4:3 movie in a taller area";
    int band = (videoHeight - pictureHeight) / 2;
    EXPECT_TRUE(isBlack(drawn.at(drawn.width / 2, band / 2))) << "letterbox above";
    EXPECT_TRUE(isRed(drawn.at(drawn.width / 2, videoHeight / 2)));
    EXPECT_TRUE(isRed(drawn.at(2, videoHeight / 2))) << "the picture spans the width";
    EXPECT_TRUE(isBlack(drawn.at(drawn.width / 2, videoHeight - band / 2))) << "letterbox below";
}

TEST_F(MovieViewTest, TheScrubberMovesTheMovieAndFollowsIt) {
    view->setMovie(lesson());
    ASSERT_TRUE(waitForPicture(isRed));
    EXPECT_TRUE(view->positionScrubber().get_sensitive());
    EXPECT_NEAR(view->positionScrubber().get_adjustment()->get_upper(), 2.0, 0.1);

    gboolean handled = FALSE;
    g_signal_emit_by_name(view->positionScrubber().gobj(), "change-value", GTK_SCROLL_JUMP, 1.5,
                          &handled);
    EXPECT_NEAR(static_cast<double>(view->movie()->currentTime().timeValue) /
                    view->movie()->timeScale(),
                1.5, 0.01);
    EXPECT_TRUE(waitForPicture(isBlue)) << "the picture at the new position";

    view->gotoBeginning();
    EXPECT_EQ(view->movie()->currentTime().timeValue, 0);
    EXPECT_EQ(view->positionScrubber().get_value(), 0);
    EXPECT_TRUE(waitForPicture(isRed));

    view->play();
    EXPECT_EQ(view->movie()->rate(), 1.0f);
    EXPECT_TRUE(spinUntil([&] { return view->positionScrubber().get_value() > 0.3; }, 3s));
    view->pause();
    EXPECT_EQ(view->movie()->rate(), 0.0f);
    view->gotoPosterFrame();
    EXPECT_EQ(view->movie()->currentTime().timeValue, view->movie()->posterTime().timeValue);
}

TEST_F(MovieViewTest, VolumeAndReplacingTheMovie) {
    view->setMovie(lesson());
    view->volumeControl().set_value(0.25);
    EXPECT_FLOAT_EQ(view->movie()->volume(), 0.25f);

    auto next = lesson();
    next->setVolume(0.5f);
    QTMovie* replacement = next.get();
    view->setMovie(std::move(next));
    EXPECT_EQ(view->movie(), replacement);
    EXPECT_TRUE(replacement->isVisible());
    EXPECT_DOUBLE_EQ(view->volumeControl().get_value(), 0.5);
    ASSERT_TRUE(waitForPicture(isRed));

    view->setMovie(nullptr);
    EXPECT_FALSE(view->videoArea().get_paintable());
    EXPECT_FALSE(view->volumeControl().get_sensitive());
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    gtk_init();
    Gtk::init_gtkmm_internals();
    return RUN_ALL_TESTS();
}
