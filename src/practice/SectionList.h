#pragma once

#include "practice/PracticeSection.h"

#include <gtkmm/box.h>
#include <gtkmm/builder.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/listbox.h>
#include <gtkmm/scrolledwindow.h>
#include <sigc++/sigc++.h>
#include <string>
#include <vector>

// A lesson's sections as a list: a click picks one, its name edits in place, a button deletes
// it, and "Add Section" makes a new one. The main window's layout declares it as a GtkBox; the
// controller takes it with Gtk::Builder::get_widget_derived<SectionList>(builder, "sectionList").
class SectionList : public Gtk::Box {
public:
    SectionList(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>& builder);

    void setSections(const std::vector<PracticeSection>& sections, int current);
    const std::vector<std::string>& rowNames() const { return names; }

    sigc::signal<void(int)>& signalPicked() { return picked; }
    sigc::signal<void(int, const std::string&)>& signalRenamed() { return renamed; }
    sigc::signal<void(int)>& signalRemoved() { return removed; }
    sigc::signal<void()>& signalAdded() { return added; }

private:
    Gtk::Widget* makeRow(const PracticeSection& section, int index);

    Gtk::ScrolledWindow scroller;
    Gtk::ListBox list;
    Gtk::Label empty{"No sections yet. Press [ and ] while the lesson plays."};
    Gtk::Button addButton{"Add Section"};
    std::vector<std::string> names;
    bool filling = false;
    sigc::signal<void(int)> picked;
    sigc::signal<void(int, const std::string&)> renamed;
    sigc::signal<void(int)> removed;
    sigc::signal<void()> added;
};
