// One end of a live link connection, on either side: the socket, the decoder
// of what comes in and the bytes still to go out. Pumped once a frame, it
// never blocks: what the socket takes goes, what it gives is decoded. A fault
// (a broken connection, malformed bytes, too much unsent) closes it with the
// reason kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "link/link_decoder.h"
#include "link/link_message.h"
#include "platform/net.h"

// Unsent bytes beyond this (a peer that stopped reading) end the connection,
// unless they are one frame alone: a track may be larger, up to its bound.
inline constexpr size_t LINK_UNSENT_MAX = size_t(256) << 20;
// The most bytes one pump reads: a flood of frames waits for later pumps
// rather than holding up the frame of the program that pumps.
inline constexpr size_t LINK_PUMP_BYTES_MAX = size_t(4) << 20;

struct LinkPeer {
    NetSocket socket = NET_NONE;
    LinkDecoder decoder;
    std::deque<std::vector<uint8_t>> unsent;  // whole frames; the front one partly sent
    size_t front_sent = 0;
    size_t unsent_bytes = 0;
    std::string closed;  // why it closed; empty while open
};

// A connected socket's end; one made from NET_NONE is closed from the start.
LinkPeer link_peer_create(NetSocket socket);
bool link_peer_open(const LinkPeer& peer);

// Queues the message and sends what the socket takes now.
void link_peer_send(LinkPeer& peer, const LinkMessage& message);
// Sends what waits, then reads what has arrived (in pieces of at most
// LINK_FEED_BYTES_MAX) and appends every whole message to received. A fault
// closes the peer; a decoder fault first sends a refusal with its reason.
void link_peer_pump(LinkPeer& peer, std::vector<LinkMessage>& received);
// Sends a refusal (as far as the socket takes it now) and closes.
void link_peer_refuse(LinkPeer& peer, const std::string& reason);
void link_peer_close(LinkPeer& peer, const std::string& reason);
