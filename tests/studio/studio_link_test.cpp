// The studio's live link server in this process, with stand-in players of
// link connections over loopback: the handshake and the whole state in the
// connect sequence's order, edits, texts and transports reaching every
// player, faults and silence ending one connection and no other, and the
// clock following the player that leads. The studio's clock is made up; waits
// are loops of pumps with a bound on their count, never a timing.
#include "tools/studio/studio_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "presentation/presentation.h"

namespace {

constexpr int ROUNDS = 20000;
constexpr int64_t MS = 1'000'000;
constexpr int64_t T0 = 555'000 * 1'000 * MS;

const std::vector<Keyframe> DIST = {{0, 1.0f, INTERP_LINEAR}, {40, 2.0f, INTERP_HOLD}, {80, 3.0f, INTERP_LINEAR}};

// A player as the link sees it: a connection, and what it was sent.
struct Player {
    LinkPeer peer;
    std::vector<LinkMessage> got;
    ~Player() { link_peer_close(peer, "the test ended"); }
};

LinkHello hello_of(uint32_t version = LINK_VERSION) {
    return {version, "stand-in 1.0", "Testix", "a renderer", "4.6 test", 1920, 1080};
}

template <typename T>
size_t count_of(const std::vector<LinkMessage>& messages) {
    size_t n = 0;
    for (const LinkMessage& message : messages) n += std::holds_alternative<T>(message);
    return n;
}

class StudioLinkTest : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(studio_link_listen(link, "127.0.0.1", 0, error)) << error;
        port = net_local_port(link.listener);
        for (const char* name : {"clear.r", "cam.dist"}) {
            EditTrack track;
            track.document.name = name;
            track.track.name = name;
            session.model.tracks.push_back(track);
        }
        session.model.tracks[1].track.keys = DIST;
        session.transport = transport_create(180.0);
    }

    // One round of the studio's frame, its clock a millisecond on.
    void studio_frame() {
        now += MS;
        studio_link_update(link, session, landscape, title, now);
    }

    // Rounds of the studio and every player until done says so.
    template <typename Done>
    bool rounds_until(Done done) {
        for (int round = 0; round < ROUNDS; ++round) {
            studio_frame();
            for (Player* player : players) link_peer_pump(player->peer, player->got);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    std::unique_ptr<Player> connect() {
        auto player = std::make_unique<Player>();
        std::string error;
        const NetSocket socket = net_connect_start("127.0.0.1", port, error);
        EXPECT_NE(socket, NET_NONE) << error;
        NetConnect state = NetConnect::pending;
        for (int round = 0; round < ROUNDS && state == NetConnect::pending; ++round)
            state = net_connect_poll(socket, error);
        EXPECT_EQ(state, NetConnect::connected) << error;
        player->peer = link_peer_create(socket);
        players.push_back(player.get());
        return player;
    }

    // Connected, welcomed and holding the whole state.
    std::unique_ptr<Player> join() {
        std::unique_ptr<Player> player = connect();
        link_peer_send(player->peer, hello_of());
        EXPECT_TRUE(rounds_until([&] { return count_of<LinkTransport>(player->got) == 1; }));
        player->got.clear();
        return player;
    }

    StudioPlayer* studio_side(size_t i) { return i < link.players.size() ? &link.players[i] : nullptr; }

    StudioLink link;
    StudioSession session;
    uint16_t port = 0;
    std::string landscape = "void main() { /* land */ }";
    std::string title = "void main() { /* title */ }";
    int64_t now = T0;
    std::vector<Player*> players;
};

TEST_F(StudioLinkTest, AHelloIsWelcomedThenTheWholeStateComesInOrder) {
    ASSERT_TRUE(transport_set_loop(session.transport, 10.0, 20.0, now));
    transport_seek(session.transport, 12.0, now);
    std::unique_ptr<Player> player = connect();
    link_peer_send(player->peer, hello_of());
    ASSERT_TRUE(rounds_until([&] { return player->got.size() >= 6; }));
    const std::vector<LinkMessage>& got = player->got;
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[0], LinkMessage(LinkWelcome{}));
    EXPECT_EQ(got[1], LinkMessage(LinkTrack{"clear.r", {}}));
    EXPECT_EQ(got[2], LinkMessage(LinkTrack{"cam.dist", DIST}));
    EXPECT_EQ(got[3], LinkMessage(LinkShader{LinkScene::landscape, landscape}));
    EXPECT_EQ(got[4], LinkMessage(LinkShader{LinkScene::title, title}));
    LinkTransport transport;
    transport.row = 240.0;
    transport.loop = true;
    transport.loop_in = 200.0;
    transport.loop_out = 400.0;
    EXPECT_EQ(got[5], LinkMessage(transport));

    ASSERT_NE(studio_side(0), nullptr);
    EXPECT_TRUE(studio_side(0)->welcomed);
    EXPECT_EQ(studio_side(0)->hello, hello_of());
    ASSERT_FALSE(link.news.empty());
    EXPECT_NE(link.news.back().find("joined: Testix, a renderer, GL 4.6 test, 1920x1080"), std::string::npos)
        << link.news.back();
}

