#pragma once

#include <gtkmm/widget.h>
#include <vector>

// A row's container in the file list's status column: transparent, it keeps its children at
// their size and centres them in whatever rectangle the table gives it.
class SubView : public Gtk::Widget {
public:
    struct Frame {
        double x = 0;
        double y = 0;
        double width = 0;
        double height = 0;
    };

    SubView();
    // Leaves its parent; the children are not owned and stay with their owner.
    ~SubView() override;

    // Children added later lie above earlier ones.
    void addSubview(Gtk::Widget& child, const Frame& frame);
    void removeSubview(Gtk::Widget& child);
    // Applies the new frame and centres each child along every axis where there is room;
    // along an axis where there is none the child keeps its position.
    void setFrame(const Frame& frame);
    const Frame& frame() const { return ownFrame; }
    Frame frameOfSubview(const Gtk::Widget& child) const;

protected:
    Gtk::SizeRequestMode get_request_mode_vfunc() const override;
    void measure_vfunc(Gtk::Orientation orientation, int forSize, int& minimum, int& natural,
                       int& minimumBaseline, int& naturalBaseline) const override;
    void size_allocate_vfunc(int width, int height, int baseline) override;

private:
    struct Child {
        Gtk::Widget* widget;
        Frame frame;
    };

    Frame ownFrame{0, 0, 16, 16};
    std::vector<Child> children;
};
