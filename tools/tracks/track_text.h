// Track files as text: one key a line, "ROW VALUE KIND", with '#' comments.
// The zirbelon-tracks tool converts in both directions with these; the bytes it
// writes are the ones the track set reads.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tracks/tracks.h"

struct TrackText {
    std::vector<Keyframe> keys;
    int error_line = 0;  // 1-based line of the first fault; 0 when the text is good
    std::string error;   // what is wrong on that line
};

// Reads keys from text. A line holds ROW VALUE KIND separated by blanks; '#'
// starts a comment; blank lines are skipped. ROW is a signed 32-bit integer and
// rows strictly ascend. VALUE is a decimal float, inf, -inf, nan, -nan or
// nan(0xBITS) with a NaN's whole bit pattern. KIND is -128 to 127 or one of hold,
// linear, smoothstep, quadratic.
TrackText track_text_parse(std::string_view text);

// One "ROW VALUE KIND" line per key; VALUE is the shortest text that reads back
// to the same float bits, KIND a number. Parsing the result gives the keys back.
std::string track_text_format(std::span<const Keyframe> keys);

// VALUE as track_text_format writes it, and back; nullopt for anything else.
std::string track_value_format(float value);
std::optional<float> track_value_parse(std::string_view text);

struct TrackFileName {
    std::string base;  // directories included
    std::string name;
};

// Splits "BASE_NAME.track" at the last '_' of the file's own name, so that the
// track set composes the same path again: "assets/sync_cam.dist.track" gives
// base "assets/sync" and name "cam.dist". nullopt when the name has no '_' or
// does not end in ".track".
std::optional<TrackFileName> track_file_name_split(std::string_view path);
