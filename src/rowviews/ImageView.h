#pragma once

#include <functional>
#include <gdkmm/paintable.h>
#include <gtkmm/widget.h>
#include <map>
#include <memory>
#include <string>

// Draws a file-list row's status picture: the icon of its file's type, or the partial-download
// emblem. The pictures come from a cache shared by every row: the icon theme is asked once per
// extension and the emblem is loaded once.
class ImageView : public Gtk::Widget {
public:
    using IconForFileType = std::function<Glib::RefPtr<Gdk::Paintable>(const std::string&)>;

    // The class-wide cache lives from initialize to uninitialize; without it nothing is drawn.
    static void initialize();
    static void uninitialize();
    // The icon theme's 16 by 16 icon for files with the extension; null when the theme has none.
    static Glib::RefPtr<Gdk::Paintable> iconForFileType(const std::string& extension);
    // Where file-type icons are asked for (iconForFileType unless set; null restores it).
    static void setIconProvider(IconForFileType provider);

    ImageView();

    // Neither setter redraws by itself.
    void setFileName(const std::string& path) { _filename = path; }
    void setPartial(bool partial) { _partial = partial; }
    const std::string& fileName() const { return _filename; }
    bool isPartial() const { return _partial; }

    // The picture the view shows now, taken from (or put into) the cache; null draws nothing.
    Glib::RefPtr<Gdk::Paintable> imageToDraw();

protected:
    Gtk::SizeRequestMode get_request_mode_vfunc() const override;
    void measure_vfunc(Gtk::Orientation orientation, int forSize, int& minimum, int& natural,
                       int& minimumBaseline, int& naturalBaseline) const override;
    void snapshot_vfunc(const Glib::RefPtr<Gtk::Snapshot>& snapshot) override;

private:
    Glib::RefPtr<Gdk::Paintable> partialEmblem();
    Glib::RefPtr<Gdk::Paintable> fileTypeIcon();

    std::string _filename;
    bool _partial = false;

    // Extension keys start with "." so that no extension can take the emblem's key "partial".
    static std::unique_ptr<std::map<std::string, Glib::RefPtr<Gdk::Paintable>>> _fileIconCache;
    static IconForFileType iconProvider;
};
