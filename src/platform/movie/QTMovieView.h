#pragma once

#include "platform/movie/QTMovie.h"

#include <gdkmm/rectangle.h>
#include <gtkmm/box.h>
#include <gtkmm/builder.h>
#include <gtkmm/label.h>
#include <gtkmm/overlay.h>
#include <gtkmm/picture.h>
#include <gtkmm/scale.h>
#include <gtkmm/volumebutton.h>
#include <memory>
#include <string>

// The movie view: the movie's picture, scaled to the view keeping its proportions, over a
// controller bar with a position scrubber and a volume control. Sound without pictures shows its
// cover or the file's icon; a file that cannot be played shows why. The view owns the movie it
// shows.
// The main window's layout declares it as a GtkBox and the controller takes it with
// Gtk::Builder::get_widget_derived<QTMovieView>(builder, "movieView").
class QTMovieView : public Gtk::Box {
public:
    QTMovieView();
    QTMovieView(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>& builder);
    ~QTMovieView() override;

    QTMovie* movie() const { return shown.get(); }
    // Shows the movie (its pipeline is built now); null empties the view.
    void setMovie(std::unique_ptr<QTMovie> movie);

    // Actions: the sending control may be null and is not looked at.
    void play(Gtk::Widget* sender = nullptr);
    void pause(Gtk::Widget* sender = nullptr);
    void gotoBeginning(Gtk::Widget* sender = nullptr);
    void gotoPosterFrame(Gtk::Widget* sender = nullptr);

    // Where the controller bar lies, in the view's coordinates.
    Gdk::Rectangle movieControllerBounds() const;
    void setNeedsDisplayInRect(const Gdk::Rectangle& rect);
    // Says in the movie area that the file cannot be played, and why; the next movie hides it.
    void showUnplayable(const std::string& reason);
    // The message shown, empty when there is none.
    std::string unplayableMessage() const;

    const Gtk::Picture& videoArea() const { return video; }
    Gtk::Scale& positionScrubber() { return scrubber; }
    // Lays the widget over the scrubber, at the scrubber's size (a band marking a stretch).
    void addScrubberOverlay(Gtk::Widget& widget) { scrubberOverlay.add_overlay(widget); }
    Gtk::VolumeButton& volumeControl() { return volume; }

private:
    void build();
    void showFrame();
    void showStatus();
    void showSoundPicture();
    void followMovie();
    bool scrubbed(Gtk::ScrollType scroll, double seconds);
    void volumeChanged(double value);

    std::unique_ptr<QTMovie> shown;
    Gtk::Overlay area;
    Gtk::Picture video;
    Gtk::Label message;
    Gtk::Box bar{Gtk::Orientation::HORIZONTAL};
    Gtk::Scale scrubber{Gtk::Orientation::HORIZONTAL};
    Gtk::Overlay scrubberOverlay;
    Gtk::VolumeButton volume;
    sigc::connection frameConnection;
    sigc::connection statusConnection;
    sigc::connection idleConnection;
};
