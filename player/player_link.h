// The player's end of the live link: it connects to the studio, says who it
// is, takes what the studio sends, and says where it is and how it draws. A
// lost or refused connection is tried again about once a second, for as long
// as the player runs; nothing received ever stops the show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/link_message.h"
#include "link/link_peer.h"

enum class PlayerLinkState { waiting, connecting, greeting, linked };

struct PlayerLink {
    std::string host;
    uint16_t port = LINK_PORT;
    LinkHello hello;  // what the player says of itself on each connection
    PlayerLinkState state = PlayerLinkState::waiting;
    NetSocket connecting = NET_NONE;
    LinkPeer peer;
    int64_t next_try_ns = 0;
    std::string said;  // the last thing told on stderr, so that a retry that fails alike says nothing new
};

inline constexpr int64_t PLAYER_LINK_RETRY_NS = 1'000'000'000;

// "HOST", "HOST:PORT" (PORT 1 to 65535); false with why in error.
bool player_link_address(std::string_view text, std::string& host, uint16_t& port, std::string& error);

// Connects, reconnects and greets as time goes on, and hands over what the
// studio sent once it welcomed the player (tracks, keys, shaders, transport).
// Tells stderr when the link comes, goes, or fails anew.
void player_link_update(PlayerLink& link, int64_t now_ns, std::vector<LinkMessage>& received);

// Sends to the studio while linked; nothing otherwise.
void player_link_send(PlayerLink& link, const LinkMessage& message);

void player_link_close(PlayerLink& link);
