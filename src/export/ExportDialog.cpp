#include "export/ExportDialog.h"

#include "platform/Resources.h"
#include "platform/ui/Alert.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <glib.h>
#include <gtkmm/box.h>
#include <gtkmm/builder.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/dialog.h>
#include <gtkmm/dropdown.h>
#include <gtkmm/entry.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/filechoosernative.h>
#include <gtkmm/label.h>
#include <gtkmm/progressbar.h>
#include <gtkmm/scale.h>
#include <gtkmm/window.h>

namespace fs = std::filesystem;

namespace {

std::string displayName(const std::string& path) {
    gchar* name = g_filename_display_basename(path.c_str());
    std::string text = name;
    g_free(name);
    return text;
}

std::string inQuotes(const std::string& path) {
    return "“" + displayName(path) + "”";
}

std::string timeLeft(double seconds) {
    if (seconds < 0)
        return "Exporting…";
    if (seconds < 60) {
        int whole = std::max(1, int(std::lround(seconds)));
        return "About " + std::to_string(whole) + (whole == 1 ? " second" : " seconds") + " left";
    }
    int minutes = int(std::lround(seconds / 60));
    return "About " + std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes") + " left";
}

} // namespace

ExportDialog::ExportDialog(Gtk::Window* parent, std::string source, int width, int height)
    : sourcePath(std::move(source)), folder(fs::path(sourcePath).parent_path().string()),
      pictureWidth(width), pictureHeight(height) {
    if (!load(parent))
        return;
    addFormatButtons();
    connectControls();
    window->set_title("Export " + inQuotes(sourcePath));
    setFolder(folder);
    settingsChanged();
}

ExportDialog::~ExportDialog() {
    exporter.cancel();
    if (window)
        window->hide();
}

bool ExportDialog::load(Gtk::Window* parent) {
    std::string layout = Resources::pathForLayout("ExportDialog");
    if (layout.empty())
        return false;
    builder = Gtk::Builder::create_from_file(layout);
    ownedWindow.reset(builder->get_widget<Gtk::Window>("window"));
    window = ownedWindow.get();
    qualityChooser = builder->get_widget<Gtk::DropDown>("qualityChooser");
    qualityDescription = builder->get_widget<Gtk::Label>("qualityDescription");
    speedScale = builder->get_widget<Gtk::Scale>("speedScale");
    speedLabel = builder->get_widget<Gtk::Label>("speedLabel");
    nameEntry = builder->get_widget<Gtk::Entry>("nameEntry");
    folderButton = builder->get_widget<Gtk::Button>("folderButton");
    folderLabel = builder->get_widget<Gtk::Label>("folderLabel");
    cancelButton = builder->get_widget<Gtk::Button>("cancelButton");
    exportButton = builder->get_widget<Gtk::Button>("exportButton");
    progressBar = builder->get_widget<Gtk::ProgressBar>("progressBar");
    statusLabel = builder->get_widget<Gtk::Label>("statusLabel");
    if (parent)
        window->set_transient_for(*parent);
    return true;
}

void ExportDialog::addFormatButtons() {
    auto* box = builder->get_widget<Gtk::Box>("formatBox");
    for (const auto& format : ExportFormat::all()) {
        auto* button = Gtk::make_managed<Gtk::CheckButton>(format.name);
        if (!formatButtons.empty())
            button->set_group(*formatButtons.front().second);
        std::string reason = format.unavailableReason();
        button->set_sensitive(reason.empty());
        button->set_tooltip_text(reason);
        box->append(*button);
        formatButtons.emplace_back(format.id, button);
    }
    // A lesson without a picture is best carried as sound.
    auto available = [](const auto& entry) { return entry.second->get_sensitive(); };
    auto fits = [this, available](const auto& entry) {
        return available(entry) &&
               (pictureWidth > 0 || !ExportFormat::withId(entry.first).hasVideo);
    };
    auto chosen = std::ranges::find_if(formatButtons, fits);
    if (chosen == formatButtons.end())
        chosen = std::ranges::find_if(formatButtons, available);
    if (chosen != formatButtons.end())
        chosen->second->set_active(true);
    else
        exportButton->set_sensitive(false);
}

