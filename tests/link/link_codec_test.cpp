// The live link's codec: every message comes back as it went, in one piece or
// a byte at a time; every bound is refused with its reason before memory is
// taken for it; unknown kinds are skipped; versions that differ are refused;
// cut frames wait and garbage ends the stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "link/link_decoder.h"
#include "link/link_message.h"
#include "tests/link/largest_request.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<LinkMessage> every_kind() {
    std::vector<LinkMessage> messages;
    messages.push_back(LinkHello{LINK_VERSION, "zirbelon-player 0.1.0", "Linux", "llvmpipe (LLVM 15.0.6, 256 bits)",
                                 "4.5 (Compatibility Profile) Mesa 22.3.6", 1920, 1080});
    messages.push_back(LinkWelcome{});
    messages.push_back(LinkRefusal{LINK_VERSION, "the player speaks link version 2"});
    messages.push_back(LinkTrack{"cam.dist",
                                 {{-5, 1.5f, INTERP_LINEAR},
                                  {0, -0.0f, INTERP_HOLD},
                                  {7, std::bit_cast<float>(0x7fc01234u), -128},
                                  {1 << 30, std::numeric_limits<float>::infinity(), 127}}});
    messages.push_back(LinkTrack{"clear.r", {}});
    messages.push_back(LinkKeySet{"clear.g", {1310, 0.25f, INTERP_SMOOTHSTEP}});
    messages.push_back(LinkKeyDelete{"cam.rot", -2147483647 - 1});
    messages.push_back(LinkShader{LinkScene::title, "void main() { gl_FragColor = vec4(1.0); }\n"});
    messages.push_back(LinkShader{LinkScene::landscape, std::string(LINK_SHADER_BYTES_MAX, 'x')});
    messages.push_back(LinkTransport{true, 600.25, true, 1280.0, 1360.0, 0.5});
    messages.push_back(LinkTransport{false, 0.0, false, 5.0, 5.0, 2.0});
    messages.push_back(LinkPlayerRow{1309.875});
    messages.push_back(LinkFrameTime{4.25f, 59.94f});
    messages.push_back(LinkShaderLog{LinkScene::title, false, "0:12(3): error: syntax error\n"});
    return messages;
}

// Feeds the bytes in pieces of that size, reading every message that is whole.
std::vector<LinkMessage> decode_in_pieces(const Bytes& bytes, size_t piece, LinkNext* last = nullptr) {
    LinkDecoder decoder;
    std::vector<LinkMessage> messages;
    LinkNext next;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        link_decoder_feed(decoder, std::span(bytes).subspan(at, std::min(piece, bytes.size() - at)));
        while ((next = link_decoder_next(decoder)).status == LinkStatus::message)
            messages.push_back(std::move(next.message));
        EXPECT_LE(link_decoder_buffered(decoder), LINK_BUFFER_MAX);
    }
    if (last) *last = next;
    return messages;
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes header(uint16_t kind, uint32_t length) {
    return {'Z', 'L', uint8_t(kind), uint8_t(kind >> 8), uint8_t(length), uint8_t(length >> 8),
            uint8_t(length >> 16), uint8_t(length >> 24)};
}

Bytes u32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes frame(uint16_t kind, const Bytes& payload) {
    Bytes out = header(kind, uint32_t(payload.size()));
    out.resize(LINK_HEADER_BYTES + payload.size());
    std::copy(payload.begin(), payload.end(), out.begin() + LINK_HEADER_BYTES);
    return out;
}

// What the decoder says of these bytes once all are in: the first fault.
std::string fault_of(const Bytes& bytes) {
    LinkNext last;
    const std::vector<LinkMessage> messages = decode_in_pieces(bytes, LINK_FEED_BYTES_MAX, &last);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(last.status, LinkStatus::error);
    return last.error;
}

// A frame of a message with one field's bytes changed.
Bytes encoded_with(const LinkMessage& message, size_t at, const Bytes& bytes) {
    Bytes out = link_message_encode(message);
    std::copy(bytes.begin(), bytes.end(), out.begin() + std::ptrdiff_t(LINK_HEADER_BYTES + at));
    return out;
}

