#include "practice/MprisService.h"

#include <algorithm>
#include <cmath>
#include <glib.h>

namespace {

const char* const rootInterface = "org.mpris.MediaPlayer2";
const char* const playerInterface = "org.mpris.MediaPlayer2.Player";
const char* const trackPrefix = "/org/fretlark/Fretlark/lesson/";

const char* const introspection = R"(<node>
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
    <method name="SetPosition">
      <arg name="TrackId" type="o" direction="in"/>
      <arg name="Position" type="x" direction="in"/>
    </method>
    <method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="LoopStatus" type="s" access="readwrite"/>
    <property name="Rate" type="d" access="readwrite"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
</node>)";

// The Player properties whose changes are signalled; Position is read when wanted, as MPRIS has it.
const char* const signalledProperties[] = {
    "PlaybackStatus", "LoopStatus",    "Rate",    "Metadata", "Volume",
    "CanGoNext",      "CanGoPrevious", "CanPlay", "CanPause", "CanSeek",
};

// A lesson's track id: a D-Bus object path named by a digest of the lesson's path.
std::string trackId(const std::string& path) {
    if (path.empty())
        return "/org/mpris/MediaPlayer2/TrackList/NoTrack";
    gchar* digest = g_compute_checksum_for_data(
        G_CHECKSUM_SHA1, reinterpret_cast<const guchar*>(path.data()), path.size());
    std::string id = std::string(trackPrefix) + digest;
    g_free(digest);
    return id;
}

std::string validText(const std::string& text) {
    gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
    std::string result(valid);
    g_free(valid);
    return result;
}

GVariant* emptyStrings() {
    return g_variant_new_strv(nullptr, 0);
}

} // namespace

MprisService::MprisService(MprisPlayer& mediaPlayer) : player(mediaPlayer) {
    ownerId = g_bus_own_name(G_BUS_TYPE_SESSION, busName, G_BUS_NAME_OWNER_FLAGS_NONE, busAcquired,
                             nameAcquired, nameLost, this, nullptr);
}

MprisService::~MprisService() {
    if (bus) {
        g_dbus_connection_unregister_object(bus, rootId);
        g_dbus_connection_unregister_object(bus, playerId);
        g_object_unref(bus);
    }
    g_bus_unown_name(ownerId);
}

void MprisService::busAcquired(GDBusConnection* connection, const gchar*, gpointer self) {
    static_cast<MprisService*>(self)->registerObjects(connection);
}

void MprisService::nameAcquired(GDBusConnection*, const gchar*, gpointer self) {
    static_cast<MprisService*>(self)->nameOwned = true;
}

void MprisService::nameLost(GDBusConnection* connection, const gchar* name, gpointer self) {
    static_cast<MprisService*>(self)->nameOwned = false;
    if (!connection)
        g_message("no session bus: media keys will not reach the player");
    else
        g_message("the bus name %s belongs to another program", name);
}

void MprisService::registerObjects(GDBusConnection* connection) {
    GError* error = nullptr;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(introspection, &error);
    if (!node) {
        g_warning("media player interfaces: %s", error->message);
        g_clear_error(&error);
        return;
    }
    static const GDBusInterfaceVTable vtable = {methodCall, getProperty, setProperty, {}};
    bus = G_DBUS_CONNECTION(g_object_ref(connection));
    rootId = g_dbus_connection_register_object(
        bus, objectPath, g_dbus_node_info_lookup_interface(node, rootInterface), &vtable, this,
        nullptr, &error);
    g_clear_error(&error);
    playerId = g_dbus_connection_register_object(
        bus, objectPath, g_dbus_node_info_lookup_interface(node, playerInterface), &vtable, this,
        nullptr, &error);
    if (error)
        g_warning("media player interfaces: %s", error->message);
    g_clear_error(&error);
    g_dbus_node_info_unref(node);
}

void MprisService::methodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                              const gchar* method, GVariant* parameters,
                              GDBusMethodInvocation* invocation, gpointer self) {
    auto* service = static_cast<MprisService*>(self);
    if (g_str_equal(method, "OpenUri")) {
        g_dbus_method_invocation_return_dbus_error(
            invocation, "org.mpris.MediaPlayer2.fretlark.Error.NotSupported",
            "Lessons are opened from the library");
        return;
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
    service->call(method, parameters);
    service->refresh();
}

void MprisService::call(const std::string& method, GVariant* parameters) {
    if (method == "Raise")
        player.mprisRaise();
    else if (method == "Quit")
        player.mprisQuit();
    else if (method == "PlayPause")
        player.mprisPlayPause();
    else if (method == "Play")
        player.mprisPlay();
    else if (method == "Pause")
        player.mprisPause();
    else if (method == "Stop")
        player.mprisStop();
    else if (method == "Next")
        player.mprisNext();
    else if (method == "Previous")
        player.mprisPrevious();
    else if (method == "Seek") {
        gint64 offset = 0;
        g_variant_get(parameters, "(x)", &offset);
        player.mprisSeek(offset);
    } else if (method == "SetPosition") {
        const gchar* track = nullptr;
        gint64 position = 0;
        g_variant_get(parameters, "(&ox)", &track, &position);
        // A position meant for another lesson than the one shown is ignored, as MPRIS asks.
        MprisState state = player.mprisState();
        if (state.hasLesson && trackId(state.path) == track && position >= 0 &&
            position <= state.lengthUs)
            player.mprisSetPosition(position);
    }
}

GVariant* MprisService::getProperty(GDBusConnection*, const gchar*, const gchar*,
                                    const gchar* interface, const gchar* property, GError** error,
                                    gpointer self) {
    auto* service = static_cast<MprisService*>(self);
    GVariant* value = g_str_equal(interface, rootInterface)
                          ? rootProperty(property)
                          : playerProperty(service->player.mprisState(), property);
    if (!value)
        g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s", property);
    return value;
}

gboolean MprisService::setProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                   const gchar* property, GVariant* value, GError** error,
                                   gpointer self) {
    auto* service = static_cast<MprisService*>(self);
    if (!service->set(property, value)) {
        g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "Cannot set %s", property);
        return FALSE;
    }
    service->refresh();
    return TRUE;
}

