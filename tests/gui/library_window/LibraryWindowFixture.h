#pragma once

#include "AppControllerFixture.h"
#include "MovieMedia.h"

#include <optional>
#include <string>

namespace Gtk {
class Button;
}

// The real window over a Strumwell (or Jamcroft) library of generated lessons, driven the way the
// user drives it: clicks on browser rows, selections and double clicks in the file list.
class LibraryWindowFixture : public AppControllerFixture {
protected:
    std::string strumwellRoot() const;
    std::string jamcroftRoot() const;
    // Copies a lesson of the given length and artist, generated once per program, into the folder
    // (made as needed) and answers the copy's path.
    static std::string addLesson(const std::string& folder, const std::string& name,
                                 double seconds = 1.0, const std::string& artist = {},
                                 const std::string& description = {});

    AppController& startStrumwell();
    AppController& startJamcroft();

    // Clicks each name of the browser path in turn, as the user walks down the columns.
    static void clickBrowserPath(AppController& app, const std::string& path);
    // The user's double click on a browser row.
    static void doubleClickBrowserRow(AppController& app, const std::string& name, int column);
    static void selectRow(AppController& app, int row);
    static void doubleClickRow(AppController& app, int row);
    static std::optional<std::string> cellText(AppController& app, int row,
                                               const std::string& identifier);
    // The picture file the button shows.
    static std::string pictureOf(Gtk::Button* button);
    static std::string picture(const std::string& name);
};