uint16_t kind_number(LinkKind kind) { return uint16_t(kind); }

TEST(LinkRoundTrip, EveryKindComesBackInOnePieceAndByteByByte) {
    const std::vector<LinkMessage> sent = every_kind();
    Bytes stream;
    for (const LinkMessage& message : sent) {
        const Bytes bytes = link_message_encode(message);
        EXPECT_EQ(decode_in_pieces(bytes, std::min(bytes.size(), LINK_FEED_BYTES_MAX)),
                  std::vector<LinkMessage>{message});
        if (bytes.size() < 4096) {
            EXPECT_EQ(decode_in_pieces(bytes, 1), std::vector<LinkMessage>{message});
        }
        append(stream, bytes);
    }
    for (size_t piece : {size_t(1), size_t(7), size_t(4096), LINK_FEED_BYTES_MAX}) {
        LinkNext last;
        EXPECT_EQ(decode_in_pieces(stream, piece, &last), sent) << "pieces of " << piece;
        EXPECT_EQ(last.status, LinkStatus::more);
    }
}

TEST(LinkRoundTrip, EveryKindIsCovered) {
    std::vector<bool> seen(std::variant_size_v<LinkMessage>);
    for (const LinkMessage& message : every_kind()) seen[message.index()] = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), false), 0);
}

TEST(LinkRoundTrip, FramesAreLaidOutAsDocumented) {
    const Bytes bytes = link_message_encode(LinkKeySet{"t", {-2, 1.0f, -1}});
    const Bytes expected = {'Z', 'L', 5, 0, 14, 0, 0, 0,           // header: kind 5, 14 bytes
                            1, 0, 0, 0, 't',                      // name
                            0xfe, 0xff, 0xff, 0xff,               // row -2
                            0x00, 0x00, 0x80, 0x3f, 0xff};        // 1.0f, kind -1
    EXPECT_EQ(bytes, expected);
    const Bytes transport = link_message_encode(LinkTransport{true, 1.0, false, 0.0, 0.0, 1.0});
    ASSERT_EQ(transport.size(), LINK_HEADER_BYTES + 34);
    EXPECT_EQ(transport[2], 8);
    EXPECT_EQ(transport[8], 1);
    EXPECT_EQ(Bytes(transport.begin() + 9, transport.begin() + 17), (Bytes{0, 0, 0, 0, 0, 0, 0xf0, 0x3f}));
}

// docs/link.md gives these numbers to people who write players.
TEST(LinkBounds, TheDocumentedNumbersHold) {
    EXPECT_EQ(LINK_VERSION, 1u);
    EXPECT_EQ(LINK_PORT, 7720);
    EXPECT_EQ(LINK_TRACK_KEYS_MAX, 238609293u);
    EXPECT_EQ(LINK_PAYLOAD_MAX, 2147483904u);
    EXPECT_EQ(LINK_BUFFER_MAX, 2147549448u);
    EXPECT_EQ(LINK_FEED_BYTES_MAX, 65536u);
    const std::vector<size_t> documented = {8192, 8192, 8192, 2147483904, 272, 267, 1048581, 34, 8, 8, 1048582};
    for (size_t kind = 1; kind <= documented.size(); ++kind)
        EXPECT_EQ(link_payload_max(uint16_t(kind)), documented[kind - 1]) << link_kind_name(uint16_t(kind));
    EXPECT_EQ(link_payload_max(0), std::nullopt);
    EXPECT_EQ(link_payload_max(uint16_t(documented.size() + 1)), std::nullopt);
}

