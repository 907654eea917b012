// Sync tracks: named keyframed curves read from small binary track files, and
// their evaluation at fractional rows (music seconds x 20).
//
// Each track is read from a file of its own (tracks/track_file.h has its bytes).
// Failures are returned, never thrown.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// How the interval from one key to the next is shaped. Any other kind number
// makes its interval evaluate to 0.
enum InterpKind : int32_t {
    INTERP_HOLD = 0,
    INTERP_LINEAR = 1,
    INTERP_SMOOTHSTEP = 2,
    INTERP_QUADRATIC = 3,
};

struct Keyframe {
    int32_t row;
    float value;
    int32_t kind;  // an InterpKind, or any other number
};

struct Track {
    std::string name;
    std::vector<Keyframe> keys;  // empty until loaded, and when the file is missing
};

// The only way the set reaches the file system; tests install their own.
struct TrackFileOps {
    void* (*open)(const char* path, const char* mode);                  // null on failure
    size_t (*read)(void* buffer, size_t size, size_t count, void* file);  // elements read
    int (*close)(void* file);
};

struct TrackSet {
    std::string base_name;
    std::vector<std::unique_ptr<Track>> tracks;  // in order of first request; never moves a Track
    TrackFileOps file_ops;
};

using TrackSetPtr = std::unique_ptr<TrackSet>;

// Longest path a track file may have, without its terminating zero.
inline constexpr size_t TRACK_PATH_MAX = 259;

// The C library's fread and fclose, and an open that gives only a regular file
// and never waits: a FIFO, a device or a directory is a missing track.
TrackFileOps track_file_ops_stdio();

// A new, empty set with the C library's file operations; null when out of memory.
TrackSetPtr trackset_create(std::string_view base_name);

// The track of that name, created and loaded on its first request. A missing or
// unreadable file gives an empty track, not null; null only when memory for the
// new track runs out, and the set is then unchanged.
Track* trackset_get_track(TrackSet& set, std::string_view name);

// Reads the track's keys from "<base>_<name>.track". 0 on success; -1 when the
// path is longer than TRACK_PATH_MAX or holds a zero byte, the file cannot be
// opened (or is no regular file) or memory runs out (the track is then empty). A file shorter than its
// count promises keeps the keys read whole; the key array grows with the keys
// actually read, so a huge count costs nothing.
int track_load(TrackSet& set, Track& track);

// Releases the base name, then each track's name, keys and record, then the
// track array, then the set.
void trackset_destroy(TrackSetPtr set);

// The track's value at a fractional row; 0 for a track with no keys. Rows whose
// floor lies below the 32-bit range, -inf and NaN give the first key's value;
// rows above the range and +inf give the last key's.
double track_value(const Track& track, double row);

// The value at a row of the interval from key a to the next key b, as
// track_value shapes it: for walks along a track that know their interval.
double track_interval_value(const Keyframe& a, const Keyframe& b, double row);
