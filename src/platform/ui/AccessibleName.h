#pragma once

#include <string>

namespace Gtk {
class Button;
class Label;
class Widget;
} // namespace Gtk

// What a screen reader announces for a control: one meaningful name, never the name of a widget
// class (GTK's last resort for an object without a name), never the same name twice.
class AccessibleName {
public:
    static void set(Gtk::Widget& widget, const std::string& name);
    // A label without text is left out of the accessibility tree, and comes back with its text.
    static void silenceWhileEmpty(Gtk::Label& label);
    // Every label inside the widget (headers, for example) as silenceWhileEmpty.
    static void silenceEmptyLabelsWithin(Gtk::Widget& widget);
    // A picture that only decorates its button.
    static void hide(Gtk::Widget& widget);
    // Menu and volume buttons wrap the button that takes the focus; that one alone is named.
    static void nameFocusedPart(Gtk::Widget& composite, const std::string& name);
    // Every menu button inside the widget as nameFocusedPart, by its tooltip or else its label.
    static void nameMenuButtonsWithin(Gtk::Widget& widget);
    // A button named by its label both directly and through a relation is announced twice.
    static void nameByOwnLabel(Gtk::Button& button);
};
