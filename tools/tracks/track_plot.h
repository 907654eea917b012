// Pictures of tracks over rows: each track's curve as track_value gives it,
// its keys marked by kind, a rows axis and a seconds axis (seconds = row / 20),
// bar lines every 40 rows (a 4/4 bar at 120 beats a minute), the title's rows
// 1280 to 1360 shaded, and a value axis. zirbelon-tracks plot draws these.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/raster/raster.h"
#include "tracks/tracks.h"

inline constexpr int32_t PLOT_WIDTH_MIN = 320;
inline constexpr int32_t PLOT_HEIGHT_MIN = 200;
inline constexpr int32_t PLOT_SIDE_MAX = 8192;
inline constexpr double PLOT_SPAN_MIN = 0.001;  // the fewest rows a plot shows

struct PlotCurve {
    std::string label;   // the legend's name for it
    const Track* track;  // never null
};

struct PlotRequest {
    int32_t width = 1200;  // PLOT_WIDTH_MIN to PLOT_SIDE_MAX
    int32_t height = 600;  // PLOT_HEIGHT_MIN to PLOT_SIDE_MAX
    // Rows at the left and right edges of the curves' area. Unset, they come
    // from the first and last keys with a little room around them.
    std::optional<double> from;
    std::optional<double> to;
};

struct Plot {
    Raster image;
    double from = 0.0;  // rows at the area's left and right edges
    double to = 0.0;
    double low = 0.0;  // values at the area's bottom and top edges
    double high = 0.0;
    // The curves' area in pixels: columns [left, right), rows [top, bottom).
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Draws the curves, each in its own colour, in the order given.
Plot track_plot(std::span<const PlotCurve> curves, const PlotRequest& request);

// Where a row and a value fall in the plot's image, in pixels (see Point).
double plot_x(const Plot& plot, double row);
double plot_y(const Plot& plot, double value);

// The colour of the curve at that index.
Color plot_curve_color(size_t index);

// A step for ticks at least `least` apart: 1, 2 or 5 times a power of ten.
// With rows_aligned, steps past 10 are 20 rows or whole bars doubling (40, 80,
// 160, ...), so ticks land on bar lines.
double plot_step(double least, bool rows_aligned);
