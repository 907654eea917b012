// The live link's frames in both directions: every kind's payload written and
// read field by field, with each bound checked before anything is kept.
#include "link/link_message.h"

#include <bit>
#include <cmath>
#include <type_traits>

namespace {

bool keys_equal(const Keyframe& a, const Keyframe& b) {
    return a.row == b.row && std::bit_cast<uint32_t>(a.value) == std::bit_cast<uint32_t>(b.value) &&
           a.kind == b.kind;
}

void put_u8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }
void put_u16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(v >> shift));
}
void put_u64(std::vector<uint8_t>& out, uint64_t v) {
    for (int shift = 0; shift < 64; shift += 8) out.push_back(uint8_t(v >> shift));
}
void put_f32(std::vector<uint8_t>& out, float v) { put_u32(out, std::bit_cast<uint32_t>(v)); }
void put_f64(std::vector<uint8_t>& out, double v) { put_u64(out, std::bit_cast<uint64_t>(v)); }
void put_text(std::vector<uint8_t>& out, std::string_view text) {
    put_u32(out, uint32_t(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

void payload_append(std::vector<uint8_t>& out, const LinkHello& m) {
    put_u32(out, m.version);
    for (const std::string* text : {&m.program, &m.os, &m.gl_renderer, &m.gl_version}) put_text(out, *text);
    put_u32(out, uint32_t(m.screen_width));
    put_u32(out, uint32_t(m.screen_height));
}
void payload_append(std::vector<uint8_t>& out, const LinkWelcome& m) { put_u32(out, m.version); }
void payload_append(std::vector<uint8_t>& out, const LinkRefusal& m) {
    put_u32(out, m.version);
    put_text(out, m.reason);
}
void payload_append(std::vector<uint8_t>& out, const LinkTrack& m) {
    put_text(out, m.name);
    put_u32(out, uint32_t(m.keys.size()));
    for (const Keyframe& key : m.keys) track_file_key_append(out, key);
}
void payload_append(std::vector<uint8_t>& out, const LinkKeySet& m) {
    put_text(out, m.track);
    track_file_key_append(out, m.key);
}
void payload_append(std::vector<uint8_t>& out, const LinkKeyDelete& m) {
    put_text(out, m.track);
    put_u32(out, uint32_t(m.row));
}
void payload_append(std::vector<uint8_t>& out, const LinkShader& m) {
    put_u8(out, uint8_t(m.scene));
    put_text(out, m.text);
}
void payload_append(std::vector<uint8_t>& out, const LinkTransport& m) {
    put_u8(out, m.playing);
    put_f64(out, m.row);
    put_u8(out, m.loop);
    put_f64(out, m.loop_in);
    put_f64(out, m.loop_out);
    put_f64(out, m.speed);
}
void payload_append(std::vector<uint8_t>& out, const LinkPlayerRow& m) { put_f64(out, m.row); }
void payload_append(std::vector<uint8_t>& out, const LinkFrameTime& m) {
    put_f32(out, m.gpu_ms);
    put_f32(out, m.fps);
}
void payload_append(std::vector<uint8_t>& out, const LinkShaderLog& m) {
    put_u8(out, uint8_t(m.scene));
    put_u8(out, m.built);
    put_text(out, m.log);
}

// Reads fields in order from a payload; the first field that does not fit
// stops it with the reason, and every later read fails too.
struct Reader {
    std::span<const uint8_t> bytes;
    size_t at = 0;
    std::string error;
};

bool take(Reader& r, size_t count, std::span<const uint8_t>& out, std::string_view field) {
    if (!r.error.empty()) return false;
    if (r.bytes.size() - r.at < count) {
        r.error = std::string(field) + " runs past the payload's end";
        return false;
    }
    out = r.bytes.subspan(r.at, count);
    r.at += count;
    return true;
}

bool get_u8(Reader& r, uint8_t& v, std::string_view field) {
    std::span<const uint8_t> b;
    if (!take(r, 1, b, field)) return false;
    v = b[0];
    return true;
}
bool get_u32(Reader& r, uint32_t& v, std::string_view field) {
    std::span<const uint8_t> b;
    if (!take(r, 4, b, field)) return false;
    v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}
bool get_i32(Reader& r, int32_t& v, std::string_view field) {
    uint32_t u;
    if (!get_u32(r, u, field)) return false;
    v = int32_t(u);
    return true;
}
bool get_f32(Reader& r, float& v, std::string_view field) {
    uint32_t u;
    if (!get_u32(r, u, field)) return false;
    v = std::bit_cast<float>(u);
    return true;
}
bool get_f64(Reader& r, double& v, std::string_view field) {
    std::span<const uint8_t> b;
    if (!take(r, 8, b, field)) return false;
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i) u = u << 8 | b[size_t(i)];
    v = std::bit_cast<double>(u);
    return true;
}
bool fail(Reader& r, std::string reason) {
    if (r.error.empty()) r.error = std::move(reason);
    return false;
}
bool get_bool(Reader& r, bool& v, std::string_view field) {
    uint8_t b;
    if (!get_u8(r, b, field)) return false;
    if (b > 1) return fail(r, std::string(field) + " is " + std::to_string(b) + ", not 0 or 1");
    v = b == 1;
    return true;
}
// The length is checked against the bound before a byte of the text is kept.
bool get_text(Reader& r, std::string& text, size_t max, std::string_view field) {
    uint32_t length;
    if (!get_u32(r, length, field)) return false;
    if (length > max)
        return fail(r, std::string(field) + " of " + std::to_string(length) + " bytes; at most " +
                           std::to_string(max));
    std::span<const uint8_t> b;
    if (!take(r, length, b, field)) return false;
    text.assign(b.begin(), b.end());
    return true;
}
bool get_finite(Reader& r, double& v, std::string_view field) {
    if (!get_f64(r, v, field)) return false;
    if (!std::isfinite(v)) return fail(r, std::string(field) + " is not finite");
    return true;
}
bool get_scene(Reader& r, LinkScene& scene) {
    uint8_t b;
    if (!get_u8(r, b, "scene")) return false;
    if (b > uint8_t(LinkScene::title)) return fail(r, "no scene " + std::to_string(b));
    scene = LinkScene(b);
    return true;
}
bool get_key(Reader& r, Keyframe& key) {
    std::span<const uint8_t> b;
    if (!take(r, TRACK_FILE_KEY_BYTES, b, "key")) return false;
    key = track_file_key_decode(b.subspan<0, TRACK_FILE_ROW_BYTES>(),
                                b.subspan<TRACK_FILE_ROW_BYTES, TRACK_FILE_VALUE_BYTES>(),
                                b.subspan<TRACK_FILE_ROW_BYTES + TRACK_FILE_VALUE_BYTES, TRACK_FILE_KIND_BYTES>());
    return true;
}
bool get_track_name(Reader& r, std::string& name) {
    if (!get_text(r, name, LINK_TRACK_NAME_MAX, "track name")) return false;
    if (name.find('\0') != name.npos) return fail(r, "a track name holds a zero byte");
    return true;
}

// The version leads; another version's remaining fields are not this one's to read.
bool payload_read(Reader& r, LinkHello& m) {
    if (!get_u32(r, m.version, "version")) return false;
    if (m.version != LINK_VERSION) {
        r.at = r.bytes.size();
        return true;
    }
    get_text(r, m.program, LINK_TEXT_MAX, "program");
    get_text(r, m.os, LINK_TEXT_MAX, "system");
    get_text(r, m.gl_renderer, LINK_TEXT_MAX, "GL renderer");
    get_text(r, m.gl_version, LINK_TEXT_MAX, "GL version");
    get_i32(r, m.screen_width, "screen width");
    get_i32(r, m.screen_height, "screen height");
    if (r.error.empty() && (m.screen_width < 0 || m.screen_height < 0)) return fail(r, "a negative screen size");
    return r.error.empty();
}
bool payload_read(Reader& r, LinkWelcome& m) {
    if (!get_u32(r, m.version, "version")) return false;
    if (m.version != LINK_VERSION) r.at = r.bytes.size();
    return true;
}
bool payload_read(Reader& r, LinkRefusal& m) {
    get_u32(r, m.version, "version");
    return get_text(r, m.reason, LINK_TEXT_MAX, "reason");
}
// The count is checked against its bound and against the bytes that are
// there before the keys get any memory.
bool payload_read(Reader& r, LinkTrack& m) {
    uint32_t count;
    if (!get_track_name(r, m.name) || !get_u32(r, count, "key count")) return false;
    if (count > LINK_TRACK_KEYS_MAX)
        return fail(r, std::to_string(count) + " keys; at most " + std::to_string(LINK_TRACK_KEYS_MAX));
    if ((r.bytes.size() - r.at) / TRACK_FILE_KEY_BYTES < count)
        return fail(r, std::to_string(count) + " keys promised, fewer there");
    m.keys.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        get_key(r, m.keys[i]);
        if (i > 0 && m.keys[i].row <= m.keys[i - 1].row)
            return fail(r, "row " + std::to_string(m.keys[i].row) + " after row " +
                               std::to_string(m.keys[i - 1].row) + ": rows must ascend");
    }
    return r.error.empty();
}
bool payload_read(Reader& r, LinkKeySet& m) { return get_track_name(r, m.track) && get_key(r, m.key); }
bool payload_read(Reader& r, LinkKeyDelete& m) { return get_track_name(r, m.track) && get_i32(r, m.row, "row"); }
bool payload_read(Reader& r, LinkShader& m) {
    return get_scene(r, m.scene) && get_text(r, m.text, LINK_SHADER_BYTES_MAX, "shader text");
}
bool payload_read(Reader& r, LinkTransport& m) {
    get_bool(r, m.playing, "playing");
    get_finite(r, m.row, "row");
    get_bool(r, m.loop, "loop");
    get_finite(r, m.loop_in, "loop start");
    get_finite(r, m.loop_out, "loop end");
    get_finite(r, m.speed, "speed");
    if (!r.error.empty()) return false;
    if (m.loop && !(m.loop_in < m.loop_out)) return fail(r, "a loop that ends before it starts");
    if (!(m.speed > 0.0)) return fail(r, "speed " + std::to_string(m.speed) + " is not above 0");
    return true;
}
bool payload_read(Reader& r, LinkPlayerRow& m) { return get_finite(r, m.row, "row"); }
bool payload_read(Reader& r, LinkFrameTime& m) {
    get_f32(r, m.gpu_ms, "GPU time");
    get_f32(r, m.fps, "frame rate");
    if (!r.error.empty()) return false;
    if (!std::isfinite(m.gpu_ms) || !std::isfinite(m.fps) || m.fps < 0.0f)
        return fail(r, "a frame time or frame rate that is not finite, or a negative rate");
    return true;
}
bool payload_read(Reader& r, LinkShaderLog& m) {
    return get_scene(r, m.scene) && get_bool(r, m.built, "built") &&
           get_text(r, m.log, LINK_SHADER_LOG_BYTES_MAX, "shader log");
}

// The alternative of the variant that a kind number stands for: kinds count
// from 1 in the variant's order.
static_assert(std::is_same_v<std::variant_alternative_t<size_t(LinkKind::hello) - 1, LinkMessage>, LinkHello>);
static_assert(std::is_same_v<std::variant_alternative_t<size_t(LinkKind::track) - 1, LinkMessage>, LinkTrack>);
static_assert(std::is_same_v<std::variant_alternative_t<size_t(LinkKind::shader_log) - 1, LinkMessage>,
                             LinkShaderLog>);
template <size_t I = 0>
bool payload_read_kind(uint16_t kind, Reader& r, LinkMessage& message) {
    if constexpr (I == std::variant_size_v<LinkMessage>) {
        return fail(r, "unknown kind " + std::to_string(kind));
    } else {
        if (kind != I + 1) return payload_read_kind<I + 1>(kind, r, message);
        std::variant_alternative_t<I, LinkMessage> record;
        if (!payload_read(r, record)) return false;
        message = std::move(record);
        return true;
    }
}

}  // namespace

