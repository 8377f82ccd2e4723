#include "AppControllerFixture.h"
#include "StoreThread.h"

#include "download/DownloadController.h"
#include "download/DownloadDescription.h"
#include "platform/Defaults.h"
#include "platform/ui/ColumnBrowser.h"
#include "platform/ui/TableView.h"

#include <filesystem>
#include <fstream>

namespace {

class DeleteRecheckTest : public AppControllerFixture {
protected:
    void SetUp() override {
        AppControllerFixture::SetUp();
        store = std::make_unique<StoreThread>(root() + "/store");
        Defaults::standard().setString("storeCertificate", store->authorityPath());
        Defaults::standard().setBool("showWelcomeSplash", false);
    }
    void TearDown() override {
        controller.reset();
        spin();
        store.reset();
        AppControllerFixture::TearDown();
    }
    std::unique_ptr<StoreThread> store;
};

} // namespace

TEST_F(DeleteRecheckTest, ALessonWhoseTransferBeganWhileTheQuestionWasOpenIsKept) {
    std::ofstream(store->lessonsFolder() + "/Late.mov") << std::string(400000, 'L');
    FaultPlan slow;
    slow.bytesPerSecond = 100000;
    store->store().setFaults(slow);
    auto& app = start();
    app.toggleDownload(nullptr);
    auto& downloads = DownloadController::sharedInstance(&app);
    auto document = DownloadDescription::parse(
        "<D><Series><Episode><Instrument>B</Instrument><Category>C</Category><Sub-Category>S"
        "</Sub-Category><Filename>Late.mov</Filename><Artist>A</Artist><Level>L</Level><Link>" +
        store->lessonURL("Late.mov") + "</Link></Episode></Series></D>");
    downloads.queueDocument(document->document_element());
    app.refreshBrowserView(false);
    app.fsBrowser->setPath("/B/C/S");
    app.browserSingleClick(app.fsBrowser);
    app.resultsView->selectRow(0, false);
    std::string path = home() + "/Music/Fretlark/Purchases/B/C/S/Late.mov";
    Alert::setResponder([&](const AlertRequest& request) {
        alerts.push_back(request);
        if (alerts.size() == 1) {
            app.toggleDownload(nullptr);
            spinUntil([&] { return downloads.fileIsDownloading(path); });
        }
        return std::optional<AlertAnswer>(AlertAnswer{0, false});
    });
    app.deleteFile(nullptr);
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[1].buttons, std::vector<std::string>{"OK"});
    EXPECT_TRUE(std::filesystem::exists(path));
}