TEST(LinkBounds, LengthsAboveAKindsBoundEndAtTheHeader) {
    struct Case {
        LinkKind kind;
        size_t max;
    };
    for (const Case& c : {Case{LinkKind::shader, 5 + LINK_SHADER_BYTES_MAX},
                          Case{LinkKind::shader_log, 6 + LINK_SHADER_LOG_BYTES_MAX},
                          Case{LinkKind::hello, LINK_HANDSHAKE_PAYLOAD_MAX},
                          Case{LinkKind::player_row, 8}, Case{LinkKind::transport, 34},
                          Case{LinkKind::key_set, 4 + LINK_TRACK_NAME_MAX + 9},
                          Case{LinkKind::track, LINK_PAYLOAD_MAX}}) {
        EXPECT_EQ(link_payload_max(kind_number(c.kind)), c.max);
        g_largest_request = 0;
        const std::string error = fault_of(header(kind_number(c.kind), uint32_t(c.max + 1)));
        EXPECT_NE(error.find("a payload of " + std::to_string(c.max + 1) + " bytes; at most " +
                             std::to_string(c.max)),
                  error.npos)
            << error;
        EXPECT_LT(g_largest_request, size_t(1) << 16) << link_kind_name(kind_number(c.kind));
    }
    EXPECT_NE(fault_of(header(0xffff, 0xffffffff)).find("unknown, kind 65535): a payload of 4294967295"),
              std::string::npos);
}

TEST(LinkBounds, APayloadWaitsWithoutMemoryForWhatItAnnounces) {
    LinkDecoder decoder;
    g_largest_request = 0;
    Bytes partial = header(kind_number(LinkKind::shader), uint32_t(5 + LINK_SHADER_BYTES_MAX));
    append(partial, Bytes(100, ' '));
    link_decoder_feed(decoder, partial);
    EXPECT_EQ(link_decoder_next(decoder).status, LinkStatus::more);
    EXPECT_LT(g_largest_request, size_t(1024));
    // Its kind is known from the header, so a receiver may refuse it at once.
    EXPECT_EQ(link_decoder_kind_arriving(decoder), kind_number(LinkKind::shader));
}

TEST(LinkBounds, NoKindArrivesBeforeAWholeHeaderNorAfterAFault) {
    LinkDecoder decoder;
    const Bytes whole = header(kind_number(LinkKind::track), 1000);
    link_decoder_feed(decoder, std::span(whole).first(7));
    EXPECT_EQ(link_decoder_kind_arriving(decoder), std::nullopt);
    LinkDecoder wrong;
    link_decoder_feed(wrong, Bytes{'G', 'E', 'T', ' ', '/', ' ', 'H', 'T'});
    EXPECT_EQ(link_decoder_next(wrong).status, LinkStatus::error);
    EXPECT_EQ(link_decoder_kind_arriving(wrong), std::nullopt);
}

TEST(LinkBounds, TextsLongerThanTheirFieldsAllowAreRefused) {
    struct Case {
        LinkMessage message;
        size_t at;  // the length field's place in the payload
        size_t max;
        std::string field;
    };
    const std::vector<Case> cases = {
        {LinkShader{LinkScene::title, "x"}, 1, LINK_SHADER_BYTES_MAX, "shader text"},
        {LinkShaderLog{LinkScene::title, true, "x"}, 2, LINK_SHADER_LOG_BYTES_MAX, "shader log"},
        {LinkTrack{"t", {}}, 0, LINK_TRACK_NAME_MAX, "track name"},
        {LinkKeySet{"t", {}}, 0, LINK_TRACK_NAME_MAX, "track name"},
        {LinkKeyDelete{"t", 0}, 0, LINK_TRACK_NAME_MAX, "track name"},
        {LinkRefusal{1, "x"}, 4, LINK_TEXT_MAX, "reason"},
        {LinkHello{1, "x", "", "", "", 1, 1}, 4, LINK_TEXT_MAX, "program"},
        {LinkHello{1, "", "", "", "x", 1, 1}, 16, LINK_TEXT_MAX, "GL version"},
    };
    for (const Case& c : cases) {
        g_largest_request = 0;
        const std::string error = fault_of(encoded_with(c.message, c.at, u32(uint32_t(c.max + 1))));
        EXPECT_NE(error.find(c.field + " of " + std::to_string(c.max + 1) + " bytes; at most " +
                             std::to_string(c.max)),
                  error.npos)
            << error;
        EXPECT_LT(g_largest_request, size_t(1) << 16) << c.field;
    }
    // At the bound itself they pass.
    for (const LinkMessage& message :
         {LinkMessage{LinkTrack{std::string(LINK_TRACK_NAME_MAX, 'n'), {}}},
          LinkMessage{LinkRefusal{2, std::string(LINK_TEXT_MAX, 'r')}},
          LinkMessage{LinkShaderLog{LinkScene::landscape, true, std::string(LINK_SHADER_LOG_BYTES_MAX, 'l')}}})
        EXPECT_EQ(decode_in_pieces(link_message_encode(message), LINK_FEED_BYTES_MAX),
                  std::vector<LinkMessage>{message});
}

