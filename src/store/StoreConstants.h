#pragma once

// The store's addresses: each is a path and query on the store host, made into an https address
// by StoreHost::url ("storeHost" names the host). And the store's other fixed texts.

// The home page: first entry into the store, reloadForm, goHome; its cookies hold the login.
inline constexpr const char* FrldownloadHomeURL = "/downloadStore/";
// Target of the sign-in form post.
inline constexpr const char* FrlloginURL = "/downloadStore/login.php?action=process";
inline constexpr const char* FrllogoffURL = "/downloadStore/logoff.php";
inline constexpr const char* FrlcreateAccountURL = "/downloadStore/create_account.php";
inline constexpr const char* FrlforgotPasswordURL = "/downloadStore/password_forgotten.php";
// "=" and the escaped search text follow.
inline constexpr const char* FrlsearchURL = "/downloadStore/advanced_search_result.php?keywords";
// The download description of a purchase; the query from the "Download" header follows.
inline constexpr const char* FrldownloadXMLURL = "/downloadStore/download.php?";
// The short version follows.
inline constexpr const char* FrlupdatesURL = "/mac-updates.php?version=";
inline constexpr const char* FrlsupportURL = "/support.php";

// The defaults key of the e-mail address last used to sign in.
inline constexpr const char* FrlsaveUserNameDownloadStore = "saveUserNameDownloadStore";

// The application name the store view adds to the web engine's user agent; "%@" is the short
// version.
inline constexpr const char* FrluserAgentString = "Fretlark/%@";