TEST_F(StudioLinkTest, EditsTextsAndTransportsReachEveryPlayer) {
    std::unique_ptr<Player> first = join();
    std::unique_ptr<Player> second = join();

    session.model.tracks[1].track.keys[1].value = 2.5f;
    ++session.edits;
    title = "void main() { /* a new title */ }";
    transport_play(session.transport, now);
    studio_link_transport(link, session.transport, now);
    const auto all_came = [](const Player& p) { return p.got.size() == 3; };
    ASSERT_TRUE(rounds_until([&] { return all_came(*first) && all_came(*second); }));
    for (const Player* player : {first.get(), second.get()}) {
        // The transport goes at once; the frame's changes follow.
        ASSERT_TRUE(std::holds_alternative<LinkTransport>(player->got[0]));
        EXPECT_TRUE(std::get<LinkTransport>(player->got[0]).playing);
        EXPECT_EQ(player->got[1], LinkMessage(LinkKeySet{"cam.dist", {40, 2.5f, INTERP_HOLD}}));
        EXPECT_EQ(player->got[2], LinkMessage(LinkShader{LinkScene::title, title}));
    }

    // Nothing changed, nothing goes.
    first->got.clear();
    ++session.edits;
    for (int i = 0; i < 20; ++i) studio_frame();
    link_peer_pump(first->peer, first->got);
    EXPECT_TRUE(first->got.empty());
}

TEST_F(StudioLinkTest, BadBytesEndThatConnectionAloneWithAReason) {
    std::unique_ptr<Player> browser = join();
    std::unique_ptr<Player> player = join();
    const std::string request = "GET / HTTP/1.1\r\n\r\n";
    const std::span bytes(reinterpret_cast<const uint8_t*>(request.data()), request.size());
    std::string error;
    ASSERT_EQ(net_send(browser->peer.socket, bytes, error), int64_t(request.size())) << error;
    ASSERT_TRUE(rounds_until([&] { return !link.players[0].gone.empty(); }));
    EXPECT_NE(link.players[0].gone.find("bad bytes"), std::string::npos) << link.players[0].gone;
    EXPECT_NE(link.news.back().find("player 1 (stand-in 1.0, 127.0.0.1:"), std::string::npos) << link.news.back();
    EXPECT_NE(link.news.back().find("gone: bad bytes"), std::string::npos) << link.news.back();
    EXPECT_EQ(studio_link_connected(link), 1u);

    session.model.tracks[1].track.keys.push_back({100, 0.5f, INTERP_HOLD});
    ++session.edits;
    ASSERT_TRUE(rounds_until([&] { return !player->got.empty(); }));
    EXPECT_EQ(player->got[0], LinkMessage(LinkKeySet{"cam.dist", {100, 0.5f, INTERP_HOLD}}));
    ASSERT_TRUE(rounds_until([&] { return !link_peer_open(browser->peer); }));
    EXPECT_EQ(count_of<LinkRefusal>(browser->got), 1u) << "the refusal says why before the end";
}