TEST(LinkBounds, KeyCountsAreCheckedBeforeKeysGetMemory) {
    // The count field follows the 4-byte name "t".
    g_largest_request = 0;
    std::string error = fault_of(encoded_with(LinkTrack{"t", {}}, 5, u32(LINK_TRACK_KEYS_MAX + 1)));
    EXPECT_NE(error.find(std::to_string(LINK_TRACK_KEYS_MAX + 1) + " keys; at most " +
                         std::to_string(LINK_TRACK_KEYS_MAX)),
              error.npos)
        << error;
    error = fault_of(encoded_with(LinkTrack{"t", {}}, 5, u32(LINK_TRACK_KEYS_MAX)));
    EXPECT_NE(error.find("keys promised, fewer there"), error.npos) << error;
    EXPECT_LT(g_largest_request, size_t(1) << 16);
    EXPECT_EQ(LINK_TRACK_KEYS_MAX, (TRACK_FILE_BYTES_MAX - TRACK_FILE_COUNT_BYTES) / TRACK_FILE_KEY_BYTES);
}

TEST(LinkBounds, MalformedFieldsAreRefusedWithTheirReason) {
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        Bytes bytes;
        std::string reason;
    };
    auto f64 = [](double v) {
        const uint64_t u = std::bit_cast<uint64_t>(v);
        Bytes out;
        for (int i = 0; i < 8; ++i) out.push_back(uint8_t(u >> (8 * i)));
        return out;
    };
    const LinkTransport transport{true, 10.0, true, 1.0, 2.0, 1.0};
    const std::vector<Case> cases = {
        {encoded_with(transport, 1, f64(nan)), "row is not finite"},
        {encoded_with(transport, 10, f64(-inf)), "loop start is not finite"},
        {encoded_with(transport, 18, f64(0.5)), "a loop that ends before it starts"},
        {encoded_with(transport, 26, f64(0.0)), "is not above 0"},
        {encoded_with(transport, 0, {2}), "playing is 2, not 0 or 1"},
        {encoded_with(LinkPlayerRow{1.0}, 0, f64(inf)), "row is not finite"},
        {encoded_with(LinkFrameTime{1.0f, 60.0f}, 4, u32(std::bit_cast<uint32_t>(-1.0f))), "negative rate"},
        {encoded_with(LinkShader{LinkScene::title, ""}, 0, {2}), "no scene 2"},
        {encoded_with(LinkShaderLog{LinkScene::title, true, ""}, 1, {7}), "built is 7"},
        {encoded_with(LinkKeySet{"ab", {}}, 4, {0}), "track name holds a zero byte"},
        {encoded_with(LinkHello{1, "", "", "", "", 1, 1}, 20, u32(uint32_t(-1))), "negative screen size"},
        {encoded_with(LinkTrack{"t", {{1, 0.0f, 0}, {2, 0.0f, 0}}}, 9 + 9, u32(1)), "row 1 after row 1"},
        {frame(kind_number(LinkKind::player_row), Bytes(7, 0)), "row runs past the payload's end"},
        {frame(kind_number(LinkKind::welcome), Bytes{1, 0, 0, 0, 9}), "1 bytes after the last field"},
    };
    for (const Case& c : cases) {
        const std::string error = fault_of(c.bytes);
        EXPECT_NE(error.find(c.reason), error.npos) << error << " (expected: " << c.reason << ")";
    }
}

