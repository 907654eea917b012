// How long a plot at 1200 x 600 takes as a track's keys grow far past the
// area's columns, over the whole track and over a few rows in its middle.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <optional>

#include "tools/pictures/track_plot.h"

namespace {

// A key on every row, values alternating 0 and 1 and the kinds taking turns,
// so that every column of a plot of the whole track holds many keys with its
// curve running from bottom to top.
Track sawtooth_with(int64_t key_count) {
    Track track{"bench", {}};
    track.keys.reserve(size_t(key_count));
    for (int64_t i = 0; i < key_count; ++i) track.keys.push_back({int32_t(i), float(i % 2), int32_t(i % 4)});
    return track;
}

void plot_run(benchmark::State& state, std::optional<double> from, std::optional<double> to) {
    const Track track = sawtooth_with(state.range(0));
    const PlotCurve curves[] = {{"bench", &track}};
    const PlotRequest request{1200, 600, from, to};
    for (auto _ : state) {
        const Plot plot = track_plot(curves, request);
        benchmark::DoNotOptimize(plot.image.rgba.data());
    }
}

void BM_TrackPlotWhole(benchmark::State& state) {
    plot_run(state, std::nullopt, std::nullopt);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TrackPlotWhole)->Arg(100'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

// 400 rows from the middle: the keys before them are passed by bisection.
void BM_TrackPlotMiddle(benchmark::State& state) {
    const double middle = double(state.range(0) / 2);
    plot_run(state, middle, middle + 400.0);
}
BENCHMARK(BM_TrackPlotMiddle)->Arg(100'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