TEST_F(StudioLinkTest, WhatAPlayerMayNotSayEndsItsConnection) {
    const struct {
        const char* what;
        bool hello_first;
        LinkMessage said;
        const char* reason;
    } cases[] = {
        {"a row before the hello", false, LinkPlayerRow{1.0}, "a player row before the hello"},
        {"another version", false, hello_of(2), "the player speaks link version 2, this studio version 1"},
        {"a studio's message", true, LinkTrack{"cam.rot", {}}, "a track from a player"},
        {"a second hello", true, hello_of(), "a second hello"},
        {"a refusal", true, LinkRefusal{LINK_VERSION, "no GL 3.3 here"}, "it refused: no GL 3.3 here"},
    };
    size_t number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<Player> player = c.hello_first ? join() : connect();
        link_peer_send(player->peer, c.said);
        ASSERT_TRUE(rounds_until([&] { return link.players.size() > number && !link.players[number].gone.empty(); }));
        EXPECT_EQ(link.players[number].gone, c.reason);
        ASSERT_TRUE(rounds_until([&] { return !link_peer_open(player->peer); })) << "the studio closed it";
        players.clear();
        ++number;
    }
}

TEST_F(StudioLinkTest, AStudiosBigMessageIsRefusedFromItsHeader) {
    std::unique_ptr<Player> player = join();
    // A track announcing 2 GiB, of which nothing more comes: refused without waiting.
    const uint8_t header[] = {'Z', 'L', 4, 0, 0xf0, 0xff, 0xff, 0x7f, 0, 0, 0};
    std::string error;
    ASSERT_EQ(net_send(player->peer.socket, header, error), int64_t(sizeof header)) << error;
    ASSERT_TRUE(rounds_until([&] { return !link.players[0].gone.empty(); }));
    EXPECT_EQ(link.players[0].gone, "a track from a player");
}

TEST_F(StudioLinkTest, APlayerWithoutAHelloIsDroppedAfterFiveSeconds) {
    std::unique_ptr<Player> silent = connect();
    ASSERT_TRUE(rounds_until([&] { return studio_link_connected(link) == 1; }));
    now += STUDIO_LINK_HELLO_NS - 10 * MS;
    studio_frame();
    EXPECT_TRUE(link.players[0].gone.empty()) << "not yet";
    now += 10 * MS;
    ASSERT_TRUE(rounds_until([&] { return !link.players[0].gone.empty(); }));
    EXPECT_EQ(link.players[0].gone, "no hello within 5 seconds");
    ASSERT_TRUE(rounds_until([&] { return count_of<LinkRefusal>(silent->got) == 1; }));
    // Shown for a while, then no more.
    now += STUDIO_LINK_GONE_SHOWN_NS + MS;
    studio_frame();
    EXPECT_TRUE(link.players.empty());
}

TEST_F(StudioLinkTest, APlayersReportsAreKept) {
    std::unique_ptr<Player> player = join();
    link_peer_send(player->peer, LinkFrameTime{2.5f, 59.5f});
    link_peer_send(player->peer, LinkShaderLog{LinkScene::title, false, "0:1(3): error: oops\n"});
    link_peer_send(player->peer, LinkShaderLog{LinkScene::landscape, true, ""});
    const StudioPlayer& studio = link.players[0];
    ASSERT_TRUE(rounds_until([&] { return studio.shaders[0].reported; }));
    EXPECT_TRUE(studio.timed);
    EXPECT_EQ(studio.gpu_ms, 2.5f);
    EXPECT_EQ(studio.fps, 59.5f);
    EXPECT_TRUE(studio.shaders[0].built);
    EXPECT_FALSE(studio.shaders[1].built);
    EXPECT_EQ(studio.shaders[1].log, "0:1(3): error: oops\n");
    EXPECT_EQ(studio.shaders[1].source, title) << "the text it failed on, for its failing line";
    EXPECT_NE(link.news.back().find("the title shader does not build there"), std::string::npos);
}