bool MprisService::set(const std::string& property, GVariant* value) {
    if (property == "Rate") {
        double rate = g_variant_get_double(value);
        // A rate of 0 pauses, as MPRIS has it; others keep inside the player's range.
        if (rate == 0.0)
            player.mprisPause();
        else if (std::isfinite(rate))
            player.mprisSetRate(std::clamp(rate, MinimumRate, MaximumRate));
        return std::isfinite(rate);
    }
    if (property == "Volume") {
        player.mprisSetVolume(std::clamp(g_variant_get_double(value), 0.0, 1.0));
        return true;
    }
    if (property == "LoopStatus") {
        std::string status = g_variant_get_string(value, nullptr);
        if (status != "None" && status != "Track" && status != "Playlist")
            return false;
        player.mprisSetLoopStatus(status);
        return true;
    }
    return false;
}

GVariant* MprisService::rootProperty(const std::string& name) {
    if (name == "CanQuit" || name == "CanRaise")
        return g_variant_new_boolean(TRUE);
    if (name == "HasTrackList")
        return g_variant_new_boolean(FALSE);
    if (name == "Identity")
        return g_variant_new_string("Fretlark");
    if (name == "DesktopEntry")
        return g_variant_new_string("org.fretlark.Fretlark");
    if (name == "SupportedUriSchemes" || name == "SupportedMimeTypes")
        return emptyStrings();
    return nullptr;
}

GVariant* MprisService::playerProperty(const MprisState& state, const std::string& name) {
    if (name == "PlaybackStatus")
        return g_variant_new_string(state.playbackStatus.c_str());
    if (name == "LoopStatus")
        return g_variant_new_string(state.loopStatus.c_str());
    if (name == "Rate")
        return g_variant_new_double(state.rate);
    if (name == "Metadata")
        return metadata(state);
    if (name == "Volume")
        return g_variant_new_double(state.volume);
    if (name == "Position")
        return g_variant_new_int64(state.positionUs);
    if (name == "MinimumRate")
        return g_variant_new_double(MinimumRate);
    if (name == "MaximumRate")
        return g_variant_new_double(MaximumRate);
    if (name == "CanGoNext")
        return g_variant_new_boolean(state.canGoNext);
    if (name == "CanGoPrevious")
        return g_variant_new_boolean(state.canGoPrevious);
    if (name == "CanPlay" || name == "CanPause" || name == "CanSeek")
        return g_variant_new_boolean(state.hasLesson);
    if (name == "CanControl")
        return g_variant_new_boolean(TRUE);
    return nullptr;
}

GVariant* MprisService::metadata(const MprisState& state) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&builder, "{sv}", "mpris:trackid",
                          g_variant_new_object_path(trackId(state.path).c_str()));
    if (!state.hasLesson)
        return g_variant_builder_end(&builder);
    g_variant_builder_add(&builder, "{sv}", "mpris:length", g_variant_new_int64(state.lengthUs));
    g_variant_builder_add(&builder, "{sv}", "xesam:title",
                          g_variant_new_string(validText(state.title).c_str()));
    if (!state.artist.empty()) {
        std::string artist = validText(state.artist);
        const gchar* artists[] = {artist.c_str()};
        g_variant_builder_add(&builder, "{sv}", "xesam:artist", g_variant_new_strv(artists, 1));
    }
    if (gchar* url = g_filename_to_uri(state.path.c_str(), nullptr, nullptr)) {
        g_variant_builder_add(&builder, "{sv}", "xesam:url", g_variant_new_string(url));
        g_free(url);
    }
    return g_variant_builder_end(&builder);
}

void MprisService::refresh() {
    MprisState state = player.mprisState();
    if (!bus) {
        lastState = state;
        return;
    }
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    bool any = false;
    for (const char* name : signalledProperties) {
        Variant value(g_variant_ref_sink(playerProperty(state, name)));
        auto& old = published[name];
        if (old && g_variant_equal(old.get(), value.get()))
            continue;
        g_variant_builder_add(&changed, "{sv}", name, value.get());
        old = std::move(value);
        any = true;
    }
    if (any)
        g_dbus_connection_emit_signal(
            bus, nullptr, objectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged",
            g_variant_new("(sa{sv}as)", playerInterface, &changed, nullptr), nullptr);
    else
        g_variant_builder_clear(&changed);
    emitSeekedIfJumped(state);
}

// A position away from where the last one and the rate would have carried it is a jump.
void MprisService::emitSeekedIfJumped(const MprisState& state) {
    auto now = std::chrono::steady_clock::now();
    if (lastState && lastState->path == state.path && state.hasLesson) {
        double elapsedUs = std::chrono::duration<double, std::micro>(now - lastRefresh).count();
        double expected =
            static_cast<double>(lastState->positionUs) + elapsedUs * lastState->playingRate;
        constexpr double toleranceUs = 500'000;
        if (std::abs(static_cast<double>(state.positionUs) - expected) > toleranceUs)
            g_dbus_connection_emit_signal(
                bus, nullptr, objectPath, playerInterface, "Seeked",
                g_variant_new("(x)", static_cast<gint64>(state.positionUs)), nullptr);
    }
    lastState = state;
    lastRefresh = now;
}
