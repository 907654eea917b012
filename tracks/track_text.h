// Track files as text: one key a line, "ROW VALUE KIND", with '#' comments.
// The zirbelon-tracks tool converts in both directions with these and the
// studio edits texts through them; the bytes made from a text are the ones the
// track set reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tracks/tracks.h"

// The four interpolation kinds as a text names them, and the letter a tracker
// cell shows for each; indexed by InterpKind.
struct InterpKindName {
    std::string_view name;
    char letter;
};
inline constexpr InterpKindName INTERP_KIND_NAMES[] = {
    {"hold", 'h'}, {"linear", 'l'}, {"smoothstep", 's'}, {"quadratic", 'q'}};

// The kind's name; nullopt for a kind outside the four.
std::optional<std::string_view> interp_kind_name(int32_t kind);
// The kind's letter; '?' for a kind outside the four.
char interp_kind_letter(int32_t kind);

// Where a key stands in the text: its line, from 1, and the columns that its
// three fields cover there, from the first field's start to the last one's end.
struct TrackTextPlace {
    int line = 0;
    size_t first = 0;
    size_t end = 0;
};

struct TrackText {
    std::vector<Keyframe> keys;
    std::vector<TrackTextPlace> places;  // one for each key
    int error_line = 0;  // 1-based line of the first fault; 0 when the text is good
    std::string error;   // what is wrong on that line
};

// Reads keys from text. Lines end at '\n'. A line holds ROW VALUE KIND
// separated by blanks; '#' starts a comment; blank lines are skipped. ROW is a
// signed 32-bit integer and rows strictly ascend. VALUE is a finite decimal
// float (track_key_value_parse). KIND is -128 to 127 or one of hold, linear,
// smoothstep, quadratic.
TrackText track_text_parse(std::string_view text);

// One "ROW VALUE KIND" line per key; VALUE is the shortest text that reads back
// to the same float bits, KIND a number. Parsing the result gives the keys back.
std::string track_text_format(std::span<const Keyframe> keys);

// VALUE as track_text_format writes it, and back; nullopt for anything else.
// Every float has a spelling: inf, -inf, nan, -nan, or nan(0xBITS) with a
// NaN's whole bit pattern, so that dump shows whatever a file holds.
std::string track_value_format(float value);
std::optional<float> track_value_parse(std::string_view text);

// A token of a text (a field, an argument) quoted for a message: cut to its
// first 60 characters, with what is not printable ASCII written as \xNN, so
// that a message stays short and plain whatever the input held.
std::string text_quote(std::string_view token);

// A key's value as makers give it (build, the studio): a finite float. A key
// that is not a number, or infinite, only slows the picture down and shows
// as nonsense. nullopt with the reason in why ("'inf' is not a finite
// number: ...").
std::optional<float> track_key_value_parse(std::string_view text, std::string& why);
