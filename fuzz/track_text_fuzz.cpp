// libFuzzer target: the track text reader and writer of zirbelon-tracks.
//
// The input is read three ways: as a track text, as keys (9 bytes each: row,
// value bits and kind, sorted into ascending rows) and as a track file path.
// Besides the sanitizers, it checks what the tool relies on: accepted text has
// strictly ascending rows and kinds that fit a byte, writing those keys and
// reading them back gives the same keys bit for bit and the same text again
// (a value that is not finite reads back bit for bit, NaN payloads too, but
// is refused as a key on its own line), CRLF line ends read like LF, each key's place names its
// line and the columns that alone read as that key, a fault names a line of
// the text, the lines above it read cleanly and the text cut after it fails
// the same way; a split path composes back to itself.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tracks/track_file.h"
#include "tracks/track_text.h"

namespace {

// Names the failing check's line: the checks are inlined, so the stack trace
// does not.
void check(bool holds, int line = __builtin_LINE()) {
    if (holds) return;
    std::fprintf(stderr, "check failed: %s line %d\n", __FILE__, line);
    std::abort();
}

bool same_keys(std::span<const Keyframe> a, std::span<const Keyframe> b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].row != b[i].row || a[i].kind != b[i].kind ||
            std::bit_cast<uint32_t>(a[i].value) != std::bit_cast<uint32_t>(b[i].value))
            return false;
    return true;
}

bool same_result(const TrackText& a, const TrackText& b) {
    return a.error_line == b.error_line && a.error == b.error && same_keys(a.keys, b.keys);
}

// Lines as the reader counts them: a last line without '\n' is one too.
int line_count(std::string_view text) {
    const auto newlines = std::count(text.begin(), text.end(), '\n');
    return int(newlines) + (text.empty() || text.back() == '\n' ? 0 : 1);
}

// The text up to and without line `line` (1-based); all of it when it has
// fewer lines.
std::string_view lines_before(std::string_view text, int line) {
    size_t at = 0;
    for (int i = 1; i < line && at < text.size(); ++i) {
        const size_t newline = text.find('\n', at);
        at = newline == text.npos ? text.size() : newline + 1;
    }
    return text.substr(0, at);
}

std::string with_crlf(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// Writing keys and reading the text back must give them again, and writing
// what was read must give the same text; a key that is not finite is written
// (its bits read back as a value) but refused on its own line.
void check_round_trip(std::span<const Keyframe> keys) {
    const std::string text = track_text_format(keys);
    check(line_count(text) == int(keys.size()));
    const TrackText back = track_text_parse(text);
    const auto refused = std::find_if(keys.begin(), keys.end(), [](const Keyframe& key) { return !std::isfinite(key.value); });
    for (const Keyframe& key : keys) {
        const auto value = track_value_parse(track_value_format(key.value));
        check(value && std::bit_cast<uint32_t>(*value) == std::bit_cast<uint32_t>(key.value));
    }
    if (refused != keys.end()) {
        check(back.error_line == int(refused - keys.begin()) + 1 && back.keys.empty());
        return;
    }
    check(back.error_line == 0 && back.error.empty());
    check(same_keys(back.keys, keys));
    check(track_text_format(back.keys) == text);
}

// The line numbered `line` (from 1), without its '\n'.
std::string_view line_of(std::string_view text, int line) {
    const std::string_view from = text.substr(lines_before(text, line).size());
    return from.substr(0, from.find('\n'));
}

void check_text(std::string_view text) {
    const TrackText parsed = track_text_parse(text);
    check(same_result(track_text_parse(with_crlf(text)), parsed));
    if (parsed.error_line == 0) {
        check(parsed.error.empty());
        check(parsed.places.size() == parsed.keys.size());
        for (size_t i = 0; i < parsed.keys.size(); ++i) {
            check(parsed.keys[i].kind >= INT8_MIN && parsed.keys[i].kind <= INT8_MAX);
            if (i > 0) check(parsed.keys[i - 1].row < parsed.keys[i].row);
            if (i > 0) check(parsed.places[i - 1].line < parsed.places[i].line);
            const TrackTextPlace& place = parsed.places[i];
            const std::string_view line = line_of(text, place.line);
            check(place.first < place.end && place.end <= line.size());
            const TrackText alone = track_text_parse(line.substr(place.first, place.end - place.first));
            check(alone.error_line == 0 && same_keys(alone.keys, std::span(&parsed.keys[i], 1)));
        }
        check_round_trip(parsed.keys);
        return;
    }
    check(!parsed.error.empty() && parsed.keys.empty());
    check(parsed.error_line >= 1 && parsed.error_line <= line_count(text));
    const TrackText before = track_text_parse(lines_before(text, parsed.error_line));
    check(before.error_line == 0);
    const TrackText through = track_text_parse(lines_before(text, parsed.error_line + 1));
    check(same_result(through, parsed));
}

std::vector<Keyframe> keys_from_bytes(std::span<const uint8_t> bytes) {
    std::vector<Keyframe> keys;
    for (; bytes.size() >= 9; bytes = bytes.subspan(9)) {
        Keyframe key;
        uint32_t value_bits;
        std::memcpy(&key.row, bytes.data(), 4);
        std::memcpy(&value_bits, bytes.data() + 4, 4);
        key.value = std::bit_cast<float>(value_bits);
        key.kind = int8_t(bytes[8]);
        keys.push_back(key);
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Keyframe& a, const Keyframe& b) { return a.row < b.row; });
    keys.erase(std::unique(keys.begin(), keys.end(), [](const Keyframe& a, const Keyframe& b) { return a.row == b.row; }),
               keys.end());
    return keys;
}

void check_path(std::string_view path) {
    const auto split = track_file_name_split(path);
    if (!split) return;
    check(split->base + "_" + split->name + ".track" == path);
    check(split->name.find_first_of("_/") == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_text(text);
    check_round_trip(keys_from_bytes({data, size}));
    check_path(text);
    return 0;
}
