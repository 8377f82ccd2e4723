#include "rowviews/SubviewController.h"

namespace {

constexpr SubView::Frame rowViewFrame{0, 0, 16, 16};

} // namespace

std::unique_ptr<SubviewController> SubviewController::controller() {
    return std::make_unique<SubviewController>();
}

// The indicator goes in first and the image second, so the image lies above it.
SubviewController::SubviewController()
    : subview(std::make_unique<SubView>()), image(std::make_unique<ImageView>()),
      progressIndicator(std::make_unique<Gtk::Spinner>()) {
    progressIndicator->set_size_request(16, 16);
    progressIndicator->set_visible(false);
    subview->addSubview(*progressIndicator, rowViewFrame);
    subview->addSubview(*image, rowViewFrame);
    image->set_visible(true);
    image->queue_draw();
}

SubviewController::~SubviewController() {
    subview->removeSubview(*image);
    image.reset();
    progressIndicator->stop();
    subview->removeSubview(*progressIndicator);
    progressIndicator.reset();
    subview.reset();
}

void SubviewController::setFileName(const std::string& path) {
    image->setFileName(path);
}

void SubviewController::stopIndicator() {
    isAnimating = false;
    progressIndicator->stop();
    progressIndicator->set_visible(false);
}

void SubviewController::showImage() {
    image->set_visible(true);
    image->queue_draw();
}

void SubviewController::turnOnAnimation() {
    if (isAnimating)
        return;
    isAnimating = true;
    image->setPartial(false);
    image->set_visible(false);
    progressIndicator->set_visible(true);
    progressIndicator->start();
}

void SubviewController::turnOffAnimation() {
    if (!isAnimating)
        return;
    stopIndicator();
    image->setPartial(false);
    showImage();
}

void SubviewController::setPartial() {
    if (isAnimating)
        stopIndicator();
    image->setPartial(true);
    showImage();
}

void SubviewController::toggleAnimation() {
    if (isAnimating) {
        stopIndicator();
        showImage();
        return;
    }
    isAnimating = true;
    image->set_visible(false);
    progressIndicator->set_visible(true);
    progressIndicator->start();
}