TEST(LinkBounds, AFeedLargerThanAllowedEndsTheStream) {
    LinkDecoder decoder;
    link_decoder_feed(decoder, Bytes(LINK_FEED_BYTES_MAX + 1, 'Z'));
    const LinkNext next = link_decoder_next(decoder);
    EXPECT_EQ(next.status, LinkStatus::error);
    EXPECT_NE(next.error.find("a feed of " + std::to_string(LINK_FEED_BYTES_MAX + 1)), next.error.npos);
    EXPECT_EQ(link_decoder_buffered(decoder), 0u);
}

TEST(LinkUnknownKinds, AreSkippedByTheirLength) {
    Bytes stream = link_message_encode(LinkPlayerRow{1.0});
    append(stream, frame(200, Bytes(1000, 0xab)));  // bytes a receiver must not read
    append(stream, frame(0, {}));
    append(stream, link_message_encode(LinkPlayerRow{2.0}));
    const std::vector<LinkMessage> expected = {LinkPlayerRow{1.0}, LinkPlayerRow{2.0}};
    for (size_t piece : {size_t(1), size_t(3), stream.size()}) EXPECT_EQ(decode_in_pieces(stream, piece), expected);
}

TEST(LinkUnknownKinds, ALongOneIsDroppedAsItComesNotHeld) {
    LinkDecoder decoder;
    const uint32_t length = 64u << 20;
    link_decoder_feed(decoder, header(300, length));
    const Bytes piece(LINK_FEED_BYTES_MAX, 0x5a);
    for (uint32_t sent = 0; sent < length; sent += uint32_t(piece.size())) {
        ASSERT_EQ(link_decoder_next(decoder).status, LinkStatus::more);
        link_decoder_feed(decoder, piece);
        ASSERT_LE(link_decoder_buffered(decoder), LINK_FEED_BYTES_MAX + LINK_HEADER_BYTES);
    }
    link_decoder_feed(decoder, link_message_encode(LinkPlayerRow{3.0}));
    const LinkNext next = link_decoder_next(decoder);
    ASSERT_EQ(next.status, LinkStatus::message);
    EXPECT_EQ(next.message, LinkMessage{LinkPlayerRow{3.0}});
}

TEST(LinkVersion, TheStudioWelcomesItsOwnVersionAndRefusesAnother) {
    EXPECT_EQ(link_hello_answer(LinkHello{}), LinkMessage{LinkWelcome{LINK_VERSION}});
    const LinkMessage answer = link_hello_answer(LinkHello{LINK_VERSION + 1, "", "", "", "", 0, 0});
    ASSERT_TRUE(std::holds_alternative<LinkRefusal>(answer));
    const LinkRefusal& refusal = std::get<LinkRefusal>(answer);
    EXPECT_EQ(refusal.version, LINK_VERSION);
    EXPECT_NE(refusal.reason.find("version " + std::to_string(LINK_VERSION + 1)), refusal.reason.npos);
    EXPECT_NE(refusal.reason.find("version " + std::to_string(LINK_VERSION)), refusal.reason.npos);
    // The refusal reaches the player whole, so it can show why.
    EXPECT_EQ(decode_in_pieces(link_message_encode(answer), 1), std::vector<LinkMessage>{answer});
}

TEST(LinkVersion, ThePlayerRefusesAWelcomeOfAnotherVersion) {
    EXPECT_EQ(link_welcome_check(LinkWelcome{}), "");
    const std::string reason = link_welcome_check(LinkWelcome{LINK_VERSION + 7});
    EXPECT_NE(reason.find("version " + std::to_string(LINK_VERSION + 7)), reason.npos) << reason;
}

