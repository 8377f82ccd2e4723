#pragma once

#include <libsoup/soup.h>
#include <string>

// The store's web pages under "/downloadStore/": the catalogue, search, the account pages, the
// login form handler that sets the "Login" cookie, log-off, the purchase page whose answer
// carries the "Download" header, and small pages with a pop-up window, a script alert and an
// inner frame. Purchases write their download description into the descriptions folder, where
// "/downloadStore/download.php" finds it.
class StorePages {
public:
    explicit StorePages(std::string descriptionsFolder);

    // Sets up the answer; returns its status code.
    int respond(SoupServerMessage* message);

    static constexpr const char* loginCookie = "Login";

private:
    struct Page {
        int status = SOUP_STATUS_OK;
        std::string title;
        std::string body;
        // Without the store's banner, for the small pop-up window.
        bool bare = false;
    };

    Page home(const std::string& user) const;
    Page search(SoupServerMessage* message, const std::string& user) const;
    Page login(SoupServerMessage* message, const std::string& user) const;
    Page account(const std::string& user) const;
    Page logoff(SoupServerMessage* message) const;
    Page buy(SoupServerMessage* message, const std::string& user);
    Page preview(SoupServerMessage* message) const;

    static std::string signedInUser(SoupServerMessage* message);
    static std::string layout(const Page& page, const std::string& user);
    int nextOrderNumber() const;

    std::string descriptionsFolder;
};
