#include "platform/Workspace.h"

#include <gio/gio.h>

bool Workspace::openURL(const std::string& url) {
    GError* error = nullptr;
    gboolean launched = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error);
    if (error)
        g_error_free(error);
    return launched;
}
