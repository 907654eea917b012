// How fast a track evaluates as its keys grow, and how fast a large track file
// loads through the C library's file operations.
#include <benchmark/benchmark.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "tracks/tracks.h"

namespace {

constexpr int ROW_SPACING = 4;

Track track_with(int64_t key_count) {
    Track track{"bench", {}};
    track.keys.reserve(size_t(key_count));
    for (int64_t i = 0; i < key_count; ++i)
        track.keys.push_back({int32_t(i * ROW_SPACING), float(std::sin(double(i))), int32_t(i % 4)});
    return track;
}

// Rows over the whole track and a little past both ends, in scrambled order
// so that the bisection's branches cannot be learnt.
std::vector<double> rows_over(int64_t key_count) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> row(-10.0, double(key_count * ROW_SPACING) + 10.0);
    std::vector<double> rows(4096);
    for (double& r : rows) r = row(random);
    return rows;
}

void BM_TrackValue(benchmark::State& state) {
    const Track track = track_with(state.range(0));
    const std::vector<double> rows = rows_over(state.range(0));
    size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(track_value(track, rows[i++ % rows.size()]));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TrackValue)->Arg(2)->Arg(100)->Arg(10'000)->Arg(1'000'000);

void put_le32(std::ofstream& out, uint32_t v) {
    const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.write(bytes, 4);
}

void BM_TrackLoad(benchmark::State& state) {
    const int64_t key_count = state.range(0);
    std::random_device random;
    const auto dir = std::filesystem::temp_directory_path() / ("zirbelon_tracks_bench_" + std::to_string(random()));
    std::filesystem::create_directories(dir);
    {
        std::ofstream out(dir / "sync_cam.dist.track", std::ios::binary);
        put_le32(out, uint32_t(key_count));
        put_le32(out, 0);
        for (const Keyframe& key : track_with(key_count).keys) {
            put_le32(out, uint32_t(key.row));
            put_le32(out, std::bit_cast<uint32_t>(key.value));
            out.put(char(key.kind));
        }
    }
    const std::string base = (dir / "sync").string();
    for (auto _ : state) {
        TrackSetPtr set = trackset_create(base);
        const Track* track = trackset_get_track(*set, "cam.dist");
        if (track->keys.size() != size_t(key_count)) state.SkipWithError("the file did not load whole");
        trackset_destroy(std::move(set));
    }
    state.SetItemsProcessed(state.iterations() * key_count);
    state.SetBytesProcessed(state.iterations() * (8 + 9 * key_count));
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_TrackLoad)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace
