// The live link's connections over real loopback sockets: messages cross
// both ways whole and in order, a large one in many pieces; bytes that are no
// link end the connection with a refusal that says why; every end of a
// connection (closed, refused, stopped reading, never there) leaves a reason.
// Waits are loops of pumps with a bound on their count, never a timing.
#include <gtest/gtest.h>

#include <chrono>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "link/link_message.h"
#include "link/link_peer.h"
#include "platform/net.h"

namespace {

// Pump rounds before a wait is given up; each round yields the processor
// for a moment, so this bounds a test that went wrong, not a fast one.
constexpr int ROUNDS = 20000;

void pause_a_moment() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

// A socket of the test's own, closed however the test ends.
struct Socket {
    NetSocket socket = NET_NONE;
    ~Socket() { net_close(socket); }
};

void start_sockets() {
    std::string error;
    ASSERT_TRUE(net_start(error)) << error;
}

// A loopback listener on a free port.
void listen_anywhere(Socket& listener, uint16_t& port) {
    std::string error;
    listener.socket = net_listen("127.0.0.1", 0, error);
    ASSERT_NE(listener.socket, NET_NONE) << error;
    port = net_local_port(listener.socket);
    ASSERT_NE(port, 0);
}

// Connects to port and takes the connection from listener.
void connect_through(NetSocket listener, std::string_view host, uint16_t port, Socket& near, Socket& far,
                     std::string& far_name) {
    std::string error;
    near.socket = net_connect_start(host, port, error);
    ASSERT_NE(near.socket, NET_NONE) << error;
    NetConnect state = NetConnect::pending;
    for (int round = 0; round < ROUNDS && (state == NetConnect::pending || far.socket == NET_NONE); ++round) {
        if (state == NetConnect::pending) state = net_connect_poll(near.socket, error);
        if (far.socket == NET_NONE) far.socket = net_accept(listener, far_name);
        pause_a_moment();
    }
    ASSERT_EQ(state, NetConnect::connected) << error;
    ASSERT_NE(far.socket, NET_NONE);
}

class LinkPeerTest : public testing::Test {
protected:
    static void SetUpTestSuite() { start_sockets(); }

    // A studio's end and a player's end of one loopback connection.
    void SetUp() override {
        Socket listener;
        uint16_t port = 0;
        ASSERT_NO_FATAL_FAILURE(listen_anywhere(listener, port));
        Socket player_socket, studio_socket;
        std::string name;
        ASSERT_NO_FATAL_FAILURE(
            connect_through(listener.socket, "127.0.0.1", port, player_socket, studio_socket, name));
        player = link_peer_create(std::exchange(player_socket.socket, NET_NONE));
        studio = link_peer_create(std::exchange(studio_socket.socket, NET_NONE));
    }

    void TearDown() override {
        link_peer_close(studio, "the test ended");
        link_peer_close(player, "the test ended");
    }

    // Pumps both ends until done says so; false when the rounds ran out.
    template <typename Done>
    bool pump_until(Done done) {
        for (int round = 0; round < ROUNDS; ++round) {
            link_peer_pump(studio, from_player);
            link_peer_pump(player, from_studio);
            if (done()) return true;
            pause_a_moment();
        }
        return false;
    }