TEST_F(StudioLinkTest, TheFirstPlayerThatPlaysLeadsTheClock) {
    std::unique_ptr<Player> first = join();
    std::unique_ptr<Player> second = join();
    transport_play(session.transport, now);
    studio_link_transport(link, session.transport, now);
    EXPECT_EQ(studio_link_leader(link, session), nullptr) << "the studio leads until a player plays";

    // Past the rows after a transport that may be old, the second plays first.
    now += STUDIO_LINK_STALE_NS;
    link_peer_send(second->peer, LinkPlayerRow{610.0});
    ASSERT_TRUE(rounds_until([&] { return link.players[1].played; }));
    ASSERT_EQ(studio_link_leader(link, session), &link.players[1]);
    EXPECT_DOUBLE_EQ(transport_seconds(session.transport, link.players[1].row_ns), 30.5)
        << "the play head is at its row when it came";

    link_peer_send(first->peer, LinkPlayerRow{612.0});
    ASSERT_TRUE(rounds_until([&] { return link.players[0].played; }));
    EXPECT_EQ(studio_link_leader(link, session), &link.players[0]) << "the first connected of those that play";
    EXPECT_DOUBLE_EQ(transport_seconds(session.transport, link.players[0].row_ns), 30.6);

    session.studio_leads = true;
    EXPECT_EQ(studio_link_leader(link, session), nullptr) << "the maker took the lead";
    link_peer_send(first->peer, LinkPlayerRow{1000.0});
    ASSERT_TRUE(rounds_until([&] { return link.players[0].row == 1000.0; }));
    EXPECT_LT(transport_seconds(session.transport, now), 32.0) << "the studio's clock runs on its own";
}

TEST_F(StudioLinkTest, RowsFromBeforeASeekDoNotMoveThePlayHead) {
    std::unique_ptr<Player> player = join();
    transport_play(session.transport, now);
    studio_link_transport(link, session.transport, now);
    now += STUDIO_LINK_STALE_NS;
    link_peer_send(player->peer, LinkPlayerRow{20.0});
    ASSERT_TRUE(rounds_until([&] { return link.players[0].played; }));

    transport_seek(session.transport, 100.0, now);
    studio_link_transport(link, session.transport, now);
    link_peer_send(player->peer, LinkPlayerRow{21.0});  // drawn before the seek arrived
    link_peer_send(player->peer, LinkFrameTime{1.0f, 60.0f});  // to know that the row came
    ASSERT_TRUE(rounds_until([&] { return link.players[0].timed; }));
    EXPECT_EQ(link.players[0].row, 20.0);
    EXPECT_GE(transport_seconds(session.transport, now), 100.0) << "the play head stays where the studio sought";

    link_peer_send(player->peer, LinkPlayerRow{2000.5});
    ASSERT_TRUE(rounds_until([&] { return link.players[0].row == 2000.5; }));
    EXPECT_DOUBLE_EQ(transport_seconds(session.transport, link.players[0].row_ns), 100.025);

    // Once the player has been where the studio is, its rows are the truth again.
    link_peer_send(player->peer, LinkPlayerRow{1500.0});
    ASSERT_TRUE(rounds_until([&] { return link.players[0].row == 1500.0; }));
    EXPECT_DOUBLE_EQ(transport_seconds(session.transport, link.players[0].row_ns), 75.0);
}

TEST_F(StudioLinkTest, PlayersBeyondTheMostAreTurnedAway) {
    std::vector<std::unique_ptr<Player>> many;
    for (size_t i = 0; i < STUDIO_LINK_PLAYERS_MAX; ++i) many.push_back(connect());
    ASSERT_TRUE(rounds_until([&] { return studio_link_connected(link) == STUDIO_LINK_PLAYERS_MAX; }));
    std::unique_ptr<Player> one_more = connect();
    ASSERT_TRUE(rounds_until([&] { return count_of<LinkRefusal>(one_more->got) == 1; }));
    EXPECT_EQ(std::get<LinkRefusal>(one_more->got[0]).reason, "the studio has 16 players already");
    EXPECT_EQ(studio_link_connected(link), STUDIO_LINK_PLAYERS_MAX);
}

}  // namespace
