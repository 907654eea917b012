// Track set, track files and track evaluation.
#include "tracks/tracks.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "tracks/regular_open.h"
#include "tracks/track_file.h"

namespace {

// All loads compose their path here, one at a time.
char g_track_path[TRACK_PATH_MAX + 1];

// One key as three reads (row, value, kind); false when any of them falls short.
bool read_key(const TrackFileOps& ops, void* file, Keyframe& key) {
    uint8_t row[TRACK_FILE_ROW_BYTES], value[TRACK_FILE_VALUE_BYTES], kind[TRACK_FILE_KIND_BYTES];
    if (ops.read(row, sizeof row, 1, file) != 1) return false;
    if (ops.read(value, sizeof value, 1, file) != 1) return false;
    if (ops.read(kind, sizeof kind, 1, file) != 1) return false;
    key = track_file_key_decode(row, value, kind);
    return true;
}

}  // namespace

TrackFileOps track_file_ops_stdio() {
    return {
        [](const char* path, const char* mode) -> void* { return regular_file_open(path, mode); },
        [](void* buffer, size_t size, size_t count, void* file) {
            return std::fread(buffer, size, count, static_cast<FILE*>(file));
        },
        [](void* file) { return std::fclose(static_cast<FILE*>(file)); },
    };
}

TrackSetPtr trackset_create(std::string_view base_name) {
    try {
        auto set = std::make_unique<TrackSet>();
        set->base_name = std::string(base_name);
        set->file_ops = track_file_ops_stdio();
        return set;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Track* trackset_get_track(TrackSet& set, std::string_view name) {
    for (const auto& track : set.tracks)
        if (track->name == name) return track.get();

    Track* added = nullptr;
    try {
        auto track = std::make_unique<Track>();
        track->name = std::string(name);
        set.tracks.push_back(std::move(track));  // leaves the set unchanged when it throws
        added = set.tracks.back().get();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    track_load(set, *added);
    return added;
}

int track_load(TrackSet& set, Track& track) {
    track.keys.clear();
    if (!track_file_path_compose(set.base_name, track.name, g_track_path)) return -1;
    void* file = set.file_ops.open(g_track_path, "rb");
    if (!file) return -1;

    uint8_t count_field[TRACK_FILE_COUNT_BYTES];
    int32_t count = 0;
    if (set.file_ops.read(count_field, sizeof count_field, 1, file) == 1) count = track_file_count_decode(count_field);

    // The count is only a promise: grow with the keys actually read, so a huge
    // count in a small file costs nothing.
    int result = 0;
    try {
        for (int32_t i = 0; i < count; ++i) {
            Keyframe key;
            if (!read_key(set.file_ops, file, key)) break;
            track.keys.push_back(key);
        }
    } catch (const std::bad_alloc&) {
        track.keys = std::vector<Keyframe>();  // gives the memory back, not only the keys
        result = -1;
    }
    set.file_ops.close(file);
    return result;
}

void trackset_destroy(TrackSetPtr set) {
    if (!set) return;
    set->base_name = std::string();
    for (auto& track : set->tracks) {
        track->name = std::string();
        track->keys = std::vector<Keyframe>();
        track.reset();
    }
    set->tracks = std::vector<std::unique_ptr<Track>>();
    set.reset();
}

double track_value(const Track& track, double row) {
    const std::vector<Keyframe>& keys = track.keys;
    const int64_t n = int64_t(keys.size());
    if (n == 0) return 0.0;

    // Rows whose floor leaves the 32-bit range stand before the first key or
    // after the last; a row that is not a number counts as before the first.
    const double floored = std::floor(row);
    if (std::isnan(floored) || floored < double(INT32_MIN)) return keys.front().value;
    if (floored > double(INT32_MAX)) return keys.back().value;
    const int32_t r = int32_t(floored);

    int64_t lo = 0, hi = n, index = -1;
    bool exact = false;
    while (lo < hi) {
        const int64_t mid = (lo + hi) / 2;
        if (keys[mid].row < r) {
            lo = mid + 1;
        } else if (keys[mid].row > r) {
            hi = mid;
        } else {
            index = mid;
            exact = true;
            break;
        }
    }
    if (!exact) index = lo - 1;

    if (index < 0) return keys.front().value;
    if (index > n - 2) return keys.back().value;

    return track_interval_value(keys[index], keys[index + 1], row);
}

double track_interval_value(const Keyframe& a, const Keyframe& b, double row) {
    if (a.kind == INTERP_HOLD) return a.value;
    const double t = (row - double(a.row)) / (double(b.row) - double(a.row));
    double shape;
    switch (a.kind) {
    case INTERP_LINEAR: shape = t; break;
    case INTERP_SMOOTHSTEP: shape = t * t * (3.0 - 2.0 * t); break;
    case INTERP_QUADRATIC: shape = std::pow(t, 2.0); break;
    default: return 0.0;
    }
    const float difference = b.value - a.value;
    return double(a.value) + shape * double(difference);
}
