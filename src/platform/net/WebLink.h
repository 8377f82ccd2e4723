#pragma once

#include <glib.h>
#include <string>

// The one test of whether a link can be fetched: an absolute http or https URL with a host, as
// the HTTP library parses it. Whatever stores a link for a later transfer checks it here, so a
// link that was accepted never fails for its form alone. Header-only: the description parser's
// fuzzer links no network code.
class WebLink {
public:
    // The parsing flags of the HTTP library: a link keeps its own percent-encoding.
    static constexpr GUriFlags parseFlags =
        GUriFlags(G_URI_FLAGS_HAS_PASSWORD | G_URI_FLAGS_ENCODED_PATH | G_URI_FLAGS_ENCODED_QUERY |
                  G_URI_FLAGS_ENCODED_FRAGMENT | G_URI_FLAGS_SCHEME_NORMALIZE);

    // Nothing (null) unless the link is acceptable; the caller unrefs what it gets.
    static GUri* parse(const std::string& link) {
        GUri* uri = g_uri_parse(link.c_str(), parseFlags, nullptr);
        if (uri && isWeb(uri))
            return uri;
        if (uri)
            g_uri_unref(uri);
        return nullptr;
    }

    static bool isAcceptable(const std::string& link) {
        GUri* uri = parse(link);
        if (!uri)
            return false;
        g_uri_unref(uri);
        return true;
    }

private:
    static bool isWeb(GUri* uri) {
        const char* scheme = g_uri_get_scheme(uri);
        const char* host = g_uri_get_host(uri);
        return scheme && host && *host &&
               (g_ascii_strcasecmp(scheme, "http") == 0 ||
                g_ascii_strcasecmp(scheme, "https") == 0);
    }
};
