#include "platform/movie/QTMovieView.h"

#include "platform/ui/AccessibleName.h"

#include <gdkmm/display.h>
#include <gdkmm/texture.h>
#include <giomm/file.h>
#include <giomm/themedicon.h>
#include <gtk/gtk.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/icontheme.h>
#include <gtkmm/stylecontext.h>

namespace {

constexpr double nanosecondsPerSecond = 1e9;
constexpr int soundIconSize = 128;

void installStyle() {
    static bool installed = false;
    auto display = Gdk::Display::get_default();
    if (installed || !display)
        return;
    installed = true;
    auto provider = Gtk::CssProvider::create();
    provider->load_from_data(".fretlark-movie-video { background-color: black; }"
                             ".fretlark-movie-message { color: white; }");
    Gtk::StyleContext::add_provider_for_display(display, provider,
                                                GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void releaseImage(gpointer image) {
    delete static_cast<std::shared_ptr<MovieImage>*>(image);
}

double secondsOf(QTTime time) {
    return time.timeScale > 0 ? static_cast<double>(time.timeValue) / time.timeScale : 0.0;
}

} // namespace

QTMovieView::QTMovieView() : Gtk::Box(Gtk::Orientation::VERTICAL) {
    build();
}

QTMovieView::QTMovieView(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>&)
    : Gtk::Box(cobject) {
    build();
}

QTMovieView::~QTMovieView() {
    setMovie(nullptr);
}

void QTMovieView::build() {
    installStyle();
    set_orientation(Gtk::Orientation::VERTICAL);
    video.set_content_fit(Gtk::ContentFit::CONTAIN);
    video.set_can_shrink(true);
    video.set_hexpand(true);
    video.set_vexpand(true);
    video.add_css_class("fretlark-movie-video");
    AccessibleName::set(video, "Movie");
    message.add_css_class("fretlark-movie-message");
    message.set_wrap(true);
    message.set_justify(Gtk::Justification::CENTER);
    message.set_margin(24);
    message.set_visible(false);
    area.set_child(video);
    area.add_overlay(message);
    area.set_hexpand(true);
    area.set_vexpand(true);

    scrubber.set_hexpand(true);
    scrubber.set_draw_value(false);
    scrubber.set_range(0, 1);
    scrubber.set_sensitive(false);
    scrubber.signal_change_value().connect(sigc::mem_fun(*this, &QTMovieView::scrubbed), false);
    AccessibleName::set(scrubber, "Position");

    volume.set_value(1.0);
    volume.set_sensitive(false);
    volume.signal_value_changed().connect(sigc::mem_fun(*this, &QTMovieView::volumeChanged));
    AccessibleName::nameFocusedPart(volume, "Volume");

    bar.add_css_class("fretlark-movie-controller");
    scrubberOverlay.set_child(scrubber);
    scrubberOverlay.set_hexpand(true);
    bar.append(scrubberOverlay);
    bar.append(volume);
    append(area);
    append(bar);
}

void QTMovieView::setMovie(std::unique_ptr<QTMovie> movie) {
    frameConnection.disconnect();
    statusConnection.disconnect();
    idleConnection.disconnect();
    message.set_visible(false);
    if (shown)
        shown->setVisible(false);
    shown = std::move(movie);
    video.set_paintable({});
    scrubber.set_sensitive(static_cast<bool>(shown));
    volume.set_sensitive(static_cast<bool>(shown));
    if (!shown)
        return;
    scrubber.set_range(0, std::max(secondsOf(shown->duration()), 0.001));
    volume.set_value(shown->volume());
    frameConnection =
        shown->signalFrameChanged().connect(sigc::mem_fun(*this, &QTMovieView::showFrame));
    statusConnection =
        shown->signalStatusChanged().connect(sigc::mem_fun(*this, &QTMovieView::showStatus));
    idleConnection = shown->quickTimeMovieController()->signalIdle().connect(
        sigc::mem_fun(*this, &QTMovieView::followMovie));
    shown->setVisible(true);
    showFrame();
    followMovie();
}

// The newest picture becomes a texture over the same memory; the texture keeps the picture alive.
void QTMovieView::showFrame() {
    std::shared_ptr<MovieImage> image = shown ? shown->currentFrameImage() : nullptr;
    if (!image)
        return;
    message.set_visible(false);
    GBytes* bytes = g_bytes_new_with_free_func(image->pixels(), image->byteCount(), releaseImage,
                                               new std::shared_ptr<MovieImage>(image));
    GdkTexture* texture =
        gdk_memory_texture_new(image->width(), image->height(), GDK_MEMORY_R8G8B8A8, bytes,
                               static_cast<gsize>(image->stride()));
    g_bytes_unref(bytes);
    video.set_paintable(Glib::wrap(texture));
}

void QTMovieView::showStatus() {
    if (!shown->failureReason().empty()) {
        showUnplayable(shown->failureReason());
        return;
    }
    message.set_visible(false);
    scrubber.set_range(0, std::max(secondsOf(shown->duration()), 0.001));
    if (shown->isSoundOnly())
        showSoundPicture();
}

// The cover the sound carries, else the icon of the file's type.
void QTMovieView::showSoundPicture() {
    const std::vector<std::uint8_t>& cover = shown->coverArt();
    if (!cover.empty()) {
        try {
            video.set_paintable(
                Gdk::Texture::create_from_bytes(Glib::Bytes::create(cover.data(), cover.size())));
            return;
        } catch (const Glib::Error& error) {
            g_debug("the cover of %s cannot be decoded: %s", shown->displayName().c_str(),
                    error.what());
        }
    }
    auto theme = Gtk::IconTheme::get_for_display(get_display());
    Glib::RefPtr<Gio::Icon> icon;
    try {
        icon =
            Gio::File::create_for_path(shown->fileName())->query_info("standard::icon")->get_icon();
    } catch (const Glib::Error&) {
        icon = Gio::ThemedIcon::create("audio-x-generic");
    }
    video.set_paintable(theme->lookup_icon(icon, soundIconSize, 1));
}

void QTMovieView::showUnplayable(const std::string& reason) {
    video.set_paintable({});
    message.set_text("This file cannot be played: " + reason);
    message.set_visible(true);
}

std::string QTMovieView::unplayableMessage() const {
    return message.get_visible() ? std::string(message.get_text()) : std::string();
}

void QTMovieView::followMovie() {
    if (shown)
        scrubber.set_value(secondsOf(shown->currentTime()));
}

bool QTMovieView::scrubbed(Gtk::ScrollType, double seconds) {
    if (!shown)
        return false;
    auto nanoseconds = static_cast<std::int64_t>(seconds * nanosecondsPerSecond);
    shown->setCurrentTime(
        QTTimeFromNanoseconds(nanoseconds, static_cast<std::int32_t>(shown->timeScale())));
    return false;
}

void QTMovieView::volumeChanged(double value) {
    if (shown)
        shown->setVolume(static_cast<float>(value));
}

void QTMovieView::play(Gtk::Widget*) {
    if (shown)
        shown->play();
}

void QTMovieView::pause(Gtk::Widget*) {
    if (shown)
        shown->stop();
}

void QTMovieView::gotoBeginning(Gtk::Widget*) {
    if (shown)
        shown->gotoBeginning();
    followMovie();
}

void QTMovieView::gotoPosterFrame(Gtk::Widget*) {
    if (shown)
        shown->gotoPosterFrame();
    followMovie();
}

Gdk::Rectangle QTMovieView::movieControllerBounds() const {
    Gtk::Allocation area = bar.get_allocation();
    return {area.get_x(), area.get_y(), area.get_width(), area.get_height()};
}

void QTMovieView::setNeedsDisplayInRect(const Gdk::Rectangle&) {
    queue_draw();
}
