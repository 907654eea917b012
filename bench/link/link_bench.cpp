// How fast the live link moves a player, on loopback: this program plays the
// studio's part (it listens, greets, sends the state) to a real zirbelon-player
// it starts, then measures two things a maker feels:
//  - seek → player row: from a transport sent to the first row the player
//    reports from the new position;
//  - edit → player frame: from a key sent to the second row reported after it
//    (the frame in progress may have begun before the key arrived; the next
//    one surely has it), so an upper bound.
// Median and worst of each, in milliseconds. The player needs a display; run
// it as
//   xvfb-run -s '-screen 0 1920x1080x24' build/release/bench/link/link_bench build/release/stage/zirbelon-player
// (a plain executable: it prints its figures; run by hand).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/link_peer.h"

extern char** environ;

namespace {

constexpr int ROUNDS = 20;
using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Pumps until a message the test accepts comes, or the time is up.
template <typename Accept>
std::optional<LinkMessage> wait_for(LinkPeer& peer, double patience_ms, Accept accept) {
    const auto start = Clock::now();
    std::vector<LinkMessage> received;
    while (link_peer_open(peer) && ms_since(start) < patience_ms) {
        received.clear();
        link_peer_pump(peer, received);
        for (LinkMessage& message : received)
            if (accept(message)) return std::move(message);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return std::nullopt;
}

// The player's last report of its drawing, kept as messages pass.
LinkFrameTime last_frame_time{-1.0f, 0.0f};

std::optional<double> row_of(const LinkMessage& message) {
    if (const auto* time = std::get_if<LinkFrameTime>(&message)) last_frame_time = *time;
    if (const auto* row = std::get_if<LinkPlayerRow>(&message)) return row->row;
    return std::nullopt;
}

void report(const char* what, std::vector<double> ms) {
    if (ms.empty()) {
        std::printf("%s: no figures\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s: median %.1f ms, worst %.1f ms (%zu rounds)\n", what, ms[ms.size() / 2], ms.back(), ms.size());
}

int fail(const std::string& why, pid_t player) {
    std::fprintf(stderr, "link_bench: %s\n", why.c_str());
    if (player > 0) kill(player, SIGTERM);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: link_bench ZIRBELON_PLAYER [PLAYER OPTIONS...]  (needs a display)\n");
        return 2;
    }
    std::string error;
    if (!net_start(error)) return fail(error, 0);
    const NetSocket listener = net_listen("127.0.0.1", 0, error);
    if (listener == NET_NONE) return fail(error, 0);
    const std::string address = "127.0.0.1:" + std::to_string(net_local_port(listener));

    std::vector<std::string> args{argv[1], "--windowed", "--link", address};
    for (int i = 2; i < argc; ++i) args.emplace_back(argv[i]);
    std::vector<char*> arg_pointers;
    for (std::string& arg : args) arg_pointers.push_back(arg.data());
    arg_pointers.push_back(nullptr);
    pid_t player = 0;
    if (posix_spawn(&player, argv[1], nullptr, nullptr, arg_pointers.data(), environ) != 0)
        return fail(std::string("cannot start ") + argv[1], 0);

    NetSocket socket = NET_NONE;
    std::string peer_name;
    for (const auto start = Clock::now(); socket == NET_NONE && ms_since(start) < 30'000;) {
        socket = net_accept(listener, peer_name);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (socket == NET_NONE) return fail("the player did not connect in 30 s", player);
    LinkPeer peer = link_peer_create(socket);
    const std::optional<LinkMessage> hello =
        wait_for(peer, 10'000, [](const LinkMessage& m) { return std::holds_alternative<LinkHello>(m); });
    if (!hello) return fail("no hello: " + peer.closed, player);
    const LinkHello& who = std::get<LinkHello>(*hello);
    link_peer_send(peer, link_hello_answer(who));
    link_peer_send(peer, LinkTrack{"cam.dist", {{0, 4.0f, 0}}});
    link_peer_send(peer, LinkTrack{"cam.rot", {{0, 2.0f, 0}}});
    link_peer_send(peer, LinkTransport{true, 100.0, false, 0.0, 0.0, 1.0});
    if (!wait_for(peer, 30'000, [](const LinkMessage& m) { return row_of(m).has_value(); }))
        return fail("the player reports no rows: " + peer.closed, player);

    std::vector<double> seeks;
    for (int round = 0; round < ROUNDS && link_peer_open(peer); ++round) {
        // Far apart, so that no row from before the seek passes for one after it.
        const double target = round % 2 ? 400.0 + 10.0 * round : 1600.0 + 10.0 * round;
        const auto start = Clock::now();
        link_peer_send(peer, LinkTransport{true, target, false, 0.0, 0.0, 1.0});
        if (wait_for(peer, 30'000, [target](const LinkMessage& m) {
                const std::optional<double> row = row_of(m);
                return row && *row >= target && *row < target + 200.0;
            }))
            seeks.push_back(ms_since(start));
    }

    std::vector<double> edits;
    for (int round = 0; round < ROUNDS && link_peer_open(peer); ++round) {
        wait_for(peer, 30'000, [](const LinkMessage& m) { return row_of(m).has_value(); });
        const auto start = Clock::now();
        link_peer_send(peer, LinkKeySet{"cam.dist", {0, 4.0f + 0.125f * float(round), 0}});
        int rows = 0;
        if (wait_for(peer, 30'000, [&rows](const LinkMessage& m) { return row_of(m) && ++rows == 2; }))
            edits.push_back(ms_since(start));
    }

    std::printf("link bench on loopback, player %s on %s (%s), %dx%d\n", who.program.c_str(), who.os.c_str(),
                who.gl_renderer.c_str(), who.screen_width, who.screen_height);
    std::printf("the player draws %.1f frames a second (GPU %.1f ms a frame): a seek or an edit shows within a "
                "frame or two of arriving\n",
                last_frame_time.fps, last_frame_time.gpu_ms);
    report("seek -> player row", seeks);
    report("edit -> player frame", edits);
    link_peer_close(peer, "the bench is done");
    net_close(listener);
    kill(player, SIGTERM);
    int status = 0;
    waitpid(player, &status, 0);
    return seeks.size() == ROUNDS && edits.size() == ROUNDS ? 0 : fail("some rounds got no answer", 0);
}
