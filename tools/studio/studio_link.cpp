// The live link's server in the studio: connections taken and pumped, the
// handshake and its deadline, the state and its changes sent, what the
// players report kept, and the leading player's row made the play head.
#include "tools/studio/studio_link.h"

#include <algorithm>
#include <cmath>
#include <variant>

#include "presentation/presentation.h"

namespace {

// So that a flood of connections cannot hold a frame up.
constexpr int ACCEPTS_PER_UPDATE = 8;
// Players gone that stay shown at most.
constexpr size_t GONE_SHOWN_MAX = 8;
// A player's own words in a line of the studio's log: short, and nothing a
// terminal would act on.
constexpr size_t SAID_SHOWN_MAX = 120;

std::string plain(std::string_view text) {
    std::string shown;
    for (const char c : text.substr(0, SAID_SHOWN_MAX)) shown += c >= ' ' && c <= '~' ? c : '?';
    if (text.size() > SAID_SHOWN_MAX) shown += "...";
    return shown;
}

std::string_view kind_name(const LinkMessage& message) {
    return link_kind_name(uint16_t(link_message_kind(message)));
}

bool connected(const StudioPlayer& player) { return player.gone.empty(); }

// What only a studio sends is refused from its header: a track may announce
// 2 GiB, which a player has no business making the studio wait for and hold.
bool studio_kind(LinkKind kind) {
    switch (kind) {
        case LinkKind::welcome:
        case LinkKind::track:
        case LinkKind::key_set:
        case LinkKind::key_delete:
        case LinkKind::shader:
        case LinkKind::transport: return true;
        default: return false;
    }
}

void player_end(StudioLink& link, StudioPlayer& player, int64_t now_ns) {
    player.gone = player.peer.closed.empty() ? "closed" : player.peer.closed;
    player.gone_ns = now_ns;
    link.news.push_back(studio_player_name(player) + " gone: " + plain(player.gone));
}

void hello_take(StudioLink& link, StudioPlayer& player, const LinkHello& hello) {
    const LinkMessage answer = link_hello_answer(hello);
    if (const auto* refusal = std::get_if<LinkRefusal>(&answer)) {
        link_peer_refuse(player.peer, refusal->reason);
        return;
    }
    link_peer_send(player.peer, answer);
    player.welcomed = true;
    player.hello = hello;
    link.news.push_back(studio_player_name(player) + " joined: " + plain(hello.os) + ", " +
                        plain(hello.gl_renderer) + ", GL " + plain(hello.gl_version) + ", " +
                        std::to_string(hello.screen_width) + "x" + std::to_string(hello.screen_height));
}

// Rows drawn before the last transport reached the player are not where it
// is now: while they may still come, a row far from the studio's is dropped.
void row_take(StudioPlayer& player, const StudioSession& session, double row, int64_t now_ns) {
    if (now_ns < player.stale_until_ns) {
        const double expected = transport_seconds(session.transport, now_ns) * ROWS_PER_SECOND;
        if (std::abs(row - expected) > STUDIO_LINK_STALE_ROWS) return;
        player.stale_until_ns = 0;
    }
    player.played = true;
    player.row = row;
    player.row_ns = now_ns;
}

void shader_log_take(StudioLink& link, StudioPlayer& player, const LinkShaderLog& report) {
    const bool landscape = report.scene == LinkScene::landscape;
    PlayerShader& shader = player.shaders[landscape ? 0 : 1];
    shader.reported = true;
    shader.built = report.built;
    shader.log = report.log;
    // The source is kept only to show a failing line beside the log.
    shader.source = report.built ? std::string() : landscape ? link.sent.landscape : link.sent.title;
    if (!report.built)
        link.news.push_back(studio_player_name(player) + ": the " + (landscape ? "landscape" : "title") +
                            " shader does not build there");
}

// One message from a player, in the order they came.
void message_take(StudioLink& link, StudioSession& session, StudioPlayer& player, const LinkMessage& message,
                  int64_t now_ns) {
    if (!player.welcomed) {
        if (const auto* hello = std::get_if<LinkHello>(&message))
            hello_take(link, player, *hello);
        else
            link_peer_refuse(player.peer, "a " + std::string(kind_name(message)) + " before the hello");
        return;
    }
    if (const auto* row = std::get_if<LinkPlayerRow>(&message)) {
        row_take(player, session, row->row, now_ns);
    } else if (const auto* time = std::get_if<LinkFrameTime>(&message)) {
        player.timed = true;
        player.gpu_ms = time->gpu_ms;
        player.fps = time->fps;
    } else if (const auto* report = std::get_if<LinkShaderLog>(&message)) {
        shader_log_take(link, player, *report);
    } else if (const auto* refusal = std::get_if<LinkRefusal>(&message)) {
        link_peer_close(player.peer, "it refused: " + refusal->reason);
    } else if (std::holds_alternative<LinkHello>(message)) {
        link_peer_refuse(player.peer, "a second hello");
    } else {
        link_peer_refuse(player.peer, "a " + std::string(kind_name(message)) + " from a player");
    }
}

void accept_new(StudioLink& link, int64_t now_ns) {
    for (int i = 0; i < ACCEPTS_PER_UPDATE; ++i) {
        std::string from;
        const NetSocket socket = net_accept(link.listener, from);
        if (socket == NET_NONE) return;
        StudioPlayer player;
        player.number = ++link.connections;
        player.peer = link_peer_create(socket);
        player.address = from;
        player.connected_ns = now_ns;
        if (studio_link_connected(link) >= STUDIO_LINK_PLAYERS_MAX) {
            link_peer_refuse(player.peer, "the studio has " + std::to_string(STUDIO_LINK_PLAYERS_MAX) +
                                              " players already");
            link.news.push_back(studio_player_name(player) + " turned away: " + player.peer.closed);
            continue;
        }
        link.players.push_back(std::move(player));
    }
}

// True when any player said anything.
bool players_pump(StudioLink& link, StudioSession& session, int64_t now_ns) {
    bool heard = false;
    std::vector<LinkMessage> received;
    for (StudioPlayer& player : link.players) {
        if (!connected(player)) continue;
        received.clear();
        link_peer_pump(player.peer, received);
        heard |= !received.empty();
        for (const LinkMessage& message : received) {
            if (!link_peer_open(player.peer)) break;
            message_take(link, session, player, message, now_ns);
        }
        const std::optional<uint16_t> arriving = link_decoder_kind_arriving(player.peer.decoder);
        if (link_peer_open(player.peer) && arriving && studio_kind(LinkKind(*arriving)))
            link_peer_refuse(player.peer, "a " + std::string(link_kind_name(*arriving)) + " from a player");
        if (!player.welcomed && link_peer_open(player.peer) && now_ns - player.connected_ns > STUDIO_LINK_HELLO_NS)
            link_peer_refuse(player.peer, "no hello within " + std::to_string(STUDIO_LINK_HELLO_NS / 1'000'000'000) +
                                              " seconds");
        if (!link_peer_open(player.peer)) player_end(link, player, now_ns);
    }
    return heard;
}

// Gone players leave the list once shown long enough, the oldest first when
// too many went.
void gone_prune(StudioLink& link, int64_t now_ns) {
    std::erase_if(link.players, [&](const StudioPlayer& player) {
        return !connected(player) && now_ns - player.gone_ns > STUDIO_LINK_GONE_SHOWN_NS;
    });
    size_t gone = size_t(std::count_if(link.players.begin(), link.players.end(),
                                       [](const StudioPlayer& player) { return !connected(player); }));
    for (auto it = link.players.begin(); gone > GONE_SHOWN_MAX && it != link.players.end();) {
        if (connected(*it)) {
            ++it;
        } else {
            it = link.players.erase(it);
            --gone;
        }
    }
}

// Changes go to the players that hold a state; those just welcomed get the
// whole state, changes included.
void state_send(StudioLink& link, const StudioSession& session, std::string_view landscape,
                std::string_view title, int64_t now_ns) {
    std::vector<LinkMessage> changes;
    if (link.edits_sent != session.edits) {
        link_tracks_sync(link.sent, session.model, changes);
        link.edits_sent = session.edits;
    }
    std::string refused;
    link_shaders_sync(link.sent, landscape, title, changes, refused);
    if (!refused.empty()) link.news.push_back(refused);
    for (StudioPlayer& player : link.players) {
        if (!connected(player) || !player.welcomed) continue;
        if (player.state_sent) {
            for (const LinkMessage& change : changes) link_peer_send(player.peer, change);
            continue;
        }
        for (const LinkMessage& message : link_state_messages(link.sent, link_transport_of(session.transport, now_ns)))
            link_peer_send(player.peer, message);
        player.state_sent = true;
    }
}

}  // namespace

StudioLink::~StudioLink() {
    for (StudioPlayer& player : players)
        if (link_peer_open(player.peer)) link_peer_close(player.peer, "the studio ended");
    if (listener != NET_NONE) net_close(listener);
}

bool studio_link_listen(StudioLink& link, std::string_view address, uint16_t port, std::string& error) {
    if (!net_start(error)) return false;
    link.listener = net_listen(address, port, error);
    if (link.listener == NET_NONE) return false;
    link.address = std::string(address) + ":" + std::to_string(net_local_port(link.listener));
    return true;
}

bool studio_link_update(StudioLink& link, StudioSession& session, std::string_view landscape,
                        std::string_view title, int64_t now_ns) {
    const size_t news = link.news.size();
    const size_t players = link.players.size();
    accept_new(link, now_ns);
    const bool heard = players_pump(link, session, now_ns);
    gone_prune(link, now_ns);
    state_send(link, session, landscape, title, now_ns);
    // Any closing since the pump (a send that failed) is news too.
    for (StudioPlayer& player : link.players)
        if (connected(player) && !link_peer_open(player.peer)) player_end(link, player, now_ns);

    const StudioPlayer* leader = studio_link_leader(link, session);
    if (leader && session.transport.playing && leader->row_ns > link.lead_row_ns) {
        // Anchored when the row came, the studio's clock runs on from it until the next.
        transport_seek(session.transport, leader->row / ROWS_PER_SECOND, leader->row_ns);
        link.lead_row_ns = leader->row_ns;
    }
    return heard || news != link.news.size() || players != link.players.size();
}

void studio_link_transport(StudioLink& link, const Transport& transport, int64_t now_ns) {
    const LinkTransport message = link_transport_of(transport, now_ns);
    for (StudioPlayer& player : link.players) {
        if (!connected(player) || !player.state_sent) continue;
        link_peer_send(player.peer, message);
        player.stale_until_ns = now_ns + STUDIO_LINK_STALE_NS;
    }
}

const StudioPlayer* studio_link_leader(const StudioLink& link, const StudioSession& session) {
    if (session.studio_leads) return nullptr;
    for (const StudioPlayer& player : link.players)
        if (connected(player) && player.welcomed && player.played) return &player;
    return nullptr;
}

size_t studio_link_connected(const StudioLink& link) {
    return size_t(std::count_if(link.players.begin(), link.players.end(), connected));
}

std::string studio_player_name(const StudioPlayer& player) {
    std::string name = "player " + std::to_string(player.number) + " (";
    if (player.welcomed) name += plain(player.hello.program) + ", ";
    return name + plain(player.address) + ")";
}
