#include "practice/SectionList.h"

#include <cstdio>
#include <gtkmm/editablelabel.h>

namespace {

std::string minutesAndSeconds(std::int64_t nanoseconds) {
    auto tenths = nanoseconds / 100'000'000;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                  static_cast<long long>(tenths / 10 % 60), static_cast<long long>(tenths % 10));
    return text;
}

} // namespace

SectionList::SectionList(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>&)
    : Gtk::Box(cobject) {
    set_orientation(Gtk::Orientation::VERTICAL);
    set_spacing(6);
    list.set_selection_mode(Gtk::SelectionMode::SINGLE);
    list.set_activate_on_single_click(true);
    list.set_placeholder(empty);
    list.signal_row_selected().connect([this](Gtk::ListBoxRow* row) {
        if (row && !filling)
            picked.emit(row->get_index());
    });
    empty.set_wrap(true);
    empty.set_max_width_chars(28);
    empty.set_margin(12);
    empty.add_css_class("dim-label");
    scroller.set_child(list);
    scroller.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    scroller.set_propagate_natural_height(true);
    scroller.set_max_content_height(260);
    scroller.set_min_content_width(280);
    scroller.add_css_class("frame");
    addButton.signal_clicked().connect([this] { added.emit(); });
    append(scroller);
    append(addButton);
}

void SectionList::setSections(const std::vector<PracticeSection>& sections, int current) {
    filling = true;
    while (Gtk::Widget* row = list.get_row_at_index(0))
        list.remove(*row);
    names.clear();
    for (std::size_t index = 0; index < sections.size(); ++index) {
        names.push_back(sections[index].name);
        list.append(*makeRow(sections[index], static_cast<int>(index)));
    }
    if (Gtk::ListBoxRow* row = list.get_row_at_index(current))
        list.select_row(*row);
    filling = false;
}

// A row: the name (edited in place), the times from A to B and a delete button.
Gtk::Widget* SectionList::makeRow(const PracticeSection& section, int index) {
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    row->set_margin(4);
    auto* name = Gtk::make_managed<Gtk::EditableLabel>(section.name);
    name->set_hexpand(true);
    name->property_editing().signal_changed().connect([this, name, index] {
        std::string text = name->get_text();
        if (name->get_editing() || text == names[static_cast<std::size_t>(index)])
            return;
        names[static_cast<std::size_t>(index)] = text;
        renamed.emit(index, text);
    });
    auto* times = Gtk::make_managed<Gtk::Label>(minutesAndSeconds(section.startNs) + " – " +
                                                minutesAndSeconds(section.endNs));
    times->add_css_class("dim-label");
    times->add_css_class("numeric");
    auto* remove = Gtk::make_managed<Gtk::Button>();
    remove->set_icon_name("user-trash-symbolic");
    remove->set_has_frame(false);
    remove->set_tooltip_text("Delete Section");
    remove->signal_clicked().connect([this, index] { removed.emit(index); });
    row->append(*name);
    row->append(*times);
    row->append(*remove);
    return row;
}
