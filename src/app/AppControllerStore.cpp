#include "app/AppController.h"

#include "app/FrlConstants.h"
#include "platform/Defaults.h"

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/progressbar.h>
#include <gtkmm/searchentry.h>
#include <gtkmm/togglebutton.h>

#include "drawing/StatusView.h"
#include "platform/movie/QTMovieView.h"
#include "player/FrlQTMovie.h"

namespace {

void setShopButtonState(Gtk::Button* shopButton, bool inShop) {
    if (auto* toggle = dynamic_cast<Gtk::ToggleButton*>(shopButton))
        toggle->set_active(inShop);
}

} // namespace

void AppController::setStoreControlsVisible(bool visible) {
    for (Gtk::Widget* control : std::initializer_list<Gtk::Widget*>{
             webView, backButton, forwardButton, homeButton, printButton, progressBar, storeStatus,
             searchStore, signInButton})
        control->set_visible(visible);
}

void AppController::setShopMode() {
    stopMovie();
    if (FrlQTMovie* movie = currentMovie(); movie && movie->rate() != 0.0f) {
        movie->setRate(0.0f);
        movieView->gotoBeginning();
        movie->removeAllMovieCallbacks();
    }
    movieView->hide();
    setStoreControlsVisible(true);
    // Placeholder: setLoginState, the store home page and the cookie checker land with the store
    // issue.
    iconButton->show();
    statusView->show();
    statusView->queue_draw();
    adjustFrameView(contentFrame());
    appMode = shopMode;
    setShopButtonState(shopButton, true);
    Defaults::standard().setBool(FrlsaveApplicationMode, true);
    Defaults::standard().setBool(FrlshowWelcomeSplash, false);
}

void AppController::setBrowseMode() {
    setStoreControlsVisible(false);
    movieView->show();
    iconButton->hide();
    statusView->hide();
    adjustFrameView(contentFrame());
    appMode = browseMode;
    setShopButtonState(shopButton, false);
    Defaults::standard().setBool(FrlsaveApplicationMode, false);
}

void AppController::shop(Gtk::Widget*) {
    if (appMode == shopMode)
        setBrowseMode();
    else
        setShopMode();
}
