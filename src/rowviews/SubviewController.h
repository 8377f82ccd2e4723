#pragma once

#include "rowviews/ImageView.h"
#include "rowviews/SubView.h"

#include <gtkmm/spinner.h>
#include <memory>
#include <string>

// One file-list row's status view and its three looks: the file-type icon, the partial-download
// emblem, or a spinning indicator while the file downloads. The file list decides the look from
// what the download engine says and passes it in.
class SubviewController {
public:
    static std::unique_ptr<SubviewController> controller();
    SubviewController();
    ~SubviewController();
    SubviewController(const SubviewController&) = delete;
    SubviewController& operator=(const SubviewController&) = delete;

    // The container the table shows in the row's status cell.
    SubView* view() const { return subview.get(); }
    void setFileName(const std::string& path);

    void turnOnAnimation();
    void turnOffAnimation();
    void setPartial();
    void toggleAnimation();

private:
    void stopIndicator();
    void showImage();

    std::unique_ptr<SubView> subview;
    std::unique_ptr<ImageView> image;
    std::unique_ptr<Gtk::Spinner> progressIndicator;
    bool isAnimating = false;
};
