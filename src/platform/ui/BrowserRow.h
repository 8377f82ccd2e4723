#pragma once

#include <functional>
#include <gtkmm/box.h>
#include <gtkmm/gestureclick.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>

class BrowserCell;

// The on-screen row of a column browser: shows one cached cell (its drawing, its text, and an
// arrow when something opens to its right). Rows are recycled as the column scrolls.
class BrowserRow : public Gtk::Box {
public:
    // reclicked runs when the user clicks a row that is already selected, which changes no
    // selection but is still a click.
    explicit BrowserRow(std::function<void()> reclicked);

    void display(BrowserCell* cell);
    BrowserCell* cell() const { return shownCell; }
    const Gtk::Label& textLabel() const { return *label; }
    bool showsBranchArrow() const { return arrow->get_visible(); }

protected:
    void snapshot_vfunc(const Glib::RefPtr<Gtk::Snapshot>& snapshot) override;

private:
    BrowserCell* shownCell = nullptr;
    Gtk::Label* label;
    Gtk::Image* arrow;
    Glib::RefPtr<Gtk::GestureClick> click;
    std::function<void()> reclicked;
    bool pressedWhileSelected = false;
};
