#pragma once

#include "export/ExportSettings.h"
#include "export/MovieExportDelegate.h"
#include "export/MovieExporter.h"

#include <glibmm/refptr.h>
#include <memory>
#include <sigc++/sigc++.h>
#include <string>
#include <vector>

namespace Gtk {
class Builder;
class Button;
class CheckButton;
class DropDown;
class Entry;
class FileChooserNative;
class Label;
class ProgressBar;
class Scale;
class Window;
} // namespace Gtk

// The export dialog: format, quality, practice speed and destination, starting from the lesson's
// own folder and name; then progress, a time estimate and Cancel while the lesson is encoded.
// Errors are shown in the dialog itself.
class ExportDialog : private MovieExportDelegate {
public:
    // pictureWidth and pictureHeight are 0 for a lesson without a picture.
    ExportDialog(Gtk::Window* parent, std::string sourcePath, int pictureWidth, int pictureHeight);
    ~ExportDialog() override;
    ExportDialog(const ExportDialog&) = delete;
    ExportDialog& operator=(const ExportDialog&) = delete;

    // False when the dialog's layout is missing.
    bool isLoaded() const { return window != nullptr; }
    void present();
    bool isVisible() const;
    bool isExporting() const { return exporter.isRunning(); }
    ExportSettings settings() const;

    void selectFormat(ExportFormatId format);
    void setFolder(const std::string& folder);
    // The Export button: asks before replacing a file, then starts.
    void exportMovie();
    // The Cancel button and Escape: stops a running export, otherwise closes the dialog.
    void cancel();
    std::string statusText() const;
    // A finished export, with the file it wrote.
    sigc::signal<void(const std::string&)>& signalExported() { return exported; }

    Gtk::Window* window = nullptr;
    std::vector<std::pair<ExportFormatId, Gtk::CheckButton*>> formatButtons;
    Gtk::DropDown* qualityChooser = nullptr;
    Gtk::Scale* speedScale = nullptr;
    Gtk::Entry* nameEntry = nullptr;
    Gtk::Button* folderButton = nullptr;
    Gtk::Button* cancelButton = nullptr;
    Gtk::Button* exportButton = nullptr;
    Gtk::ProgressBar* progressBar = nullptr;
    Gtk::Label* statusLabel = nullptr;

private:
    bool load(Gtk::Window* parent);
    void addFormatButtons();
    void connectControls();
    ExportFormatId selectedFormat() const;
    void settingsChanged();
    void chooseFolder();
    std::string destination() const;
    void begin();
    void setBusy(bool busy);
    void showStatus(const std::string& text, bool isError);
    void exportProgress(double fraction, double secondsLeft) override;
    void exportDidEnd(ExportResult result, const std::string& detail) override;

    std::string sourcePath;
    std::string folder;
    int pictureWidth;
    int pictureHeight;
    std::string suggestedName;
    Glib::RefPtr<Gtk::Builder> builder;
    Glib::RefPtr<Gtk::FileChooserNative> folderChooser;
    std::unique_ptr<Gtk::Window> ownedWindow;
    Gtk::Label* speedLabel = nullptr;
    Gtk::Label* qualityDescription = nullptr;
    Gtk::Label* folderLabel = nullptr;
    sigc::signal<void(const std::string&)> exported;
    MovieExporter exporter{this};
};
