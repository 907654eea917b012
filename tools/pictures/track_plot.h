// Pictures of tracks over rows: each track's curve as track_value gives it,
// its keys marked by kind, a rows axis and a seconds axis (seconds = row / 20),
// bar lines every 40 rows (a 4/4 bar at 120 beats a minute), the title's rows
// 1280 to 1360 shaded, and a value axis. zirbelon-tracks plot draws these.
//
// However many keys a track holds, its picture costs time in proportion to
// the keys in view and the columns, not more: where keys crowd closer than
// pixels, each column shows the least and greatest values the curve takes
// across it, and a key is marked only where its marker has room. Keys out of
// row order go unmarked, and their curve is sampled from track_value.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/pictures/raster.h"
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

// A rectangle of pixels: columns [left, right), rows [top, bottom). Empty
// when right <= left or bottom <= top.
struct PlotRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// One entry of the legend: a swatch (a curve's line or a kind's marker) and
// its name to the right of it.
struct PlotLegendEntry {
    std::string text;
    Color color;
    // The key kind whose marker the swatch shows (any kind past quadratic
    // stands for every other kind); a curve's line when unset.
    std::optional<int32_t> kind;
    int32_t x = 0;   // the swatch's left edge
    int32_t y = 0;   // the top of the name's line
    PlotRect place;  // every pixel the entry draws
};

// Where everything of a plot goes, before anything is drawn.
struct PlotLayout {
    int32_t width = 0;  // the picture's size
    int32_t height = 0;
    int32_t scale = 1;  // of text, lines and markers: 1 to 3
    double from = 0.0;  // rows at the curves' area's left and right edges
    double to = 0.0;
    double low = 0.0;  // values at its bottom and top edges
    double high = 0.0;
    double row_step = 1.0;  // between ticks on each axis
    double second_step = 1.0;
    double value_step = 1.0;
    PlotRect curves;         // the curves' area; its frame lies one pixel outside
    PlotRect legend;         // every entry of the legend
    PlotRect row_labels;     // below the area: "row" and the rows' tick labels
    PlotRect second_labels;  // above the area: "sec" and the seconds' tick labels
    PlotRect value_labels;   // left of the area: the values' tick labels
    std::vector<PlotLegendEntry> entries;
};

// The layout track_plot draws for these curves: the rows and values shown,
// the legend's entries, the area and the axes' labels around it.
PlotLayout plot_layout(std::span<const PlotCurve> curves, const PlotRequest& request);

// A drawn plot and the layout it was drawn by.
struct Plot {
    Raster image;
    PlotLayout layout;
};

// Draws the curves, each in its own colour, in the order given.
Plot track_plot(std::span<const PlotCurve> curves, const PlotRequest& request);

// Where a row and a value fall in the plot's image, in pixels (see Point).
double plot_x(const PlotLayout& layout, double row);
double plot_y(const PlotLayout& layout, double value);

// The colour of the curve at that index.
Color plot_curve_color(size_t index);

// A step for ticks at least `least` apart: 1, 2 or 5 times a power of ten.
// With rows_aligned, steps past 10 are 20 rows or whole bars doubling (40, 80,
// 160, ...), so ticks land on bar lines.
double plot_step(double least, bool rows_aligned);
