// The live link's messages between the studio and a player, their bytes
// described once: each kind's record, its bounds, one frame's encoding and one
// payload's decoding. docs/link.md is the protocol's description for people;
// link_decoder.h cuts a byte stream into frames.
//
// A frame is an 8-byte header (the magic "ZL", the kind as uint16, the
// payload's length as uint32) and the payload. Everything is little-endian and
// fixed-width; texts are a uint32 length and their bytes; a key is 9 bytes as
// in a track file (int32 row, float32 bits, int8 kind).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tracks/track_file.h"
#include "tracks/tracks.h"

// Both sides must speak the same version; hello, welcome and refusal lead
// with it, and their first four bytes keep that place in every version.
inline constexpr uint32_t LINK_VERSION = 1;
inline constexpr uint16_t LINK_PORT = 7720;  // the studio listens there unless told otherwise

inline constexpr uint8_t LINK_MAGIC[2] = {'Z', 'L'};
inline constexpr size_t LINK_HEADER_BYTES = 8;

enum class LinkKind : uint16_t {
    hello = 1,       // player -> studio, first
    welcome = 2,     // studio -> player, the versions agree
    refusal = 3,     // either way, then the connection ends
    track = 4,       // studio -> player: a track's name and all its keys
    key_set = 5,     // studio -> player
    key_delete = 6,  // studio -> player
    shader = 7,      // studio -> player: a scene's fragment text
    transport = 8,   // studio -> player
    player_row = 9,  // player -> studio
    frame_time = 10, // player -> studio
    shader_log = 11, // player -> studio
};

enum class LinkScene : uint8_t { landscape = 0, title = 1 };

// Texts of the handshake: a program's, a system's or a GL's name, a reason.
inline constexpr size_t LINK_TEXT_MAX = 1024;
// Whatever a version puts in them, hello, welcome and refusal stay this short.
inline constexpr size_t LINK_HANDSHAKE_PAYLOAD_MAX = 8192;
// A longer name could not name a track file.
inline constexpr size_t LINK_TRACK_NAME_MAX = TRACK_PATH_MAX;
// As many keys as the largest track file a tool reads holds.
inline constexpr uint32_t LINK_TRACK_KEYS_MAX =
    uint32_t((TRACK_FILE_BYTES_MAX - TRACK_FILE_COUNT_BYTES) / TRACK_FILE_KEY_BYTES);
inline constexpr size_t LINK_SHADER_BYTES_MAX = size_t(1) << 20;
inline constexpr size_t LINK_SHADER_LOG_BYTES_MAX = size_t(1) << 20;
// The longest payload of any kind: a track with the longest name and the most keys.
inline constexpr size_t LINK_PAYLOAD_MAX =
    4 + LINK_TRACK_NAME_MAX + 4 + size_t(LINK_TRACK_KEYS_MAX) * TRACK_FILE_KEY_BYTES;

struct LinkHello {
    uint32_t version = LINK_VERSION;
    std::string program;      // the player's name and its own version
    std::string os;
    std::string gl_renderer;  // GL_RENDERER
    std::string gl_version;   // GL_VERSION
    int32_t screen_width = 0;
    int32_t screen_height = 0;
    bool operator==(const LinkHello&) const = default;
};

struct LinkWelcome {
    uint32_t version = LINK_VERSION;
    bool operator==(const LinkWelcome&) const = default;
};

struct LinkRefusal {
    uint32_t version = LINK_VERSION;  // the refusing side's
    std::string reason;
    bool operator==(const LinkRefusal&) const = default;
};

// Keys compare by their value's bits, so that a NaN's payload survives a round trip.
struct LinkTrack {
    std::string name;
    std::vector<Keyframe> keys;  // rows strictly ascend; kinds fit in int8
    bool operator==(const LinkTrack&) const;
};

struct LinkKeySet {
    std::string track;
    Keyframe key{};
    bool operator==(const LinkKeySet&) const;
};

struct LinkKeyDelete {
    std::string track;
    int32_t row = 0;
    bool operator==(const LinkKeyDelete&) const = default;
};

struct LinkShader {
    LinkScene scene = LinkScene::landscape;
    std::string text;
    bool operator==(const LinkShader&) const = default;
};

// Rows are the music's seconds x 20, fractional; every number is finite.
struct LinkTransport {
    bool playing = false;
    double row = 0.0;      // where it plays from, or stands paused
    bool loop = false;
    double loop_in = 0.0;  // the span stays when the loop is off; in < out when on
    double loop_out = 0.0;
    double speed = 1.0;    // above 0
    bool operator==(const LinkTransport&) const = default;
};

struct LinkPlayerRow {
    double row = 0.0;  // finite
    bool operator==(const LinkPlayerRow&) const = default;
};

struct LinkFrameTime {
    float gpu_ms = 0.0f;  // negative where the GL cannot time a frame
    float fps = 0.0f;     // not negative
    bool operator==(const LinkFrameTime&) const = default;
};

struct LinkShaderLog {
    LinkScene scene = LinkScene::landscape;
    bool built = false;  // the program linked
    std::string log;
    bool operator==(const LinkShaderLog&) const = default;
};

using LinkMessage = std::variant<LinkHello, LinkWelcome, LinkRefusal, LinkTrack, LinkKeySet, LinkKeyDelete,
                                 LinkShader, LinkTransport, LinkPlayerRow, LinkFrameTime, LinkShaderLog>;

LinkKind link_message_kind(const LinkMessage& message);
// "hello", "key set", ...: for reasons and logs; "unknown" for other numbers.
std::string_view link_kind_name(uint16_t kind);

// One whole frame. The message must be within its kind's bounds (what
// link_payload_decode accepts); a key's kind is cut to its low byte.
std::vector<uint8_t> link_message_encode(const LinkMessage& message);

// The longest payload a frame of that kind may announce; nullopt for a kind
// this version does not know, which a receiver skips.
std::optional<size_t> link_payload_max(uint16_t kind);

// One frame's payload of a known kind. False, with why in error, for anything
// outside the kind's layout and bounds. A hello or welcome of another version
// gives its version alone, since the rest is laid out as that version says.
bool link_payload_decode(uint16_t kind, std::span<const uint8_t> payload, LinkMessage& message,
                         std::string& error);

// The studio's answer to a hello: a welcome, or a refusal saying which
// versions met.
LinkMessage link_hello_answer(const LinkHello& hello);
// The player's check of a welcome: empty when the versions agree, else what
// it shows before it ends the connection.
std::string link_welcome_check(const LinkWelcome& welcome);
