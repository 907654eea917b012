// The studio's side of the live link (docs/link.md): it listens, takes
// players, answers their hellos, sends each the whole state and then every
// change, and keeps what they say of themselves (where they are, how fast
// they draw, how their shaders built). It also holds the one clock while
// linked: the first player that has played leads, and the studio's play head
// follows its row, unless the maker took the lead back (StudioSession::
// studio_leads). Pumped once a frame; it never blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_peer.h"
#include "tools/studio/model/link_sync.h"
#include "tools/studio/studio_commands.h"

// A connection that has not said hello by then is dropped.
inline constexpr int64_t STUDIO_LINK_HELLO_NS = 5'000'000'000;
// More players than this at once are refused: a flood of connections costs
// no more than this many.
inline constexpr size_t STUDIO_LINK_PLAYERS_MAX = 16;
// A player that is gone stays shown, with why, this long.
inline constexpr int64_t STUDIO_LINK_GONE_SHOWN_NS = 20'000'000'000;
// After a transport is sent, a player's rows far from where it sent it are
// from before it (on their way, or drawn before it arrived) for at most this
// long, so the play head does not jump back to them.
inline constexpr int64_t STUDIO_LINK_STALE_NS = 500'000'000;
inline constexpr double STUDIO_LINK_STALE_ROWS = 10.0;

// What a player said of a scene's last build, and the text it built.
struct PlayerShader {
    bool reported = false;
    bool built = false;
    std::string log;
    std::string source;  // the text the studio had sent it for that scene when the log came
};

struct StudioPlayer {
    uint64_t number = 0;    // counts the studio's connections from 1, for people
    LinkPeer peer;
    std::string address;    // where it connected from
    int64_t connected_ns = 0;
    bool welcomed = false;
    LinkHello hello;        // what it said of itself, once welcomed
    bool state_sent = false;  // it holds the whole state: changes follow

    // Where it draws: the last row it sent while playing and when it came.
    bool played = false;    // it has sent a row: it may lead
    double row = 0.0;
    int64_t row_ns = 0;
    int64_t stale_until_ns = 0;  // rows far from the studio's are old until then

    bool timed = false;     // it sent a frame time
    float gpu_ms = 0.0f;    // negative where its GL cannot time frames
    float fps = 0.0f;
    std::array<PlayerShader, 2> shaders;  // landscape, title

    std::string gone;       // why it went; empty while connected
    int64_t gone_ns = 0;
};

struct StudioLink {
    NetSocket listener = NET_NONE;
    std::string address;  // what it listens on, ADDR:PORT
    std::vector<StudioPlayer> players;  // in the order they connected, those gone for a while among them
    uint64_t connections = 0;
    LinkSent sent;
    std::optional<uint64_t> edits_sent;  // the session's edits count the tracks were last compared at
    int64_t lead_row_ns = 0;  // when the row the play head last took from the leader came
    // What happened since the program last took it: players joined, refused,
    // gone and why. The program logs it and shows the last.
    std::vector<std::string> news;

    StudioLink() = default;
    StudioLink(const StudioLink&) = delete;
    StudioLink& operator=(const StudioLink&) = delete;
    ~StudioLink();
};

// Listens on address:port; false with why in error.
bool studio_link_listen(StudioLink& link, std::string_view address, uint16_t port, std::string& error);

// Once a frame: takes new connections, reads what the players sent and
// answers it, drops a player silent past STUDIO_LINK_HELLO_NS, sends the
// tracks' changes (when session.edits moved) and the scenes' texts when they
// changed to every player, and the whole state to each one just welcomed.
// While a player leads and the studio plays, it puts the session's transport
// at that player's row, sending nothing. True when something a panel shows
// of the players changed.
bool studio_link_update(StudioLink& link, StudioSession& session, std::string_view landscape,
                        std::string_view title, int64_t now_ns);

// The transport after a change by the studio (a play, a pause, a seek, the
// loop, the speed, the lead taken back): sent to every player at once.
void studio_link_transport(StudioLink& link, const Transport& transport, int64_t now_ns);

// The player the clock follows: the first one connected that has played,
// while the maker has not taken the lead back; null while the studio leads.
const StudioPlayer* studio_link_leader(const StudioLink& link, const StudioSession& session);

// Players connected now, welcomed or not.
size_t studio_link_connected(const StudioLink& link);

// "player 2 (zirbelon-player 0.1.0, 127.0.0.1:50122)": for news and panels.
std::string studio_player_name(const StudioPlayer& player);