bool LinkTrack::operator==(const LinkTrack& other) const {
    if (name != other.name || keys.size() != other.keys.size()) return false;
    for (size_t i = 0; i < keys.size(); ++i)
        if (!keys_equal(keys[i], other.keys[i])) return false;
    return true;
}

bool LinkKeySet::operator==(const LinkKeySet& other) const {
    return track == other.track && keys_equal(key, other.key);
}

LinkKind link_message_kind(const LinkMessage& message) { return LinkKind(message.index() + 1); }

std::string_view link_kind_name(uint16_t kind) {
    switch (LinkKind(kind)) {
    case LinkKind::hello: return "hello";
    case LinkKind::welcome: return "welcome";
    case LinkKind::refusal: return "refusal";
    case LinkKind::track: return "track";
    case LinkKind::key_set: return "key set";
    case LinkKind::key_delete: return "key delete";
    case LinkKind::shader: return "shader";
    case LinkKind::transport: return "transport";
    case LinkKind::player_row: return "player row";
    case LinkKind::frame_time: return "frame time";
    case LinkKind::shader_log: return "shader log";
    }
    return "unknown";
}

std::vector<uint8_t> link_message_encode(const LinkMessage& message) {
    std::vector<uint8_t> out{LINK_MAGIC[0], LINK_MAGIC[1]};
    put_u16(out, uint16_t(link_message_kind(message)));
    put_u32(out, 0);
    std::visit([&](const auto& record) { payload_append(out, record); }, message);
    const uint32_t length = uint32_t(out.size() - LINK_HEADER_BYTES);
    for (size_t i = 0; i < 4; ++i) out[4 + i] = uint8_t(length >> (8 * i));
    return out;
}

