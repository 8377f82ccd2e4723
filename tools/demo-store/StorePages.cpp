#include "StorePages.h"

#include "Catalogue.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

namespace {

using GString = std::unique_ptr<char, decltype(&g_free)>;

const char* const storePrefix = "/downloadStore";
const char* const loginAction = "process";

const char* const styleSheet = R"(
body { font: 15px/1.45 "DejaVu Sans", sans-serif; margin: 0; color: #222; background: #f6f4ef; }
header { background: #2d3a4a; color: #fff; padding: 12px 24px; display: flex; flex-wrap: wrap;
         align-items: center; row-gap: 6px; }
header h1 { font-size: 18px; margin: 0; flex: 1; white-space: nowrap; }
header a { color: #cfe0f5; margin-left: 16px; text-decoration: none; white-space: nowrap; }
main { padding: 16px 24px; }
.user { color: #cfe0f5; font-size: 13px; flex-basis: 100%; }
.lessons { display: flex; flex-wrap: wrap; gap: 16px; }
.lesson { background: #fff; border: 1px solid #ddd6c8; border-radius: 6px; padding: 12px 16px;
          width: 210px; }
.lesson h3 { margin: 0 0 4px; }
.meta { color: #666; font-size: 13px; }
.price { font-weight: bold; margin: 8px 0; }
button, input[type=submit] { font: inherit; padding: 4px 14px; border-radius: 4px;
          border: 1px solid #8a9bb0; background: #e8eef6; cursor: pointer; }
input[type=submit].buy { background: #2f7d32; color: #fff; border-color: #2f7d32; }
.note { color: #666; font-size: 13px; }
.error { color: #a11; font-weight: bold; }
form.account label { display: block; margin-top: 8px; }
)";

std::string html(const std::string& text) {
    GString escaped(g_markup_escape_text(text.c_str(), -1), g_free);
    return escaped.get();
}

std::string cookieValue(const std::string& text) {
    GString escaped(g_uri_escape_string(text.c_str(), nullptr, FALSE), g_free);
    return escaped.get();
}

std::string unescaped(const std::string& text) {
    GString plain(g_uri_unescape_string(text.c_str(), nullptr), g_free);
    return plain ? plain.get() : std::string();
}

// The search text as the program escapes it: Mac OS Roman bytes, or UTF-8 for what that cannot
// hold. Shown as UTF-8 whichever arrived.
std::string readableText(const std::string& bytes) {
    if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr))
        return bytes;
    GString converted(g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                "MACINTOSH", nullptr, nullptr, nullptr),
                      g_free);
    if (converted)
        return converted.get();
    GString valid(g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size())), g_free);
    return valid.get();
}

std::map<std::string, std::string> formFields(const char* encoded) {
    std::map<std::string, std::string> fields;
    if (!encoded)
        return fields;
    GHashTable* table = soup_form_decode(encoded);
    GHashTableIter iterator;
    gpointer key = nullptr, value = nullptr;
    g_hash_table_iter_init(&iterator, table);
    while (g_hash_table_iter_next(&iterator, &key, &value))
        fields.emplace(static_cast<const char*>(key), static_cast<const char*>(value));
    g_hash_table_unref(table);
    return fields;
}

std::map<std::string, std::string> queryFields(SoupServerMessage* message) {
    return formFields(g_uri_get_query(soup_server_message_get_uri(message)));
}

std::map<std::string, std::string> bodyFields(SoupServerMessage* message) {
    SoupMessageBody* body = soup_server_message_get_request_body(message);
    GBytes* bytes = soup_message_body_flatten(body);
    gsize size = 0;
    const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string text(data ? data : "", size);
    g_bytes_unref(bytes);
    return formFields(text.c_str());
}

std::string field(const std::map<std::string, std::string>& fields, const std::string& name) {
    auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

std::string requestHost(SoupServerMessage* message) {
    const char* host = g_uri_get_host(soup_server_message_get_uri(message));
    return host ? host : "127.0.0.1";
}

void setLoginCookie(SoupServerMessage* message, const std::string& value, int maxAge) {
    SoupCookie* cookie = soup_cookie_new(StorePages::loginCookie, value.c_str(),
                                         requestHost(message).c_str(), "/", maxAge);
    soup_cookie_set_secure(cookie, TRUE);
    soup_cookie_set_same_site_policy(cookie, SOUP_SAME_SITE_POLICY_LAX);
    GString header(soup_cookie_to_set_cookie_header(cookie), g_free);
    soup_message_headers_append(soup_server_message_get_response_headers(message), "Set-Cookie",
                                header.get());
    soup_cookie_free(cookie);
}

std::string lessonCard(const CatalogueLesson& lesson, const std::string& user) {
    std::string id = std::to_string(lesson.id);
    std::string card = "<div class=\"lesson\"><h3>" + html(lesson.title) +
                       "</h3><div class=\"meta\">" + html(lesson.artist) + " &middot; " +
                       html(lesson.instrument) + " &middot; " + html(lesson.level) + "</div><p>" +
                       html(lesson.blurb) + "</p><div class=\"price\">" + html(lesson.price) +
                       "</div>";
    card += "<button onclick=\"window.open('preview.php?product=" + id +
            "', 'preview', 'width=150,height=150'); return false;\">Preview</button> ";
    if (user.empty())
        return card + "<span class=\"note\">Sign in to buy</span></div>";
    return card +
           "<form method=\"post\" action=\"buy.php\" style=\"display:inline\">"
           "<input type=\"hidden\" name=\"product\" value=\"" +
           id + "\"><input type=\"submit\" class=\"buy\" value=\"Buy\" aria-label=\"Buy " +
           html(lesson.title) + "\"></form></div>";
}

std::string lessonList(const std::vector<const CatalogueLesson*>& lessons,
                       const std::string& user) {
    std::string list = "<div class=\"lessons\">";
    for (const auto* lesson : lessons)
        list += lessonCard(*lesson, user);
    return list + "</div>";
}

std::string loginForm() {
    return "<form class=\"account\" method=\"post\" action=\"login.php?action=process\">"
           "<label>E-mail Address <input name=\"email_address\" type=\"email\"></label>"
           "<label>Password <input name=\"password\" type=\"password\"></label>"
           "<p><input type=\"submit\" value=\"Sign In\"></p></form>"
           "<p class=\"note\"><a href=\"password_forgotten.php\">Forgot your password?</a> "
           "&middot; <a href=\"create_account.php\">Create an account</a></p>";
}

} // namespace

StorePages::StorePages(std::string descriptions) : descriptionsFolder(std::move(descriptions)) {}

std::string StorePages::signedInUser(SoupServerMessage* message) {
    std::string user;
    const char* header =
        soup_message_headers_get_list(soup_server_message_get_request_headers(message), "Cookie");
    if (header) {
        GHashTable* cookies = soup_header_parse_semi_param_list(header);
        auto* value = static_cast<const char*>(g_hash_table_lookup(cookies, loginCookie));
        user = value ? unescaped(value) : "";
        soup_header_free_param_list(cookies);
    }
    return Catalogue::isCustomer(user) ? user : std::string();
}

std::string StorePages::layout(const Page& page, const std::string& user) {
    std::string head = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
                       html(page.title) + "</title><style>" + styleSheet + "</style></head>";
    if (page.bare)
        return head + "<body><main>" + page.body + "</main></body></html>\n";
    std::string who = user.empty() ? "Not signed in" : "Signed in as " + html(user);
    return head +
           "<body><header><h1>Fretlark Download Store</h1>"
           "<a href=\"/downloadStore/\">Lessons</a><a href=\"/downloadStore/account.php\">My "
           "Account</a><a href=\"/downloadStore/about.php\">About</a><span class=\"user\">" +
           who + "</span></header><main><h2>" + html(page.title) + "</h2>" + page.body +
           "</main></body></html>\n";
}

int StorePages::respond(SoupServerMessage* message) {
    std::string path = g_uri_get_path(soup_server_message_get_uri(message));
    std::string name = path.substr(std::min(path.size(), std::string(storePrefix).size()));
    std::string user = signedInUser(message);
    Page page;
    if (name.empty() || name == "/" || name == "/index.php")
        page = home(user);
    else if (name == "/advanced_search_result.php")
        page = search(message, user);
    else if (name == "/login.php")
        page = login(message, user);
    else if (name == "/account.php")
        page = account(user);
    else if (name == "/logoff.php")
        page = logoff(message);
    else if (name == "/buy.php")
        page = buy(message, user);
    else if (name == "/preview.php")
        page = preview(message);
    else if (name == "/create_account.php")
        page = {SOUP_STATUS_OK, "Create Account",
                "<p>New accounts cannot be opened in the demo store. Sign in with one of the "
                "demo accounts listed in Fretlark's README instead.</p>"};
    else if (name == "/password_forgotten.php")
        page = {SOUP_STATUS_OK, "Password Forgotten",
                "<p>The demo accounts and their passwords are listed in Fretlark's README.</p>"};
    else if (name == "/popup.php")
        page = {SOUP_STATUS_OK, "Pop-up Window",
                "<script>window.addEventListener('load', () => window.open("
                "'preview.php?product=1', 'preview', 'width=150,height=150'));</script><p>A "
                "preview of Slap Basics opens in a small "
                "window.</p><p><a href=\"terms.php\" target=\"_blank\">Terms of Sale</a></p>"};
    else if (name == "/alert.php")
        page = {SOUP_STATUS_OK, "Store Notice",
                "<script>alert('Store Notice\\tLessons bought today download at full "
                "speed.');</script><p>Enjoy your lessons.</p>"};
    else if (name == "/about.php")
        page = {SOUP_STATUS_OK, "About the Store",
                "<p>Video lessons by the teachers of Strumwell and Jamcroft.</p>"
                "<iframe src=\"news.php\" width=\"400\" height=\"120\"></iframe>"};
    else if (name == "/news.php")
        page = {SOUP_STATUS_OK, "Store News", "<p>New this month: Travis Picking.</p>"};
    else if (name == "/terms.php")
        page = {SOUP_STATUS_OK, "Terms of Sale", "<p>Lessons are yours to keep.</p>"};
    else
        page = {SOUP_STATUS_NOT_FOUND, "Page Not Found",
                "<p>There is no such page in the store.</p>"};
    if (page.status == SOUP_STATUS_SEE_OTHER)
        return page.status;
    std::string document = layout(page, user);
    soup_server_message_set_status(message, page.status, nullptr);
    soup_server_message_set_response(message, "text/html; charset=utf-8", SOUP_MEMORY_COPY,
                                     document.data(), document.size());
    return page.status;
}

StorePages::Page StorePages::home(const std::string& user) const {
    std::string intro = user.empty() ? "<p class=\"note\">Sign in to buy lessons.</p>"
                                     : "<p>Welcome back, " + html(user) + ".</p>";
    return {SOUP_STATUS_OK, "Lessons", intro + lessonList(Catalogue::search(""), user)};
}

StorePages::Page StorePages::search(SoupServerMessage* message, const std::string& user) const {
    // Everything after "keywords=" is the search text, ampersands included.
    const char* rawQuery = g_uri_get_query(soup_server_message_get_uri(message));
    std::string query = rawQuery ? rawQuery : "";
    std::string key = "keywords=";
    std::string keywords =
        query.rfind(key, 0) == 0 ? readableText(unescaped(query.substr(key.size()))) : "";
    auto found = Catalogue::search(keywords);
    std::string body = "<p>You searched for <b id=\"keywords\">" + html(keywords) + "</b>.</p>";
    if (found.empty())
        return {SOUP_STATUS_OK, "Search Results", body + "<p>No lessons match.</p>"};
    return {SOUP_STATUS_OK, "Search Results", body + lessonList(found, user)};
}

StorePages::Page StorePages::login(SoupServerMessage* message, const std::string& user) const {
    bool posted = std::string(soup_server_message_get_method(message)) == "POST" &&
                  field(queryFields(message), "action") == loginAction;
    if (!posted)
        return {SOUP_STATUS_OK, "Sign In",
                user.empty() ? loginForm() : "<p>You are signed in as " + html(user) + ".</p>"};
    auto fields = bodyFields(message);
    auto customer = Catalogue::account(field(fields, "email_address"), field(fields, "password"));
    if (!customer)
        return {SOUP_STATUS_OK, "Sign In",
                "<p class=\"error\">The e-mail address or password is not correct.</p>" +
                    loginForm()};
    setLoginCookie(message, cookieValue(customer->userName), -1);
    soup_server_message_set_redirect(message, SOUP_STATUS_SEE_OTHER, "/downloadStore/account.php");
    return {SOUP_STATUS_SEE_OTHER, {}, {}};
}

StorePages::Page StorePages::account(const std::string& user) const {
    if (user.empty())
        return {SOUP_STATUS_OK, "My Account", "<p>You are not signed in.</p>" + loginForm()};
    return {SOUP_STATUS_OK, "My Account",
            "<p id=\"customer\">Signed in as " + html(user) +
                ".</p><p><a href=\"/downloadStore/\">Browse the lessons</a></p>"};
}

StorePages::Page StorePages::logoff(SoupServerMessage* message) const {
    setLoginCookie(message, "", 0);
    return {SOUP_STATUS_OK, "Signed Off", "<p>You are signed off. Come back soon.</p>"};
}

int StorePages::nextOrderNumber() const {
    int number = 1;
    std::error_code error;
    while (std::filesystem::exists(descriptionsFolder + "/order=" + std::to_string(number) + ".xml",
                                   error))
        ++number;
    return number;
}

StorePages::Page StorePages::buy(SoupServerMessage* message, const std::string& user) {
    auto fields = bodyFields(message);
    if (fields.empty())
        fields = queryFields(message);
    const CatalogueLesson* lesson = Catalogue::lesson(std::atoi(field(fields, "product").c_str()));
    if (user.empty())
        return {SOUP_STATUS_OK, "Sign In Required",
                "<p>Please sign in before you buy a lesson.</p>" + loginForm()};
    if (!lesson)
        return {SOUP_STATUS_NOT_FOUND, "Page Not Found", "<p>There is no such lesson.</p>"};
    std::string order = "order=" + std::to_string(nextOrderNumber());
    std::filesystem::create_directories(descriptionsFolder);
    std::ofstream(descriptionsFolder + "/" + order + ".xml") << Catalogue::description(*lesson);
    // Header names are not case-sensitive; the program must find this one among look-alikes.
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
    soup_message_headers_append(headers, "X-Download-Note", "starts in Fretlark");
    soup_message_headers_append(headers, "download", order.c_str());
    return {SOUP_STATUS_OK, "Thank You",
            "<p>Thank you for buying <b>" + html(lesson->title) +
                "</b>. Fretlark downloads it into your library now.</p><p class=\"note\">Your "
                "order: " +
                html(order) + "</p>"};
}

StorePages::Page StorePages::preview(SoupServerMessage* message) const {
    const CatalogueLesson* lesson =
        Catalogue::lesson(std::atoi(field(queryFields(message), "product").c_str()));
    if (!lesson)
        return {SOUP_STATUS_NOT_FOUND, "Page Not Found", "<p>There is no such lesson.</p>"};
    return {SOUP_STATUS_OK, "Preview: " + lesson->title,
            "<b>" + html(lesson->title) + "</b><p class=\"note\">" + html(lesson->blurb) + "</p>",
            true};
}
