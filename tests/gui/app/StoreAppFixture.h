#pragma once

#include "AppControllerFixture.h"
#include "StoreThread.h"

#include "platform/Defaults.h"

#include <memory>
#include <string>
#include <vector>

// The real controller with the demo store serving on 127.0.0.1 as its store, past the Welcome
// picture. Programs using it link fretlark_download_test_support too.
class StoreAppFixture : public AppControllerFixture {
protected:
    void SetUp() override {
        AppControllerFixture::SetUp();
        store = std::make_unique<StoreThread>(root() + "/store");
        auto& defaults = Defaults::standard();
        defaults.setString("storeCertificate", store->authorityPath());
        defaults.setString("storeHost", "127.0.0.1:" + std::to_string(store->store().port()));
        defaults.setBool("showWelcomeSplash", false);
    }
    void TearDown() override {
        controller.reset();
        spin();
        store.reset();
        AppControllerFixture::TearDown();
    }

    std::string purchases() const { return home() + "/Music/Fretlark/Purchases"; }
    std::string workFolder() const { return home() + "/.cache/FretlarkDownloads/download"; }

    // One Series of Bass walking-line lessons from the demo store; padding goes into a comment.
    std::string description(const std::vector<std::string>& names,
                            const std::string& padding = {}) const {
        std::string xml = "<Download><!--" + padding + "--><Series>";
        for (const auto& name : names)
            xml += "<Episode><Instrument>Bass</Instrument><Category>Grooves</Category>"
                   "<Sub-Category>Walking</Sub-Category><Filename>" +
                   name + "</Filename><Artist>Theo</Artist><Level>Beginner</Level><Link>" +
                   store->lessonURL(name) + "</Link></Episode>";
        return xml + "</Series></Download>";
    }
    // What the store answers to the hand-off query.
    void publishDescription(const std::string& query, const std::vector<std::string>& names,
                            const std::string& padding = {}) {
        writeFile(store->descriptionsFolder() + "/" + query + ".xml", description(names, padding));
    }

    std::unique_ptr<StoreThread> store;
};
