#pragma once

#include "practice/MprisPlayer.h"

#include <chrono>
#include <gio/gio.h>
#include <map>
#include <memory>
#include <optional>
#include <string>

// The player on the session bus as "org.mpris.MediaPlayer2.fretlark", with the MPRIS root and
// Player interfaces, so desktop media controls, media keys, foot pedals that send media keys and
// playerctl drive it. Main thread only.
class MprisService {
public:
    static constexpr const char* busName = "org.mpris.MediaPlayer2.fretlark";
    static constexpr const char* objectPath = "/org/mpris/MediaPlayer2";
    static constexpr double MinimumRate = 0.25;
    static constexpr double MaximumRate = 2.0;

    explicit MprisService(MprisPlayer& player);
    ~MprisService();
    MprisService(const MprisService&) = delete;
    MprisService& operator=(const MprisService&) = delete;

    bool ownsName() const { return nameOwned; }
    // Looks at the player again: PropertiesChanged for what changed, Seeked when the position
    // jumped.
    void refresh();

private:
    struct VariantUnref {
        void operator()(GVariant* variant) const { g_variant_unref(variant); }
    };
    using Variant = std::unique_ptr<GVariant, VariantUnref>;

    static void busAcquired(GDBusConnection* connection, const gchar* name, gpointer self);
    static void nameAcquired(GDBusConnection* connection, const gchar* name, gpointer self);
    static void nameLost(GDBusConnection* connection, const gchar* name, gpointer self);
    static void methodCall(GDBusConnection* connection, const gchar* sender, const gchar* path,
                           const gchar* interface, const gchar* method, GVariant* parameters,
                           GDBusMethodInvocation* invocation, gpointer self);
    static GVariant* getProperty(GDBusConnection* connection, const gchar* sender,
                                 const gchar* path, const gchar* interface, const gchar* property,
                                 GError** error, gpointer self);
    static gboolean setProperty(GDBusConnection* connection, const gchar* sender, const gchar* path,
                                const gchar* interface, const gchar* property, GVariant* value,
                                GError** error, gpointer self);

    void registerObjects(GDBusConnection* connection);
    void call(const std::string& method, GVariant* parameters);
    bool set(const std::string& property, GVariant* value);
    static GVariant* rootProperty(const std::string& name);
    static GVariant* playerProperty(const MprisState& state, const std::string& name);
    static GVariant* metadata(const MprisState& state);
    void emitSeekedIfJumped(const MprisState& state);

    MprisPlayer& player;
    guint ownerId = 0;
    GDBusConnection* bus = nullptr;
    guint rootId = 0;
    guint playerId = 0;
    bool nameOwned = false;
    std::map<std::string, Variant> published;
    std::optional<MprisState> lastState;
    std::chrono::steady_clock::time_point lastRefresh;
};