void ExportDialog::connectControls() {
    for (auto& [id, button] : formatButtons)
        button->signal_toggled().connect([this, button = button] {
            if (button->get_active())
                settingsChanged();
        });
    qualityChooser->property_selected().signal_changed().connect([this] { settingsChanged(); });
    speedScale->signal_value_changed().connect([this] {
        // The speed moves in steps of 5%, whether dragged, clicked or typed.
        double step = std::round(speedScale->get_value() / 5) * 5;
        if (step != speedScale->get_value())
            speedScale->set_value(step);
        else
            settingsChanged();
    });
    for (int mark : {50, 75, 100})
        speedScale->add_mark(mark, Gtk::PositionType::BOTTOM, std::to_string(mark) + "%");
    folderButton->signal_clicked().connect([this] { chooseFolder(); });
    exportButton->signal_clicked().connect([this] { exportMovie(); });
    cancelButton->signal_clicked().connect([this] { cancel(); });
    window->set_default_widget(*exportButton);
    window->signal_close_request().connect(
        [this] {
            exporter.cancel();
            window->hide();
            return true;
        },
        false);
    auto keys = Gtk::EventControllerKey::create();
    keys->signal_key_pressed().connect(
        [this](guint key, guint, Gdk::ModifierType) {
            if (key != GDK_KEY_Escape)
                return false;
            cancel();
            return true;
        },
        false);
    window->add_controller(keys);
}

void ExportDialog::present() {
    if (window)
        window->present();
}

bool ExportDialog::isVisible() const {
    return window && window->is_visible();
}

ExportFormatId ExportDialog::selectedFormat() const {
    for (const auto& [id, button] : formatButtons)
        if (button->get_active())
            return id;
    return ExportFormatId::mp4;
}

void ExportDialog::selectFormat(ExportFormatId format) {
    for (auto& [id, button] : formatButtons)
        if (id == format)
            button->set_active(true);
}

ExportSettings ExportDialog::settings() const {
    ExportSettings chosen;
    chosen.sourcePath = sourcePath;
    chosen.destinationPath = destination();
    chosen.format = selectedFormat();
    chosen.quality = static_cast<ExportQuality>(qualityChooser->get_selected());
    chosen.speedPercent = int(std::lround(speedScale->get_value()));
    return chosen;
}

void ExportDialog::settingsChanged() {
    ExportSettings chosen = settings();
    const ExportFormat& format = ExportFormat::withId(chosen.format);
    speedLabel->set_text(std::to_string(chosen.speedPercent) + "%");
    qualityChooser->set_sensitive(format.hasQualitySetting());
    qualityDescription->set_text(
        format.describeQuality(chosen.quality, pictureWidth, pictureHeight));
    // A name the user typed keeps its stem; an untouched one follows the settings.
    std::string typed = nameEntry->get_text();
    std::string suggestion = format.suggestedFileName(sourcePath, chosen.speedPercent);
    if (typed.empty() || typed == suggestedName)
        nameEntry->set_text(suggestion);
    else
        nameEntry->set_text(fs::path(typed).replace_extension(format.extension).string());
    suggestedName = suggestion;
}

void ExportDialog::setFolder(const std::string& chosen) {
    folder = chosen;
    folderLabel->set_text(displayName(folder));
    gchar* fullName = g_filename_display_name(folder.c_str());
    folderButton->set_tooltip_text(fullName);
    g_free(fullName);
}

