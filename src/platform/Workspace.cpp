#include "platform/Workspace.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <gio/gio.h>
#include <memory>

bool Workspace::openURL(const std::string& url) {
    GError* error = nullptr;
    gboolean launched = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error);
    if (error)
        g_error_free(error);
    return launched;
}

namespace {

struct AppInfoUnref {
    void operator()(GAppInfo* info) const { g_object_unref(info); }
};
using AppInfoHandle = std::unique_ptr<GAppInfo, AppInfoUnref>;

AppInfoHandle applicationNamed(const std::string& name) {
    GList* all = g_app_info_get_all();
    AppInfoHandle found;
    for (GList* item = all; item; item = item->next) {
        auto* info = G_APP_INFO(item->data);
        if (!found && g_app_info_should_show(info) && name == g_app_info_get_name(info))
            found.reset(G_APP_INFO(g_object_ref(info)));
    }
    g_list_free_full(all, g_object_unref);
    return found;
}

AppInfoHandle defaultApplicationFor(const std::string& path) {
    gchar* type = g_content_type_guess(path.c_str(), nullptr, 0, nullptr);
    AppInfoHandle info(g_app_info_get_default_for_type(type, FALSE));
    g_free(type);
    return info;
}

} // namespace

bool Workspace::openFile(const std::string& path, const std::string& applicationName) {
    AppInfoHandle application = applicationNamed(applicationName);
    if (!application)
        application = defaultApplicationFor(path);
    if (!application)
        return false;
    GFile* file = g_file_new_for_path(path.c_str());
    GList files{file, nullptr, nullptr};
    GError* error = nullptr;
    gboolean launched = g_app_info_launch(application.get(), &files, nullptr, &error);
    g_object_unref(file);
    if (error)
        g_error_free(error);
    return launched;
}

bool Workspace::isFilePackageAtPath(const std::string& path) {
    static const std::array<const char*, 5> packageExtensions{"app", "band", "bundle", "logicx",
                                                              "rtfd"};
    std::string name = std::filesystem::path(path).lexically_normal().filename().string();
    if (name.empty())
        name = std::filesystem::path(path).lexically_normal().parent_path().filename().string();
    std::string extension = std::filesystem::path(name).extension().string();
    if (extension.size() < 2)
        return false;
    gchar* folded = g_ascii_strdown(extension.c_str() + 1, -1);
    bool listed = std::any_of(packageExtensions.begin(), packageExtensions.end(),
                              [folded](const char* known) { return std::string(known) == folded; });
    g_free(folded);
    std::error_code error;
    return listed && std::filesystem::is_directory(path, error);
}
