#include "LibraryWindowFixture.h"

#include "app/ProductChooser.h"
#include "platform/Resources.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"
#include "player/FrlQTMovie.h"

#include <filesystem>
#include <gtkmm/image.h>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::string LibraryWindowFixture::strumwellRoot() const {
    return sysroot() + "/Library/Application Support/Fretlark/Videos";
}

std::string LibraryWindowFixture::jamcroftRoot() const {
    return sysroot() + "/Library/Application Support/Fretlark/Jamcroft/Videos";
}

// ffmpeg writes the artist as a QuickTime text item but not the description, so the description
// is written the way the download engine writes it.
std::string LibraryWindowFixture::addLesson(const std::string& folder, const std::string& name,
                                            double seconds, const std::string& artist,
                                            const std::string& description) {
    LessonOptions options{.seconds = seconds};
    if (!artist.empty())
        options.metadata.emplace_back("artist", artist);
    std::string path = MovieMedia::copy(MovieMedia::lesson(options), folder, name);
    if (description.empty())
        return path;
    FrlQTMovie movie;
    if (!movie.initWithFile(path, nullptr) || !movie.setDescriptionAnnotation(description) ||
        !movie.updateMovieFile())
        throw std::runtime_error("could not annotate " + path);
    return path;
}

AppController& LibraryWindowFixture::startStrumwell() {
    installStrumwell();
    return start([](AppController& app) { app.pChooser->strumwellButton->activate(); });
}

AppController& LibraryWindowFixture::startJamcroft() {
    installJamcroft();
    return start([](AppController& app) { app.pChooser->jamcroftButton->activate(); });
}

namespace {

int rowNamed(ColumnBrowser& browser, const std::string& name, int column) {
    for (int row = 0; row < browser.numberOfRowsInColumn(column); ++row) {
        if (browser.loadedCellAtRow(row, column)->stringValue() == name)
            return row;
    }
    throw std::runtime_error("no row named " + name + " in column " + std::to_string(column));
}

} // namespace

void LibraryWindowFixture::clickBrowserPath(AppController& app, const std::string& path) {
    std::istringstream names(path);
    int column = 0;
    for (std::string name; std::getline(names, name, '/');) {
        if (name.empty())
            continue;
        int row = rowNamed(*app.fsBrowser, name, column);
        app.fsBrowser->matrixInColumn(column)->get_model()->select_item(row, true);
        ++column;
    }
    spin();
}

void LibraryWindowFixture::doubleClickBrowserRow(AppController& app, const std::string& name,
                                                 int column) {
    int row = rowNamed(*app.fsBrowser, name, column);
    gtk_widget_activate_action(GTK_WIDGET(app.fsBrowser->matrixInColumn(column)->gobj()),
                               "list.activate-item", "u", static_cast<guint>(row));
    spin();
}

void LibraryWindowFixture::selectRow(AppController& app, int row) {
    app.resultsView->get_model()->select_item(row, true);
    spin();
}

void LibraryWindowFixture::doubleClickRow(AppController& app, int row) {
    selectRow(app, row);
    g_signal_emit_by_name(app.resultsView->gobj(), "activate", static_cast<guint>(row));
    spin();
}

std::optional<std::string> LibraryWindowFixture::cellText(AppController& app, int row,
                                                          const std::string& identifier) {
    return app.objectValueForTableColumn(
        app.resultsView, app.resultsView->tableColumnWithIdentifier(identifier), row);
}

std::string LibraryWindowFixture::pictureOf(Gtk::Button* button) {
    auto* image = dynamic_cast<Gtk::Image*>(button->get_child());
    return image ? image->property_file().get_value().raw() : std::string();
}

std::string LibraryWindowFixture::picture(const std::string& name) {
    return Resources::pathForImageResource(name);
}