void ExportDialog::chooseFolder() {
    folderChooser = Gtk::FileChooserNative::create(
        "Choose a Folder", *window, Gtk::FileChooser::Action::SELECT_FOLDER, "Choose", "Cancel");
    folderChooser->set_current_folder(Gio::File::create_for_path(folder));
    folderChooser->signal_response().connect([this](int response) {
        if (response == Gtk::ResponseType::ACCEPT && folderChooser->get_file())
            setFolder(folderChooser->get_file()->get_path());
    });
    folderChooser->show();
}

std::string ExportDialog::destination() const {
    return (fs::path(folder) / std::string(nameEntry->get_text())).string();
}

void ExportDialog::exportMovie() {
    if (exporter.isRunning())
        return;
    std::string name = nameEntry->get_text();
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        showStatus("Type a name for the exported file; it cannot contain “/”.", true);
        nameEntry->grab_focus();
        return;
    }
    // A name without an extension gets the format's, so the file opens in the right player.
    if (!fs::path(name).has_extension()) {
        name += "." + std::string(ExportFormat::withId(selectedFormat()).extension);
        nameEntry->set_text(name);
    }
    std::error_code error;
    if (fs::is_directory(destination(), error)) {
        showStatus(inQuotes(name) + " is a folder. Type another name for the exported file.", true);
        return;
    }
    if (!fs::exists(destination(), error)) {
        begin();
        return;
    }
    AlertRequest request{"Replace " + inQuotes(name) + "?",
                         "A file with that name already exists in " + inQuotes(folder) +
                             ". It is replaced once the export has finished.",
                         {"Replace", "Cancel"},
                         {},
                         false};
    Alert::beginNumberedSheet(window, request, [this](int returnCode, bool) {
        if (returnCode == Alert::firstButtonReturn)
            begin();
    });
}

void ExportDialog::begin() {
    std::string error;
    if (!exporter.start(settings(), &error)) {
        showStatus(error, true);
        return;
    }
    setBusy(true);
    progressBar->set_fraction(0);
    progressBar->set_text("0%");
    showStatus(timeLeft(-1), false);
}

void ExportDialog::cancel() {
    if (exporter.isRunning()) {
        exporter.cancel();
        return;
    }
    window->hide();
}

void ExportDialog::setBusy(bool busy) {
    for (auto& [id, button] : formatButtons)
        button->set_sensitive(!busy && ExportFormat::withId(id).unavailableReason().empty());
    for (Gtk::Widget* control :
         std::initializer_list<Gtk::Widget*>{speedScale, nameEntry, folderButton, exportButton})
        control->set_sensitive(!busy);
    qualityChooser->set_sensitive(!busy &&
                                  ExportFormat::withId(selectedFormat()).hasQualitySetting());
    progressBar->set_visible(busy);
    cancelButton->set_label("Cancel");
}

void ExportDialog::showStatus(const std::string& text, bool isError) {
    statusLabel->set_text(text);
    statusLabel->set_visible(!text.empty());
    if (isError)
        statusLabel->add_css_class("error");
    else
        statusLabel->remove_css_class("error");
}

std::string ExportDialog::statusText() const {
    return statusLabel->get_text();
}

void ExportDialog::exportProgress(double fraction, double secondsLeft) {
    progressBar->set_fraction(fraction);
    progressBar->set_text(std::to_string(int(fraction * 100)) + "%");
    showStatus(timeLeft(secondsLeft), false);
}

void ExportDialog::exportDidEnd(ExportResult result, const std::string& detail) {
    setBusy(false);
    if (result == ExportResult::failed) {
        showStatus(detail, true);
        return;
    }
    if (result == ExportResult::cancelled) {
        showStatus("Export cancelled; nothing was saved.", false);
        return;
    }
    progressBar->set_visible(true);
    progressBar->set_fraction(1);
    progressBar->set_text("100%");
    showStatus("Saved " + inQuotes(detail) + " in " + inQuotes(fs::path(detail).parent_path()) +
                   ".",
               false);
    cancelButton->set_label("Close");
    exported.emit(detail);
}