std::optional<size_t> link_payload_max(uint16_t kind) {
    switch (LinkKind(kind)) {
    case LinkKind::hello:
    case LinkKind::welcome:
    case LinkKind::refusal: return LINK_HANDSHAKE_PAYLOAD_MAX;
    case LinkKind::track: return LINK_PAYLOAD_MAX;
    case LinkKind::key_set: return 4 + LINK_TRACK_NAME_MAX + TRACK_FILE_KEY_BYTES;
    case LinkKind::key_delete: return 4 + LINK_TRACK_NAME_MAX + 4;
    case LinkKind::shader: return 1 + 4 + LINK_SHADER_BYTES_MAX;
    case LinkKind::transport: return 1 + 8 + 1 + 8 + 8 + 8;
    case LinkKind::player_row: return 8;
    case LinkKind::frame_time: return 4 + 4;
    case LinkKind::shader_log: return 1 + 1 + 4 + LINK_SHADER_LOG_BYTES_MAX;
    }
    return std::nullopt;
}

bool link_payload_decode(uint16_t kind, std::span<const uint8_t> payload, LinkMessage& message,
                         std::string& error) {
    Reader r{payload, 0, {}};
    if (!payload_read_kind(kind, r, message) || !r.error.empty()) {
        error = r.error;
        return false;
    }
    if (r.at != payload.size()) {
        error = std::to_string(payload.size() - r.at) + " bytes after the last field";
        return false;
    }
    return true;
}

LinkMessage link_hello_answer(const LinkHello& hello) {
    if (hello.version == LINK_VERSION) return LinkWelcome{};
    return LinkRefusal{LINK_VERSION, "the player speaks link version " + std::to_string(hello.version) +
                                         ", this studio version " + std::to_string(LINK_VERSION)};
}

std::string link_welcome_check(const LinkWelcome& welcome) {
    if (welcome.version == LINK_VERSION) return {};
    return "the studio speaks link version " + std::to_string(welcome.version) + ", this player version " +
           std::to_string(LINK_VERSION);
}
