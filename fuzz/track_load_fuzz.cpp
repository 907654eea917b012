// libFuzzer target: arbitrary bytes become a track name, rows and a track
// file; the file reaches track_load through the track set's file operations,
// and the track is then evaluated at the fuzzed rows and around every key.
//
// Input: [row count][name length][name][8 bytes per row, a double][file bytes]
// Besides the sanitizers, it checks what the loader promises: the path is never
// cut down, the keys are exactly the whole keys the file holds up to its count,
// every opened file is closed, and rows past either end give that end's value.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tracks/track_file.h"
#include "tracks/tracks.h"

namespace {

std::span<const uint8_t> g_file;
size_t g_position;
int g_open_files;
bool g_file_exists;
std::string g_expected_path;

// Names the failing check's line: the checks are inlined, so the stack trace
// does not.
void check(bool holds, int line = __builtin_LINE()) {
    if (holds) return;
    std::fprintf(stderr, "check failed: %s line %d\n", __FILE__, line);
    std::abort();
}

TrackFileOps memory_file_ops() {
    return {
        [](const char* path, const char* mode) -> void* {
            check(path == g_expected_path);  // a whole path, never a cut-down one
            check(std::string_view(mode) == "rb");
            if (!g_file_exists) return nullptr;
            g_position = 0;
            ++g_open_files;
            return &g_file;
        },
        [](void* buffer, size_t size, size_t count, void* file) -> size_t {
            check(file == &g_file && g_open_files == 1);
            const size_t taken = std::min(size * count, g_file.size() - g_position);
            if (taken > 0) std::memcpy(buffer, g_file.data() + g_position, taken);
            g_position += taken;
            return taken / size;
        },
        [](void* file) {
            check(file == &g_file);
            --g_open_files;
            return 0;
        },
    };
}

int32_t le32(const uint8_t* bytes) {
    return int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                   uint32_t(bytes[3]) << 24);
}

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

void check_keys(const Track& track, std::span<const uint8_t> file) {
    size_t expected = 0;
    if (g_file_exists && file.size() >= 8) {
        const int32_t count = le32(file.data());
        if (count > 0) expected = std::min(size_t(count), (file.size() - 8) / 9);
    }
    check(track.keys.size() == expected);
    for (size_t i = 0; i < expected; ++i) {
        const uint8_t* key = file.data() + 8 + 9 * i;
        check(track.keys[i].row == le32(key));
        check(std::bit_cast<uint32_t>(track.keys[i].value) == uint32_t(le32(key + 4)));
        check(track.keys[i].kind == int32_t(int8_t(key[8])));
    }
}

void check_values(const Track& track, const std::vector<double>& rows) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (double row : rows) (void)track_value(track, row);
    if (track.keys.empty()) {
        for (double row : {-inf, 0.0, inf, std::nan("")}) check(track_value(track, row) == 0.0);
        return;
    }
    const double first = track.keys.front().value, last = track.keys.back().value;
    check(same(track_value(track, -inf), first));
    check(same(track_value(track, -1e300), first));
    check(same(track_value(track, std::nan("")), first));
    check(same(track_value(track, inf), last));
    check(same(track_value(track, 1e300), last));
    const size_t around = std::min<size_t>(track.keys.size(), 256);
    for (size_t i = 0; i < around; ++i) {
        const double row = track.keys[i].row;
        for (double offset : {-0.5, 0.0, 0.25, 0.5, 0.999}) (void)track_value(track, row + offset);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> input(data, size);
    if (input.size() < 2) return 0;
    const size_t row_count = input[0] % 8;
    const size_t name_length = input[1];
    input = input.subspan(2);
    if (input.size() < name_length) return 0;
    const std::string name(reinterpret_cast<const char*>(input.data()), name_length);
    input = input.subspan(name_length);
    std::vector<double> rows;
    while (rows.size() < row_count && input.size() >= 8) {
        double row;
        std::memcpy(&row, input.data(), 8);
        rows.push_back(row);
        input = input.subspan(8);
    }
    g_file = input;
    g_file_exists = !input.empty();  // no bytes at all stands for a missing file

    const std::string base = "sync";
    const size_t path_length = base.size() + 1 + name.size() + 6;
    const bool loadable = path_length <= TRACK_PATH_MAX && name.find('\0') == name.npos;
    g_expected_path = base + "_" + name + ".track";

    TrackSetPtr set = trackset_create(base);
    if (!set) return 0;
    set->file_ops = memory_file_ops();
    const Track* track = trackset_get_track(*set, name);
    check(track != nullptr && track->name == name);
    check(g_open_files == 0);
    if (!loadable) g_file_exists = false;  // the path was refused, so nothing was read
    check_keys(*track, g_file);
    check_values(*track, rows);
    // The tools' decoder reads the same bytes to the same keys.
    if (g_file_exists) {
        const TrackFileContents decoded = track_file_decode(g_file);
        check(decoded.keys.size() == track->keys.size());
        for (size_t i = 0; i < decoded.keys.size(); ++i)
            check(std::memcmp(&decoded.keys[i], &track->keys[i], sizeof(Keyframe)) == 0);
    }

    // The same name again is the same track; another name adds one.
    check(trackset_get_track(*set, name) == track);
    g_expected_path = base + "_" + name + "2.track";
    const Track* other = trackset_get_track(*set, name + "2");
    check(other != nullptr && other != track && set->tracks.size() == 2);
    trackset_destroy(std::move(set));
    return 0;
}
