// Conversion between track keys, their text form and their file bytes.
#include "tracks/track_text.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace {

constexpr uint32_t QUIET_NAN_BITS = 0x7fc00000u;
constexpr uint32_t NEGATIVE_QUIET_NAN_BITS = 0xffc00000u;

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == s.npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// from_chars refuses a leading '+', which people write.
std::string_view drop_plus(std::string_view s) {
    if (s.size() > 1 && s[0] == '+' && s[1] != '-' && s[1] != '+') s.remove_prefix(1);
    return s;
}

template <typename Number>
std::optional<Number> parse_whole(std::string_view text) {
    text = drop_plus(text);
    Number number{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return number;
}

std::optional<int32_t> kind_parse(std::string_view text) {
    for (size_t kind = 0; kind < std::size(INTERP_KIND_NAMES); ++kind)
        if (text == INTERP_KIND_NAMES[kind].name) return int32_t(kind);
    const auto number = parse_whole<int32_t>(text);
    if (!number || *number < INT8_MIN || *number > INT8_MAX) return std::nullopt;
    return number;
}

}  // namespace

std::optional<std::string_view> interp_kind_name(int32_t kind) {
    if (kind < 0 || size_t(kind) >= std::size(INTERP_KIND_NAMES)) return std::nullopt;
    return INTERP_KIND_NAMES[size_t(kind)].name;
}

char interp_kind_letter(int32_t kind) {
    if (kind < 0 || size_t(kind) >= std::size(INTERP_KIND_NAMES)) return '?';
    return INTERP_KIND_NAMES[size_t(kind)].letter;
}

std::string track_value_format(float value) {
    const auto bits = std::bit_cast<uint32_t>(value);
    if (std::isnan(value)) {
        if (bits == QUIET_NAN_BITS) return "nan";
        if (bits == NEGATIVE_QUIET_NAN_BITS) return "-nan";
        char text[32];
        std::snprintf(text, sizeof text, "nan(0x%08x)", unsigned(bits));
        return text;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::optional<float> track_value_parse(std::string_view text) {
    if (text == "nan") return std::bit_cast<float>(QUIET_NAN_BITS);
    if (text == "-nan") return std::bit_cast<float>(NEGATIVE_QUIET_NAN_BITS);
    constexpr std::string_view nan_open = "nan(0x";
    if (text.starts_with(nan_open) && text.ends_with(")")) {
        const std::string_view hex = text.substr(nan_open.size(), text.size() - nan_open.size() - 1);
        uint32_t bits = 0;
        const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), bits, 16);
        if (ec != std::errc() || end != hex.data() + hex.size() || hex.size() > 8) return std::nullopt;
        const float value = std::bit_cast<float>(bits);
        if (!std::isnan(value)) return std::nullopt;
        return value;
    }
    const auto value = parse_whole<float>(text);
    // Every other NaN spelling would leave its bits to chance.
    if (value && std::isnan(*value)) return std::nullopt;
    return value;
}

std::string text_quote(std::string_view token) {
    constexpr size_t SHOWN = 60;
    std::string quoted = "'";
    for (const char c : token.substr(0, SHOWN)) {
        if (c >= ' ' && c <= '~') {
            quoted += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(static_cast<unsigned char>(c)));
            quoted += escaped;
        }
    }
    quoted += token.size() > SHOWN ? "'... (" + std::to_string(token.size()) + " bytes)" : "'";
    return quoted;
}

std::optional<float> track_key_value_parse(std::string_view text, std::string& why) {
    const std::optional<float> value = track_value_parse(text);
    if (value && std::isfinite(*value)) return value;
    // One rule for every spelling: inf, INF, Infinity, nan, NaN, nan(0x...).
    const auto wide = parse_whole<double>(text);
    const char* reason = "is not a float";
    if (value || (wide && !std::isfinite(*wide)))
        reason = "is not a finite number: a key's value lies from -3.4e38 to 3.4e38";
    else if (wide)
        reason = "is beyond a float's range, -3.4e38 to 3.4e38";
    std::ostringstream message;
    message << text_quote(text) << ' ' << reason;
    why = message.str();
    return std::nullopt;
}

TrackText track_text_parse(std::string_view text) {
    TrackText result;
    int line_number = 0;
    int previous_line = 0;
    while (!text.empty()) {
        ++line_number;
        const auto newline = text.find('\n');
        const std::string_view whole = text.substr(0, newline);
        text = newline == text.npos ? std::string_view() : text.substr(newline + 1);
        const std::string_view line = trim(whole.substr(0, whole.find('#')));
        if (line.empty()) continue;

        std::array<std::string_view, 3> fields;
        size_t count = 0;
        std::string_view rest = line;
        while (!rest.empty()) {
            const auto end = rest.find_first_of(" \t");
            if (count < fields.size()) fields[count] = rest.substr(0, end);
            ++count;
            rest = end == rest.npos ? std::string_view() : trim(rest.substr(end));
        }
        auto fail = [&](std::string message) {
            result.keys.clear();
            result.places.clear();
            result.error_line = line_number;
            result.error = std::move(message);
            return result;
        };
        if (count != 3)
            return fail("expected ROW VALUE KIND, found " + std::to_string(count) + " field" +
                        (count == 1 ? "" : "s"));
        const auto row = parse_whole<int32_t>(fields[0]);
        if (!row) return fail("row " + text_quote(fields[0]) + " is not a 32-bit integer");
        std::string why;
        const auto value = track_key_value_parse(fields[1], why);
        if (!value) return fail("value " + why);
        const auto kind = kind_parse(fields[2]);
        if (!kind)
            return fail("kind " + text_quote(fields[2]) +
                        " is neither -128 to 127 nor hold, linear, smoothstep, quadratic");
        if (!result.keys.empty() && *row <= result.keys.back().row)
            return fail("row " + std::to_string(*row) + " does not ascend from row " +
                        std::to_string(result.keys.back().row) + " on line " + std::to_string(previous_line));
        result.keys.push_back({*row, *value, *kind});
        const size_t first = size_t(line.data() - whole.data());
        result.places.push_back({line_number, first, first + line.size()});
        previous_line = line_number;
    }
    return result;
}

std::string track_text_format(std::span<const Keyframe> keys) {
    std::string text;
    for (const Keyframe& key : keys) {
        text += std::to_string(key.row);
        text += ' ';
        text += track_value_format(key.value);
        text += ' ';
        text += std::to_string(key.kind);
        text += '\n';
    }
    return text;
}
