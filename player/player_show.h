// What the player shows, free of any window, socket or device: the tracks it
// evaluates, the two scenes' fragment texts, and the clock that says which row
// is on screen. The presentation's folder fills it at start; the studio's
// messages change it while linked; the player's loop reads it once a frame.
#pragma once

#include <cstdint>
#include <string>

#include "link/link_message.h"
#include "presentation/frame.h"
#include "tracks/tracks.h"

// The player's own clock: the row it stands at or runs from, how fast, and
// the loop the studio set. With the tune playing the tune's audible position
// is the row instead (player_main.cpp), by the same rules.
struct PlayerClock {
    bool playing = true;
    double anchor_row = 0.0;  // the row at anchor_ns
    int64_t anchor_ns = 0;
    double speed = 1.0;
    bool loop = false;
    double loop_in = 0.0;
    double loop_out = 0.0;
};

struct PlayerShow {
    TrackSetPtr tracks;  // the folder's tracks, then the studio's
    CameraTracks camera;
    std::string landscape;  // the fragment texts the programs are to be built from
    std::string title;
    PlayerClock clock;
    uint64_t changes = 0;  // counts what changed the picture: keys, texts, the clock
};

// The folder's tracks ("sync_NAME.track" in it), the built-in texts, and a
// clock playing from the row. Null tracks when memory ran out.
PlayerShow player_show_create(const std::string& folder, double row, int64_t now_ns);

// What one message from the studio does to the show. A shader text is only
// kept here: building it is the screen's work. True when the message was one
// the show takes (tracks, keys, shaders, the transport).
bool player_show_apply(PlayerShow& show, const LinkMessage& message, int64_t now_ns);

// The clock's row at now_ns: it stands while paused, runs at its speed while
// playing, and goes on at the loop's start when it ran into the loop's end
// from before it.
double player_clock_row(const PlayerClock& clock, int64_t now_ns);
// Where a run from `from` to `to` shows under the clock's loop.
double player_clock_wrap(const PlayerClock& clock, double from, double to);
