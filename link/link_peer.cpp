// One end of a live link connection, pumped once a frame without blocking:
// queued frames go out as far as the socket takes them, arrived bytes are cut
// into messages, and every way the connection can fail ends it with a reason.
#include "link/link_peer.h"

#include <algorithm>
#include <array>
#include <span>

namespace {

// Sends what the socket takes now; false, with why in error, once the
// connection is gone.
bool flush(LinkPeer& peer, std::string& error) {
    while (!peer.unsent.empty()) {
        const std::vector<uint8_t>& front = peer.unsent.front();
        const int64_t sent = net_send(peer.socket, std::span(front).subspan(peer.front_sent), error);
        if (sent < 0) return false;
        if (sent == 0) break;
        peer.front_sent += size_t(sent);
        peer.unsent_bytes -= size_t(sent);
        if (peer.front_sent == front.size()) {
            peer.unsent.pop_front();
            peer.front_sent = 0;
        }
    }
    return true;
}

// The reason cut to what a refusal carries, on a character's first byte.
std::string refusal_reason(const std::string& reason) {
    if (reason.size() <= LINK_TEXT_MAX) return reason;
    size_t cut = LINK_TEXT_MAX;
    while (cut > 0 && (uint8_t(reason[cut]) & 0xc0) == 0x80) --cut;
    return reason.substr(0, cut);
}

}  // namespace

LinkPeer link_peer_create(NetSocket socket) {
    LinkPeer peer;
    peer.socket = socket;
    if (socket == NET_NONE) peer.closed = "not connected";
    return peer;
}

bool link_peer_open(const LinkPeer& peer) { return peer.socket != NET_NONE; }

void link_peer_send(LinkPeer& peer, const LinkMessage& message) {
    if (!link_peer_open(peer)) return;
    peer.unsent.push_back(link_message_encode(message));
    peer.unsent_bytes += peer.unsent.back().size();
    std::string error;
    if (!flush(peer, error))
        link_peer_close(peer, error);
    else if (peer.unsent.size() > 1 && peer.unsent_bytes > LINK_UNSENT_MAX)
        link_peer_close(peer, "the peer stopped reading");
}

void link_peer_pump(LinkPeer& peer, std::vector<LinkMessage>& received) {
    if (!link_peer_open(peer)) return;
    std::string error;
    if (!flush(peer, error)) {
        link_peer_close(peer, error);
        return;
    }
    std::array<uint8_t, LINK_FEED_BYTES_MAX> piece;
    for (size_t read = 0; read < LINK_PUMP_BYTES_MAX;) {
        const size_t asked = std::min(piece.size(), LINK_PUMP_BYTES_MAX - read);
        const int64_t got = net_receive(peer.socket, std::span(piece).first(asked), error);
        if (got < 0) {
            link_peer_close(peer, error);
            return;
        }
        if (got == 0) return;
        read += size_t(got);
        // Every whole message is taken before the next piece, so the decoder
        // never holds more than a frame and a piece.
        link_decoder_feed(peer.decoder, std::span(piece).first(size_t(got)));
        for (;;) {
            LinkNext next = link_decoder_next(peer.decoder);
            if (next.status == LinkStatus::more) break;
            if (next.status == LinkStatus::error) {
                link_peer_refuse(peer, "bad bytes from the peer: " + next.error);
                return;
            }
            received.push_back(std::move(next.message));
        }
    }
}

void link_peer_refuse(LinkPeer& peer, const std::string& reason) {
    if (!link_peer_open(peer)) return;
    // Only a frame that is partly out must still go whole; the refusal takes
    // the place of the rest, which nobody will read.
    const size_t kept = peer.front_sent > 0 ? 1 : 0;
    peer.unsent.resize(std::min(peer.unsent.size(), kept));
    peer.unsent_bytes = kept > 0 ? peer.unsent.front().size() - peer.front_sent : 0;
    peer.unsent.push_back(link_message_encode(LinkRefusal{LINK_VERSION, refusal_reason(reason)}));
    peer.unsent_bytes += peer.unsent.back().size();
    // The fault is the reason it ends, even where the refusal cannot go.
    std::string error;
    flush(peer, error);
    link_peer_close(peer, reason);
}

void link_peer_close(LinkPeer& peer, const std::string& reason) {
    net_close(peer.socket);
    peer.socket = NET_NONE;
    if (peer.closed.empty()) peer.closed = reason.empty() ? "closed" : reason;
    peer.decoder = {};
    peer.unsent.clear();
    peer.front_sent = 0;
    peer.unsent_bytes = 0;
}