TEST(LinkVersion, AHelloOrWelcomeOfAnotherVersionGivesItsVersionWhateverFollows) {
    Bytes hello = u32(LINK_VERSION + 1);
    append(hello, Bytes{'n', 'e', 'w', 0xff, 0xff, 0xff, 0xff});  // not this version's layout
    Bytes welcome = u32(LINK_VERSION + 1);
    append(welcome, Bytes(20, 0xee));
    Bytes stream = frame(kind_number(LinkKind::hello), hello);
    append(stream, frame(kind_number(LinkKind::welcome), welcome));
    const std::vector<LinkMessage> expected = {LinkHello{LINK_VERSION + 1, "", "", "", "", 0, 0},
                                               LinkWelcome{LINK_VERSION + 1}};
    EXPECT_EQ(decode_in_pieces(stream, 1), expected);
}

TEST(LinkStream, EveryCutFrameWaitsForTheRest) {
    for (const LinkMessage& message : every_kind()) {
        const Bytes bytes = link_message_encode(message);
        if (bytes.size() > 4096) continue;
        for (size_t cut = 0; cut < bytes.size(); ++cut) {
            LinkDecoder decoder;
            link_decoder_feed(decoder, std::span(bytes).first(cut));
            ASSERT_EQ(link_decoder_next(decoder).status, LinkStatus::more) << cut;
            link_decoder_feed(decoder, std::span(bytes).subspan(cut));
            const LinkNext next = link_decoder_next(decoder);
            ASSERT_EQ(next.status, LinkStatus::message) << cut;
            EXPECT_EQ(next.message, message);
        }
    }
}

TEST(LinkStream, GarbageEndsItAtOnceAndForGood) {
    const std::string request = "GET / HTTP/1.1\r\nHost: studio\r\n\r\n";
    LinkDecoder decoder;
    link_decoder_feed(decoder, std::span(reinterpret_cast<const uint8_t*>(request.data()), request.size()));
    LinkNext next = link_decoder_next(decoder);
    ASSERT_EQ(next.status, LinkStatus::error);
    EXPECT_NE(next.error.find("frame 1 starts with 47, not a link frame"), next.error.npos)
        << next.error;
    EXPECT_EQ(link_decoder_buffered(decoder), 0u);
    // Valid bytes after a fault change nothing: the connection is to be closed.
    link_decoder_feed(decoder, link_message_encode(LinkPlayerRow{}));
    EXPECT_EQ(link_decoder_next(decoder).error, next.error);
    EXPECT_EQ(link_decoder_buffered(decoder), 0u);

    // A wrong first byte is enough; a good message before it still arrives.
    Bytes stream = link_message_encode(LinkWelcome{});
    stream.push_back('X');
    LinkNext last;
    EXPECT_EQ(decode_in_pieces(stream, 1, &last), std::vector<LinkMessage>{LinkWelcome{}});
    EXPECT_EQ(last.status, LinkStatus::error);
    EXPECT_NE(last.error.find("frame 2 starts with 58,"), last.error.npos) << last.error;
    EXPECT_NE(fault_of({'Z', 'Z', 'L'}).find("frame 1 starts with 5a 5a, not a link frame"), std::string::npos);
}

TEST(LinkStream, RandomBytesNeverLoopNorGrowTheBuffer) {
    std::mt19937 random(21);
    for (int round = 0; round < 200; ++round) {
        Bytes bytes(1 + random() % 300);
        for (uint8_t& b : bytes) b = uint8_t(random());
        bytes[0] = 'Z';
        if (bytes.size() > 1) bytes[1] = 'L';
        LinkDecoder decoder;
        size_t fed = 0;
        for (uint8_t b : bytes) {
            link_decoder_feed(decoder, std::span(&b, 1));
            ++fed;
            // Each message takes at least a header's bytes, so this many reads end it.
            size_t reads = 0;
            while (link_decoder_next(decoder).status == LinkStatus::message) ASSERT_LE(++reads, fed / LINK_HEADER_BYTES);
            ASSERT_LE(link_decoder_buffered(decoder), fed);
        }
    }
}

}  // namespace