    LinkPeer studio;
    LinkPeer player;
    std::vector<LinkMessage> from_player;
    std::vector<LinkMessage> from_studio;
};

// Too large for the loopback's buffers, so that it goes in many sends and
// arrives in many pieces: 3 million keys, 27 MiB.
LinkTrack large_track() {
    LinkTrack track{"cam.dist", {}};
    track.keys.resize(3'000'000);
    for (size_t i = 0; i < track.keys.size(); ++i)
        track.keys[i] = {int32_t(2 * i) - 1'000'000, float(i) * 0.25f, int32_t(i % 4)};
    return track;
}

TEST_F(LinkPeerTest, MessagesCrossBothWaysWholeAndInOrder) {
    const std::vector<LinkMessage> studio_says = {
        LinkWelcome{},
        LinkTrack{"clear.r", {{0, 0.5f, INTERP_LINEAR}, {40, 1.0f, INTERP_HOLD}}},
        large_track(),
        LinkKeySet{"clear.g", {1310, 0.25f, INTERP_SMOOTHSTEP}},
        LinkKeyDelete{"cam.rot", 7},
        LinkShader{LinkScene::title, "void main() { gl_FragColor = vec4(1.0); }\n"},
        LinkTransport{true, 600.25, true, 1280.0, 1360.0, 0.5},
    };
    const std::vector<LinkMessage> player_says = {
        LinkHello{LINK_VERSION, "zirbelon-player 0.1.0", "Linux", "llvmpipe", "4.5 Mesa", 1920, 1080},
        LinkPlayerRow{1309.875},
        LinkFrameTime{4.25f, 59.94f},
        LinkShaderLog{LinkScene::title, false, "0:12(3): error: syntax error\n"},
    };
    for (const LinkMessage& message : player_says) link_peer_send(player, message);
    for (const LinkMessage& message : studio_says) link_peer_send(studio, message);
    ASSERT_GT(studio.unsent_bytes, 0u) << "the large track went in one send; it tests nothing here";

    // No pump reads more than its share, however much waits.
    size_t held = link_decoder_buffered(player.decoder);
    const bool done = pump_until([&] {
        const size_t now = link_decoder_buffered(player.decoder);
        EXPECT_LE(now, held + LINK_PUMP_BYTES_MAX);
        held = now;
        return from_studio.size() >= studio_says.size() && from_player.size() >= player_says.size();
    });
    ASSERT_TRUE(done) << from_studio.size() << " of the studio's messages and " << from_player.size()
                      << " of the player's arrived; " << studio.closed << player.closed;
    EXPECT_EQ(from_studio, studio_says);
    EXPECT_EQ(from_player, player_says);
    EXPECT_EQ(studio.unsent_bytes, 0u);
    EXPECT_TRUE(studio.unsent.empty());
    EXPECT_TRUE(link_peer_open(studio));
    EXPECT_TRUE(link_peer_open(player));
}

TEST_F(LinkPeerTest, BytesThatAreNoLinkAreRefusedWithTheReason) {
    const std::string request = "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";
    std::string error;
    ASSERT_EQ(net_send(player.socket, std::span(reinterpret_cast<const uint8_t*>(request.data()), request.size()),
                       error),
              int64_t(request.size()))
        << error;

    ASSERT_TRUE(pump_until([&] { return !link_peer_open(studio) && !link_peer_open(player); }));
    EXPECT_TRUE(from_player.empty());
    EXPECT_EQ(studio.socket, NET_NONE);
    EXPECT_EQ(studio.closed.rfind("bad bytes from the peer: ", 0), 0u) << studio.closed;
    EXPECT_NE(studio.closed.find("not a link frame"), std::string::npos) << studio.closed;

    ASSERT_EQ(from_studio.size(), 1u);
    const auto* refusal = std::get_if<LinkRefusal>(&from_studio[0]);
    ASSERT_NE(refusal, nullptr);
    EXPECT_EQ(refusal->version, LINK_VERSION);
    EXPECT_EQ(refusal->reason, studio.closed);
    EXPECT_FALSE(player.closed.empty());
}

TEST_F(LinkPeerTest, ARefusalCarriesTheReasonCutToItsBoundOnACharacter) {
    // 1,023 bytes, then a two-byte character across the bound.
    const std::string reason = std::string(LINK_TEXT_MAX - 1, 'r') + "\xc3\xa9 and more";
    link_peer_refuse(studio, reason);
    EXPECT_EQ(studio.socket, NET_NONE);
    EXPECT_EQ(studio.closed, reason);

    ASSERT_TRUE(pump_until([&] { return !link_peer_open(player); }));
    ASSERT_EQ(from_studio.size(), 1u);
    const auto* refusal = std::get_if<LinkRefusal>(&from_studio[0]);
    ASSERT_NE(refusal, nullptr);
    EXPECT_EQ(refusal->reason, std::string(LINK_TEXT_MAX - 1, 'r'));
    EXPECT_EQ(player.closed, "the connection ended");
}

TEST_F(LinkPeerTest, AnEndThatClosesIsSeenClosedWithAReason) {
    link_peer_send(player, LinkPlayerRow{12.5});
    link_peer_close(player, "the player quit");
    EXPECT_EQ(player.socket, NET_NONE);
    EXPECT_EQ(player.closed, "the player quit");

    ASSERT_TRUE(pump_until([&] { return !link_peer_open(studio); }));
    EXPECT_EQ(from_player, std::vector<LinkMessage>{LinkPlayerRow{12.5}});
    EXPECT_EQ(studio.socket, NET_NONE);
    EXPECT_EQ(studio.closed, "the connection ended");

    // A closed end stays closed with its first reason.
    link_peer_send(studio, LinkTransport{});
    link_peer_refuse(studio, "too late");
    link_peer_close(studio, "later still");
    EXPECT_EQ(studio.closed, "the connection ended");
    EXPECT_TRUE(studio.unsent.empty());
}

TEST_F(LinkPeerTest, SendingToAnEndThatClosedEndsWithAReason) {
    link_peer_close(player, "the player quit");
    for (int round = 0; round < ROUNDS && link_peer_open(studio); ++round) {
        link_peer_send(studio, LinkTransport{});
        pause_a_moment();
    }
    EXPECT_FALSE(link_peer_open(studio));
    EXPECT_FALSE(studio.closed.empty());
}

TEST_F(LinkPeerTest, AnEndThatStopsReadingIsClosedBeforeTheQueueGrowsPastItsBound) {
    const LinkShader shader{LinkScene::landscape, std::string(LINK_SHADER_BYTES_MAX, 'x')};
    const size_t sends_max = LINK_UNSENT_MAX / LINK_SHADER_BYTES_MAX + 256;
    size_t sends = 0;
    for (; sends < sends_max && link_peer_open(studio); ++sends) {
        link_peer_send(studio, shader);
        EXPECT_LE(studio.unsent_bytes, LINK_UNSENT_MAX);
    }
    EXPECT_FALSE(link_peer_open(studio)) << sends << " shaders queued";
    EXPECT_EQ(studio.closed, "the peer stopped reading");
    EXPECT_TRUE(studio.unsent.empty());
    EXPECT_GT(sends, LINK_UNSENT_MAX / LINK_SHADER_BYTES_MAX);
}

class NetTest : public testing::Test {
protected:
    static void SetUpTestSuite() { start_sockets(); }
};

TEST_F(NetTest, HostNamesAreLookedUpAndAcceptedConnectionsNamed) {
    Socket listener;
    uint16_t port = 0;
    ASSERT_NO_FATAL_FAILURE(listen_anywhere(listener, port));
    std::string name;
    EXPECT_EQ(net_accept(listener.socket, name), NET_NONE) << "nobody connected yet";

    Socket near, far;
    ASSERT_NO_FATAL_FAILURE(connect_through(listener.socket, "localhost", port, near, far, name));
    EXPECT_EQ(name.rfind("127.0.0.1:", 0), 0u) << name;
    std::string error;
    uint8_t byte = 0;
    EXPECT_EQ(net_receive(far.socket, std::span(&byte, 1), error), 0) << "nothing was sent";
}

TEST_F(NetTest, ConnectingWhereNobodyListensFails) {
    uint16_t port = 0;
    {
        Socket listener;
        ASSERT_NO_FATAL_FAILURE(listen_anywhere(listener, port));
    }
    std::string error;
    Socket near;
    near.socket = net_connect_start("127.0.0.1", port, error);
    ASSERT_NE(near.socket, NET_NONE) << error;
    NetConnect state = NetConnect::pending;
    for (int round = 0; round < ROUNDS && state == NetConnect::pending; ++round) {
        state = net_connect_poll(near.socket, error);
        pause_a_moment();
    }
    EXPECT_EQ(state, NetConnect::failed);
    EXPECT_EQ(error.rfind("cannot connect: ", 0), 0u) << error;
    EXPECT_GT(error.size(), std::string("cannot connect: ").size());
}

TEST_F(NetTest, ListeningOnAPortInUseSaysWhere) {
    Socket listener;
    uint16_t port = 0;
    ASSERT_NO_FATAL_FAILURE(listen_anywhere(listener, port));
    std::string error;
    Socket second;
    second.socket = net_listen("127.0.0.1", port, error);
    EXPECT_EQ(second.socket, NET_NONE);
    const std::string where = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": ";
    EXPECT_EQ(error.rfind(where, 0), 0u) << error;
    EXPECT_GT(error.size(), where.size()) << error;
}

}  // namespace
