#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Gtk {
class Window;
}

// What an alert shows: its texts exactly as given, its buttons in order (the first is the default)
// and an optional check box.
struct AlertRequest {
    std::string title;
    std::string message;
    std::vector<std::string> buttons;
    std::string checkboxLabel;
    bool informational = false;
    // Escape or the window's close answers no button (the index past the last) instead of the
    // last button: for a warning whose one button goes ahead.
    bool closingCancels = false;
};

// The answer: which button (index into AlertRequest::buttons) and the check box's state.
struct AlertAnswer {
    int button = 0;
    bool checkbox = false;
};

// Alert panels (application-modal, the caller waits in a nested main loop) and sheets (modal to
// their window, ending in a completion callback).
class Alert {
public:
    // Panel return codes: default button 1, alternate 0, other -1.
    static constexpr int defaultReturn = 1;
    static constexpr int alternateReturn = 0;
    static constexpr int otherReturn = -1;
    // Sheets with explicit buttons answer 1000 for the first button, 1001 for the second...
    static constexpr int firstButtonReturn = 1000;

    static int runAlertPanel(const std::string& title, const std::string& message,
                             const std::string& defaultButton,
                             const std::string& alternateButton = "",
                             const std::string& otherButton = "");
    // An application-modal alert with the request's buttons and check box; waits for the answer.
    static AlertAnswer runAlert(const AlertRequest& request);
    // A default/alternate/other sheet; the completion receives the panel return codes.
    static void beginAlertSheet(Gtk::Window* window, const AlertRequest& request,
                                std::function<void(int)> didEnd);
    // A sheet with numbered buttons (1000, 1001, ...) and an optional check box.
    static void beginNumberedSheet(Gtk::Window* window, const AlertRequest& request,
                                   std::function<void(int, bool)> didEnd);

    static int panelCode(int buttonIndex);

    // Tests answer alerts through a responder: it sees each alert once it is on screen and picks
    // the button to press. Without a responder the user answers.
    using Responder = std::function<std::optional<AlertAnswer>(const AlertRequest&)>;
    static void setResponder(Responder responder);

private:
    static void present(Gtk::Window* parent, const AlertRequest& request, bool modalToApp,
                        std::function<void(const AlertAnswer&)> done);
};
