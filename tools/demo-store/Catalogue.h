#pragma once

#include <optional>
#include <string>
#include <vector>

// One lesson for sale: where it goes in the buyer's library and the files that make it up.
struct CatalogueLesson {
    int id = 0;
    std::string title;
    std::string artist;
    std::string instrument;
    std::string category;
    std::string subCategory;
    std::string level;
    std::string price;
    std::string blurb;
    std::vector<std::string> files;
};

// A customer of the demo store. The user name is what the "Login" cookie carries.
struct DemoAccount {
    std::string email;
    std::string password;
    std::string userName;
};

// What the demo store sells and to whom: a fixed list, the same in every run, so the demo and the
// tests know the names in advance.
class Catalogue {
public:
    static const std::vector<CatalogueLesson>& lessons();
    static const CatalogueLesson* lesson(int id);
    // Lessons whose title, artist, instrument or level holds any of the words, ignoring case;
    // every lesson for empty keywords.
    static std::vector<const CatalogueLesson*> search(const std::string& keywords);

    static const std::vector<DemoAccount>& accounts();
    static std::optional<DemoAccount> account(const std::string& email,
                                              const std::string& password);
    static bool isCustomer(const std::string& userName);

    // The download description of one lesson; "{{base}}" stands for the store's address.
    static std::string description(const CatalogueLesson& lesson);
};
