#include "rowviews/ImageView.h"

#include "platform/Resources.h"

#include <gdkmm/display.h>
#include <gdkmm/texture.h>
#include <giomm/contenttype.h>
#include <gtkmm/icontheme.h>
#include <gtkmm/snapshot.h>

std::unique_ptr<std::map<std::string, Glib::RefPtr<Gdk::Paintable>>> ImageView::_fileIconCache;
ImageView::IconForFileType ImageView::iconProvider;

namespace {

constexpr int iconSize = 16;

std::string pathExtension(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

} // namespace

void ImageView::initialize() {
    if (!_fileIconCache)
        _fileIconCache = std::make_unique<std::map<std::string, Glib::RefPtr<Gdk::Paintable>>>();
}

void ImageView::uninitialize() {
    _fileIconCache.reset();
}

void ImageView::setIconProvider(IconForFileType provider) {
    iconProvider = std::move(provider);
}

Glib::RefPtr<Gdk::Paintable> ImageView::iconForFileType(const std::string& extension) {
    auto display = Gdk::Display::get_default();
    if (!display)
        return {};
    bool uncertain = false;
    std::string name = extension.empty() ? "file" : "file." + extension;
    auto icon = Gio::content_type_get_icon(Gio::content_type_guess(name, nullptr, 0, uncertain));
    auto theme = Gtk::IconTheme::get_for_display(display);
    if (!icon || !theme->has_gicon(icon))
        return {};
    return theme->lookup_icon(icon, iconSize);
}

// Its own type name makes GTK call the drawing code below.
ImageView::ImageView() : Glib::ObjectBase("FretlarkImageView") {}

Glib::RefPtr<Gdk::Paintable> ImageView::imageToDraw() {
    if (!_fileIconCache)
        return {};
    return _partial ? partialEmblem() : fileTypeIcon();
}

// A missing emblem is looked for again on the next draw.
Glib::RefPtr<Gdk::Paintable> ImageView::partialEmblem() {
    auto cached = _fileIconCache->find("partial");
    if (cached != _fileIconCache->end())
        return cached->second;
    std::string path = Resources::pathForImageResource("emblem_important");
    if (path.empty())
        return {};
    try {
        Glib::RefPtr<Gdk::Paintable> emblem = Gdk::Texture::create_from_filename(path);
        (*_fileIconCache)["partial"] = emblem;
        return emblem;
    } catch (const Glib::Error&) {
        return {};
    }
}

Glib::RefPtr<Gdk::Paintable> ImageView::fileTypeIcon() {
    if (_filename.empty())
        return {};
    std::string key = "." + pathExtension(_filename);
    auto cached = _fileIconCache->find(key);
    if (cached != _fileIconCache->end())
        return cached->second;
    std::string extension = key.substr(1);
    auto icon = iconProvider ? iconProvider(extension) : iconForFileType(extension);
    if (icon)
        (*_fileIconCache)[key] = icon;
    return icon;
}

Gtk::SizeRequestMode ImageView::get_request_mode_vfunc() const {
    return Gtk::SizeRequestMode::CONSTANT_SIZE;
}

void ImageView::measure_vfunc(Gtk::Orientation, int, int& minimum, int& natural,
                              int& minimumBaseline, int& naturalBaseline) const {
    minimum = natural = iconSize;
    minimumBaseline = naturalBaseline = -1;
}

// The picture's lower-left corner sits at the view's lower-left corner, at the picture's size.
void ImageView::snapshot_vfunc(const Glib::RefPtr<Gtk::Snapshot>& snapshot) {
    auto image = imageToDraw();
    if (!image)
        return;
    int width = image->get_intrinsic_width() > 0 ? image->get_intrinsic_width() : iconSize;
    int height = image->get_intrinsic_height() > 0 ? image->get_intrinsic_height() : iconSize;
    snapshot->save();
    graphene_point_t origin = GRAPHENE_POINT_INIT(0.0f, static_cast<float>(get_height() - height));
    gtk_snapshot_translate(snapshot->gobj(), &origin);
    image->snapshot(snapshot, width, height);
    snapshot->restore();
}
