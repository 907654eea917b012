// Track files, their bytes described once: the track set's loader, the tools
// and the tests all read and write them through these functions.
//
// A track file is little-endian: an 8-byte count field whose low 4 bytes are
// the signed key count (the high 4 are read and ignored), then packed 9-byte
// keys: int32 row, float32 value, int8 kind. No magic, no header beyond the
// count; bytes after the last key are never read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tracks/tracks.h"

inline constexpr size_t TRACK_FILE_COUNT_BYTES = 8;
inline constexpr size_t TRACK_FILE_ROW_BYTES = 4;
inline constexpr size_t TRACK_FILE_VALUE_BYTES = 4;
inline constexpr size_t TRACK_FILE_KIND_BYTES = 1;
inline constexpr size_t TRACK_FILE_KEY_BYTES = TRACK_FILE_ROW_BYTES + TRACK_FILE_VALUE_BYTES + TRACK_FILE_KIND_BYTES;

// "BASE_NAME.track", the file a set with that base name reads a track from,
// into out with its terminating zero. False, with out untouched, when the path
// would be longer than TRACK_PATH_MAX (a path cut short would name another
// file) or when the base or the name holds a zero byte (the C library would
// open a shorter path).
bool track_file_path_compose(std::string_view base, std::string_view name,
                             std::span<char, TRACK_PATH_MAX + 1> out);
// The same path as a string; nullopt where the set would refuse it.
std::optional<std::string> track_file_path(std::string_view base, std::string_view name);

struct TrackFileName {
    std::string base;  // directories included
    std::string name;
};

// The other way: splits "BASE_NAME.track" at the last '_' of the file's own
// name, so that the track set composes the same path again:
// "assets/sync_cam.dist.track" gives base "assets/sync" and name "cam.dist".
// nullopt when the file's name has no '_' or does not end in ".track".
std::optional<TrackFileName> track_file_name_split(std::string_view path);

// The name of the track that a set with that base reads from a file of that
// name (no folder): "cam.dist" from "sync_cam.dist.track" for base "sync".
// nullopt when no track of the set reads it.
std::optional<std::string> track_file_track_name(std::string_view base, std::string_view file);

// The key count of a count field: its low 4 bytes as a signed number.
int32_t track_file_count_decode(std::span<const uint8_t, TRACK_FILE_COUNT_BYTES> field);
// One key from its three fields, the kind's byte widened with its sign.
Keyframe track_file_key_decode(std::span<const uint8_t, TRACK_FILE_ROW_BYTES> row,
                               std::span<const uint8_t, TRACK_FILE_VALUE_BYTES> value,
                               std::span<const uint8_t, TRACK_FILE_KIND_BYTES> kind);

// The parts of a file, appended to out: a count field as it stands (tests make
// odd ones), and one key with its kind cut to its low byte.
void track_file_count_append(std::vector<uint8_t>& out, uint64_t field);
void track_file_key_append(std::vector<uint8_t>& out, const Keyframe& key);

// The whole file for these keys: their count (high half zero), then the keys.
std::vector<uint8_t> track_file_encode(std::span<const Keyframe> keys);

// A file's bytes read the way the track set reads them, with what the set
// does not say: whether the count field was whole and what it promised.
struct TrackFileContents {
    std::vector<Keyframe> keys;  // the whole keys, up to the count
    bool has_count = false;      // the file holds all 8 bytes of its count field
    int32_t count = 0;           // the key count it promises (0 without a count field)
    uint64_t size = 0;           // the file's bytes
};
TrackFileContents track_file_decode(std::span<const uint8_t> bytes);

// Largest track file a tool reads: far more keys than any presentation has.
inline constexpr uint64_t TRACK_FILE_BYTES_MAX = uint64_t(1) << 31;

// Loads a track file by its path, for tools. Only a regular file is read (a
// FIFO would block, a device might never end), and no more than its size.
// False with "PATH: reason" in error.
bool track_file_load(const std::string& path, TrackFileContents& contents, std::string& error);
