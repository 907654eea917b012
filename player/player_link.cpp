// The player's connection to the studio and its handshake.
#include "player/player_link.h"

#include <cstdio>

#include "tools/common/cli.h"

namespace {

// A connection the network neither takes nor refuses is given up after this.
constexpr int64_t CONNECT_PATIENCE_NS = 5 * PLAYER_LINK_RETRY_NS;

std::string address_text(const PlayerLink& link) { return link.host + ":" + std::to_string(link.port); }

void tell(PlayerLink& link, const std::string& text) {
    if (text == link.said) return;
    link.said = text;
    std::fprintf(stderr, "zirbelon-player: %s\n", text.c_str());
}

// The connection is gone: try again in a second.
void link_lost(PlayerLink& link, int64_t now_ns, const std::string& reason) {
    if (link.connecting != NET_NONE) net_close(link.connecting);
    link.connecting = NET_NONE;
    if (link_peer_open(link.peer)) link_peer_close(link.peer, reason);
    link.state = PlayerLinkState::waiting;
    link.next_try_ns = now_ns + PLAYER_LINK_RETRY_NS;
    tell(link, "no link to the studio at " + address_text(link) + ": " + reason + " (trying again every second)");
}

}  // namespace

bool player_link_address(std::string_view text, std::string& host, uint16_t& port, std::string& error) {
    const size_t colon = text.rfind(':');
    host = std::string(text.substr(0, colon));
    port = LINK_PORT;
    if (colon != text.npos) {
        int64_t number = 0;
        if (!cli_integer(text.substr(colon + 1), number) || number < 1 || number > 65535) {
            error = "needs HOST or HOST:PORT with a port from 1 to 65535";
            return false;
        }
        port = uint16_t(number);
    }
    if (host.empty()) {
        error = "needs a host, as in 192.168.1.20 or studio.local:7720";
        return false;
    }
    return true;
}

void player_link_update(PlayerLink& link, int64_t now_ns, std::vector<LinkMessage>& received) {
    std::string error;
    if (link.state == PlayerLinkState::waiting) {
        if (now_ns < link.next_try_ns) return;
        link.connecting = net_connect_start(link.host, link.port, error);
        if (link.connecting == NET_NONE) return link_lost(link, now_ns, error);
        link.state = PlayerLinkState::connecting;
        link.next_try_ns = now_ns + CONNECT_PATIENCE_NS;
    }
    if (link.state == PlayerLinkState::connecting) {
        const NetConnect connect = net_connect_poll(link.connecting, error);
        if (connect == NetConnect::pending) {
            if (now_ns >= link.next_try_ns)
                link_lost(link, now_ns, "the studio does not answer");
            return;
        }
        if (connect == NetConnect::failed) return link_lost(link, now_ns, error);
        link.peer = link_peer_create(link.connecting);
        link.connecting = NET_NONE;
        link.state = PlayerLinkState::greeting;
        link_peer_send(link.peer, link.hello);
    }
    std::vector<LinkMessage> messages;
    link_peer_pump(link.peer, messages);
    for (LinkMessage& message : messages) {
        if (const auto* refusal = std::get_if<LinkRefusal>(&message)) {
            link_peer_close(link.peer, "the studio refused: " + refusal->reason);
            break;
        }
        if (link.state == PlayerLinkState::greeting) {
            const auto* welcome = std::get_if<LinkWelcome>(&message);
            const std::string mismatch = welcome ? link_welcome_check(*welcome)
                                                 : "the studio sent a " +
                                                       std::string(link_kind_name(uint16_t(link_message_kind(message)))) +
                                                       " before its welcome";
            if (!mismatch.empty()) {
                link_peer_refuse(link.peer, mismatch);
                break;
            }
            link.state = PlayerLinkState::linked;
            tell(link, "linked to the studio at " + address_text(link));
            continue;
        }
        const LinkKind kind = link_message_kind(message);
        if (kind == LinkKind::hello || kind == LinkKind::welcome || kind == LinkKind::player_row ||
            kind == LinkKind::frame_time || kind == LinkKind::shader_log) {
            link_peer_refuse(link.peer, "a player takes no " + std::string(link_kind_name(uint16_t(kind))));
            break;
        }
        received.push_back(std::move(message));
    }
    if (!link_peer_open(link.peer)) link_lost(link, now_ns, link.peer.closed);
}

void player_link_send(PlayerLink& link, const LinkMessage& message) {
    if (link.state == PlayerLinkState::linked && link_peer_open(link.peer)) link_peer_send(link.peer, message);
}

void player_link_close(PlayerLink& link) {
    if (link.connecting != NET_NONE) net_close(link.connecting);
    link.connecting = NET_NONE;
    if (link_peer_open(link.peer)) link_peer_close(link.peer, "the player ends");
}
