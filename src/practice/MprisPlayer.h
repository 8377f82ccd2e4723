#pragma once

#include <cstdint>
#include <string>

// What the media-player service shows of the player.
struct MprisState {
    // "Playing", "Paused" or "Stopped".
    std::string playbackStatus = "Stopped";
    // "None", "Track" (the section loop) or "Playlist" (the whole movie loops).
    std::string loopStatus = "None";
    // The rate a lesson plays at (the rate control's), and the movie's own rate now (0 when
    // paused, negative backwards).
    double rate = 1.0;
    double playingRate = 0.0;
    double volume = 1.0;
    std::int64_t positionUs = 0;
    bool hasLesson = false;
    // The lesson: its path (bytes), title, artist, length.
    std::string path;
    std::string title;
    std::string artist;
    std::int64_t lengthUs = 0;
    bool canGoNext = false;
    bool canGoPrevious = false;

    bool operator==(const MprisState&) const = default;
};

// The player as the media-player service drives it: media keys, pedals, desktop media controls.
// Implemented by the application controller; every call comes on the main thread.
class MprisPlayer {
public:
    virtual MprisState mprisState() = 0;
    virtual void mprisRaise() = 0;
    virtual void mprisQuit() = 0;
    virtual void mprisPlayPause() = 0;
    virtual void mprisPlay() = 0;
    virtual void mprisPause() = 0;
    virtual void mprisStop() = 0;
    virtual void mprisNext() = 0;
    virtual void mprisPrevious() = 0;
    virtual void mprisSeek(std::int64_t offsetUs) = 0;
    virtual void mprisSetPosition(std::int64_t positionUs) = 0;
    virtual void mprisSetRate(double rate) = 0;
    virtual void mprisSetLoopStatus(const std::string& loopStatus) = 0;
    virtual void mprisSetVolume(double volume) = 0;

protected:
    ~MprisPlayer() = default;
};
