#include "platform/ui/Alert.h"

#include "platform/ui/AccessibleName.h"

#include <glibmm/main.h>
#include <gtkmm/application.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/messagedialog.h>
#include <memory>

namespace {

Alert::Responder& responder() {
    static Alert::Responder installed;
    return installed;
}

Gtk::Window* activeWindow() {
    auto application = Gtk::Application::get_default();
    auto* app = dynamic_cast<Gtk::Application*>(application.get());
    return app ? app->get_active_window() : nullptr;
}

struct OpenAlert {
    std::unique_ptr<Gtk::MessageDialog> dialog;
    std::unique_ptr<Gtk::CheckButton> checkbox;
    std::function<void(const AlertAnswer&)> done;
    // What closing without a button (a negative response) answers.
    int closedButton = 0;
    bool finished = false;
};

void finish(const std::shared_ptr<OpenAlert>& open, int button) {
    if (open->finished)
        return;
    if (button < 0)
        button = open->closedButton;
    open->finished = true;
    AlertAnswer answer{button, open->checkbox && open->checkbox->get_active()};
    open->dialog->hide();
    auto done = std::move(open->done);
    // The dialog goes once its own signal handler has returned.
    Glib::signal_idle().connect_once([open] { open->dialog.reset(); });
    done(answer);
}

void offerToResponder(const std::shared_ptr<OpenAlert>& open, const AlertRequest& request) {
    if (!responder())
        return;
    Glib::signal_idle().connect_once([open, request] {
        if (open->finished || !responder())
            return;
        auto answer = responder()(request);
        if (!answer)
            return;
        if (open->checkbox)
            open->checkbox->set_active(answer->checkbox);
        finish(open, answer->button);
    });
}

} // namespace

int Alert::panelCode(int buttonIndex) {
    if (buttonIndex == 0)
        return defaultReturn;
    return buttonIndex == 1 ? alternateReturn : otherReturn;
}

void Alert::setResponder(Responder installed) {
    responder() = std::move(installed);
}

void Alert::present(Gtk::Window* parent, const AlertRequest& request, bool modalToApp,
                    std::function<void(const AlertAnswer&)> done) {
    auto open = std::make_shared<OpenAlert>();
    open->done = std::move(done);
    auto type = request.informational ? Gtk::MessageType::INFO : Gtk::MessageType::WARNING;
    open->dialog = std::make_unique<Gtk::MessageDialog>(request.title, false, type,
                                                        Gtk::ButtonsType::NONE, true);
    open->dialog->set_secondary_text(request.message);
    open->dialog->set_title(request.title);
    if (parent)
        open->dialog->set_transient_for(*parent);
    open->dialog->set_modal(modalToApp || parent);
    std::vector<std::string> buttons = request.buttons;
    if (buttons.empty())
        buttons.push_back("OK");
    for (std::size_t i = 0; i < buttons.size(); ++i)
        AccessibleName::nameByOwnLabel(*open->dialog->add_button(buttons[i], static_cast<int>(i)));
    open->dialog->set_default_response(0);
    if (!request.checkboxLabel.empty()) {
        open->checkbox = std::make_unique<Gtk::CheckButton>(request.checkboxLabel);
        open->dialog->get_message_area()->append(*open->checkbox);
    }
    // Closing the alert without a button (Escape, the window's close) answers the last button,
    // unless the request says closing cancels.
    open->closedButton = static_cast<int>(buttons.size()) - (request.closingCancels ? 0 : 1);
    // The handler holds the alert alive while it is on screen; finish() lets it go.
    open->dialog->signal_response().connect([open](int response) { finish(open, response); });
    open->dialog->present();
    offerToResponder(open, request);
}

int Alert::runAlertPanel(const std::string& title, const std::string& message,
                         const std::string& defaultButton, const std::string& alternateButton,
                         const std::string& otherButton) {
    AlertRequest request{title, message, {defaultButton}, {}, false};
    if (!alternateButton.empty())
        request.buttons.push_back(alternateButton);
    if (!otherButton.empty())
        request.buttons.push_back(otherButton);
    auto loop = Glib::MainLoop::create();
    int result = defaultReturn;
    present(activeWindow(), request, true, [&result, loop](const AlertAnswer& answer) {
        result = panelCode(answer.button);
        loop->quit();
    });
    loop->run();
    return result;
}

AlertAnswer Alert::runAlert(const AlertRequest& request) {
    auto loop = Glib::MainLoop::create();
    AlertAnswer result;
    present(activeWindow(), request, true, [&result, loop](const AlertAnswer& answer) {
        result = answer;
        loop->quit();
    });
    loop->run();
    return result;
}

void Alert::beginAlertSheet(Gtk::Window* window, const AlertRequest& request,
                            std::function<void(int)> didEnd) {
    present(window, request, false, [didEnd = std::move(didEnd)](const AlertAnswer& answer) {
        if (didEnd)
            didEnd(panelCode(answer.button));
    });
}

void Alert::beginNumberedSheet(Gtk::Window* window, const AlertRequest& request,
                               std::function<void(int, bool)> didEnd) {
    present(window, request, false, [didEnd = std::move(didEnd)](const AlertAnswer& answer) {
        if (didEnd)
            didEnd(firstButtonReturn + answer.button, answer.checkbox);
    });
}
