#include "platform/ui/AccessibleName.h"

#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/menubutton.h>

void AccessibleName::set(Gtk::Widget& widget, const std::string& name) {
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget.gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   name.c_str(), -1);
}

void AccessibleName::silenceWhileEmpty(Gtk::Label& label) {
    auto follow = [&label] {
        gtk_accessible_update_state(GTK_ACCESSIBLE(label.gobj()), GTK_ACCESSIBLE_STATE_HIDDEN,
                                    label.get_text().empty(), -1);
    };
    follow();
    label.property_label().signal_changed().connect(follow);
}

void AccessibleName::silenceEmptyLabelsWithin(Gtk::Widget& widget) {
    for (Gtk::Widget* child = widget.get_first_child(); child; child = child->get_next_sibling()) {
        if (auto* label = dynamic_cast<Gtk::Label*>(child))
            silenceWhileEmpty(*label);
        silenceEmptyLabelsWithin(*child);
    }
}

void AccessibleName::hide(Gtk::Widget& widget) {
    gtk_accessible_update_state(GTK_ACCESSIBLE(widget.gobj()), GTK_ACCESSIBLE_STATE_HIDDEN, TRUE,
                                -1);
}

// An empty name of its own keeps the wrapper from being announced by its class.
void AccessibleName::nameFocusedPart(Gtk::Widget& composite, const std::string& name) {
    set(composite, "");
    Gtk::Widget* focused = composite.get_first_child();
    if (!focused)
        return;
    gtk_accessible_reset_relation(GTK_ACCESSIBLE(focused->gobj()),
                                  GTK_ACCESSIBLE_RELATION_LABELLED_BY);
    set(*focused, name);
}

void AccessibleName::nameMenuButtonsWithin(Gtk::Widget& widget) {
    for (Gtk::Widget* child = widget.get_first_child(); child; child = child->get_next_sibling()) {
        auto* button = dynamic_cast<Gtk::MenuButton*>(child);
        if (!button) {
            nameMenuButtonsWithin(*child);
            continue;
        }
        std::string name = button->get_tooltip_text();
        nameFocusedPart(*button, name.empty() ? std::string(button->get_label()) : name);
    }
}

void AccessibleName::nameByOwnLabel(Gtk::Button& button) {
    gtk_accessible_reset_relation(GTK_ACCESSIBLE(button.gobj()),
                                  GTK_ACCESSIBLE_RELATION_LABELLED_BY);
    set(button, button.get_label());
}
