// What the studio's players have been sent over the live link, and the
// messages that bring them to the studio's state: a track's keys as key sets
// and deletes (or the whole track when most of it changed), a scene's new
// text, the transport in rows. Free of sockets: the server (studio_link.h)
// sends what this produces to every player, and a player that connects gets
// the whole state in the order docs/link.md gives.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_message.h"
#include "tools/studio/model/edit_model.h"
#include "tools/studio/model/transport.h"

// The state as the players hold it after everything sent so far.
struct LinkSent {
    std::vector<LinkTrack> tracks;  // in the order they were first sent
    std::string landscape;
    std::string title;
    bool landscape_too_long = false;  // the text read last could not be sent
    bool title_too_long = false;
};

// The messages that make the keys `from` into `to` on the track (both with
// rows strictly ascending): a key set for each new or changed key (row, value
// bits or kind), a key delete for each key gone, or a single track message
// when more than half of the keys changed. Appended to out.
void link_keys_diff(std::string_view track, std::span<const Keyframe> from, std::span<const Keyframe> to,
                    std::vector<LinkMessage>& out);

// Brings sent to the model's tracks (a track sent for the first time goes
// whole) and appends the messages that do the same for the players.
void link_tracks_sync(LinkSent& sent, const EditModel& model, std::vector<LinkMessage>& out);

// Brings sent to the scenes' texts and appends a shader message for each
// scene whose text changed. A text longer than a shader message carries is
// not sent (the players keep the last one); refused says so the first time.
void link_shaders_sync(LinkSent& sent, std::string_view landscape, std::string_view title,
                       std::vector<LinkMessage>& out, std::string& refused);

// The transport as the link carries it, in rows, at its position at now_ns.
LinkTransport link_transport_of(const Transport& transport, int64_t now_ns);

// Everything a player that just connected is sent after its welcome: every
// track, the landscape's text, the title's, then the transport, which ends it.
std::vector<LinkMessage> link_state_messages(const LinkSent& sent, const LinkTransport& transport);
