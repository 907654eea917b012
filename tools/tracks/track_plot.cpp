// Draws plots of tracks over rows with the tools' raster.
#include "tools/tracks/track_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <tuple>
#include <utility>

#include "presentation/presentation.h"
#include "tools/raster/raster_font.h"

namespace {

constexpr double ROWS_PER_PHRASE = 4.0 * ROWS_PER_BAR;

constexpr Color PAGE{247, 247, 245, 255};
constexpr Color AREA{255, 255, 255, 255};
constexpr Color FRAME{130, 130, 130, 255};
constexpr Color TEXT{45, 45, 45, 255};
constexpr Color MUTED{105, 105, 105, 255};
constexpr Color BEAT_LINE{242, 242, 242, 255};
constexpr Color BAR_LINE{224, 224, 224, 255};
constexpr Color PHRASE_LINE{178, 178, 178, 255};
constexpr Color VALUE_LINE{238, 238, 238, 255};
constexpr Color ZERO_LINE{196, 196, 196, 255};
constexpr Color TITLE_SPAN{255, 238, 200, 255};
constexpr Color TITLE_TEXT{175, 115, 25, 255};
constexpr Color HALO{255, 255, 255, 255};

constexpr Color CURVE_COLORS[] = {
    {31, 119, 180, 255}, {230, 110, 10, 255},  {44, 160, 44, 255},  {214, 39, 40, 255},  {148, 103, 189, 255},
    {140, 86, 75, 255},  {227, 119, 194, 255}, {150, 150, 20, 255}, {23, 165, 185, 255},
};

// The marker shapes, one per interpolation kind, and one for every other kind.
enum MarkerShape { MARKER_SQUARE, MARKER_DIAMOND, MARKER_CIRCLE, MARKER_TRIANGLE, MARKER_CROSS };

struct KindName {
    MarkerShape shape;
    std::string_view name;
};

constexpr KindName KIND_NAMES[] = {
    {MARKER_SQUARE, "hold"},     {MARKER_DIAMOND, "linear"}, {MARKER_CIRCLE, "smoothstep"},
    {MARKER_TRIANGLE, "quadratic"}, {MARKER_CROSS, "other kind"},
};

size_t kind_index(int32_t kind) { return kind >= INTERP_HOLD && kind <= INTERP_QUADRATIC ? size_t(kind) : 4; }

// A pixel index from a position, bounded first so that no double is out of
// an int's range when it is converted.
int32_t pixel_floor(double position) { return int32_t(std::clamp(std::floor(position), -1e9, 1e9)); }

int32_t text_centred(int32_t width_available, int32_t text_width, double centre) {
    return std::clamp(pixel_floor(centre - text_width / 2.0), 0, std::max(width_available - text_width, 0));
}

// Enough decimals to tell ticks `step` apart (rows, up to ten digits, stay
// whole numbers); values past that and very small steps take significant
// digits instead.
std::string number_format(double value, double step) {
    if (std::abs(value) < step * 1e-6) value = 0.0;  // no "-0"
    const double magnitude = std::max(std::abs(value), step);
    char text[64];
    if (magnitude >= 1e10 || step < 1e-4) {
        const int digits =
            std::clamp(int(std::floor(std::log10(magnitude)) - std::floor(std::log10(step))) + 1, 1, 12);
        std::snprintf(text, sizeof text, "%.*g", digits, value);
    } else {
        const int decimals = std::clamp(int(std::ceil(-std::log10(step) - 1e-9)), 0, 9);
        std::snprintf(text, sizeof text, "%.*f", decimals, value);
    }
    return text;
}

std::vector<double> ticks_between(double low, double high, double step) {
    std::vector<double> ticks;
    if (!(step > 0.0) || !std::isfinite(step)) return ticks;
    for (double k = std::ceil(low / step - 1e-9); ticks.size() < 1000; k += 1.0) {
        const double tick = k * step;
        if (tick > high + step * 1e-9) break;
        ticks.push_back(tick);
    }
    return ticks;
}

// The widest of the labels that ticks over [low, high] would carry.
int32_t labels_width(double low, double high, double step, int32_t scale) {
    int32_t widest = 0;
    for (double tick : ticks_between(low, high, step))
        widest = std::max(widest, raster_text_width(number_format(tick, step), scale));
    return widest;
}

// A tick step whose labels, `length` pixels for the span, keep apart.
double ticks_step(double low, double high, double length, int32_t scale, bool rows_aligned) {
    const double per_pixel = (high - low) / std::max(length, 1.0);
    const double gap = 12.0 * scale;
    double step = plot_step(per_pixel * (gap + 5.0 * RASTER_GLYPH_ADVANCE * scale), rows_aligned);
    for (int round = 0; round < 3; ++round)
        step = plot_step(per_pixel * (gap + labels_width(low, high, step, scale)), rows_aligned);
    return step;
}

struct Sample {
    double row;
    double value;
};

// Rows at two samples a pixel, and either side of every key, so that cuts show
// as upright steps at their key.
std::vector<Sample> curve_samples(const Track& track, double from, double to, int32_t columns) {
    std::vector<double> rows;
    const int32_t count = 2 * columns;
    for (int32_t i = 0; i <= count; ++i) rows.push_back(from + (to - from) * i / count);
    const double before = std::min(1e-4, (to - from) * 1e-4);
    for (const Keyframe& key : track.keys)
        if (key.row >= from && key.row <= to) {
            rows.push_back(std::max(key.row - before, from));
            rows.push_back(key.row);
        }
    std::sort(rows.begin(), rows.end());
    std::vector<Sample> samples;
    samples.reserve(rows.size());
    for (double row : rows) samples.push_back({row, track_value(track, row)});
    return samples;
}

std::pair<double, double> rows_shown(std::span<const PlotCurve> curves, const PlotRequest& request) {
    double first = INFINITY, last = -INFINITY;
    for (const PlotCurve& curve : curves)
        for (const Keyframe& key : curve.track->keys) {
            first = std::min(first, double(key.row));
            last = std::max(last, double(key.row));
        }
    if (first > last) {
        first = 0.0;
        last = ROWS_PER_PHRASE;
    }
    if (last - first < ROWS_PER_BAR) {  // a bar at least, around the keys
        const double grow = (ROWS_PER_BAR - (last - first)) / 2.0;
        first -= grow;
        last += grow;
    }
    const double room = (last - first) * 0.03;
    double from = request.from.value_or(first - room);
    double to = request.to.value_or(last + room);
    if (!(to - from >= PLOT_SPAN_MIN)) {
        // Only one end was asked for, and the keys lie beyond it.
        if (request.from)
            to = from + ROWS_PER_PHRASE;
        else
            from = to - ROWS_PER_PHRASE;
    }
    return {from, to};
}

std::pair<double, double> values_shown(const std::vector<std::vector<Sample>>& samples,
                                       std::span<const PlotCurve> curves, double from, double to) {
    double low = INFINITY, high = -INFINITY;
    const auto include = [&](double value) {
        if (!std::isfinite(value)) return;
        low = std::min(low, value);
        high = std::max(high, value);
    };
    for (const auto& curve : samples)
        for (const Sample& sample : curve) include(sample.value);
    for (const PlotCurve& curve : curves)
        for (const Keyframe& key : curve.track->keys)
            if (key.row >= from && key.row <= to) include(key.value);
    if (low > high) return {-1.0, 1.0};
    if (high - low <= std::max(std::abs(low), std::abs(high)) * 1e-9) {
        const double centre = (low + high) / 2.0;
        const double half = std::max(std::abs(centre) * 0.1, 1.0);
        return {centre - half, centre + half};
    }
    const double room = (high - low) * 0.06;
    return {low - room, high + room};
}

std::vector<Point> marker_outline(MarkerShape shape, Point centre, double radius) {
    const double x = centre.x, y = centre.y;
    switch (shape) {
    case MARKER_SQUARE: {
        const double half = radius * 0.85;
        return {{x - half, y - half}, {x + half, y - half}, {x + half, y + half}, {x - half, y + half}};
    }
    case MARKER_DIAMOND: {
        const double reach = radius * 1.25;
        return {{x, y - reach}, {x + reach, y}, {x, y + reach}, {x - reach, y}};
    }
    case MARKER_TRIANGLE:
        return {{x, y - radius * 1.25}, {x + radius * 1.15, y + radius * 0.8}, {x - radius * 1.15, y + radius * 0.8}};
    default:
        return {};
    }
}

void marker_shape_draw(Raster& raster, MarkerShape shape, Point centre, double radius, Color color) {
    if (shape == MARKER_CIRCLE) {
        raster_fill_circle(raster, centre, radius, color);
    } else if (shape == MARKER_CROSS) {
        const double arm = radius * 0.95;
        const double width = radius * 0.7;
        raster_draw_line(raster, {centre.x - arm, centre.y - arm}, {centre.x + arm, centre.y + arm}, color, width);
        raster_draw_line(raster, {centre.x - arm, centre.y + arm}, {centre.x + arm, centre.y - arm}, color, width);
    } else {
        raster_fill_polygon(raster, marker_outline(shape, centre, radius), color);
    }
}

// A marker on a white halo, so that it stands out from the curves under it.
void marker_draw(Raster& raster, MarkerShape shape, Point centre, double radius, Color color) {
    marker_shape_draw(raster, shape, centre, radius + 1.5, HALO);
    marker_shape_draw(raster, shape, centre, radius, color);
}

// One entry of the legend: a swatch (a curve's line or a kind's marker) and a name.
struct LegendItem {
    std::string text;
    Color color;
    std::optional<MarkerShape> marker;  // a line when unset
    int32_t gap_before;
};

}  // namespace

Color plot_curve_color(size_t index) { return CURVE_COLORS[index % std::size(CURVE_COLORS)]; }

double plot_step(double least, bool rows_aligned) {
    if (!(least > 0.0) || !std::isfinite(least)) return 1.0;
    if (rows_aligned && least > ROWS_PER_BEAT) {
        if (least <= 2.0 * ROWS_PER_BEAT) return 2.0 * ROWS_PER_BEAT;
        double step = ROWS_PER_BAR;
        while (step < least) step *= 2.0;
        return step;
    }
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    for (double factor : {1.0, 2.0, 5.0})
        if (factor * power >= least * (1.0 - 1e-12)) return factor * power;
    return 10.0 * power;
}

double plot_x(const Plot& plot, double row) {
    return plot.left + (row - plot.from) / (plot.to - plot.from) * (plot.right - plot.left);
}

double plot_y(const Plot& plot, double value) {
    return plot.bottom - (value - plot.low) / (plot.high - plot.low) * (plot.bottom - plot.top);
}

Plot track_plot(std::span<const PlotCurve> curves, const PlotRequest& request) {
    Plot plot;
    const int32_t width = std::clamp(request.width, PLOT_WIDTH_MIN, PLOT_SIDE_MAX);
    const int32_t height = std::clamp(request.height, PLOT_HEIGHT_MIN, PLOT_SIDE_MAX);
    const int32_t scale = std::clamp(std::min(width / 560, height / 280), 1, 3);
    const int32_t cap = 7 * scale;  // the height of capitals and digits
    const int32_t line_height = raster_text_height(scale) + 4 * scale;
    const int32_t pad = 8 * scale;
    const int32_t tick = 4 * scale;
    const double curve_width = 1.0 + 0.75 * scale;
    const double marker_radius = 1.5 + 1.5 * scale;

    std::tie(plot.from, plot.to) = rows_shown(curves, request);
    std::vector<std::vector<Sample>> samples;
    for (const PlotCurve& curve : curves) samples.push_back(curve_samples(*curve.track, plot.from, plot.to, width));
    std::tie(plot.low, plot.high) = values_shown(samples, curves, plot.from, plot.to);

    // The legend: the curves, then the marker of each kind among the keys shown.
    std::vector<LegendItem> legend;
    for (size_t i = 0; i < curves.size(); ++i)
        legend.push_back({curves[i].label, plot_curve_color(i), std::nullopt, i == 0 ? 0 : 14 * scale});
    bool kinds_shown[std::size(KIND_NAMES)] = {};
    for (const PlotCurve& curve : curves)
        for (const Keyframe& key : curve.track->keys)
            if (key.row >= plot.from && key.row <= plot.to) kinds_shown[kind_index(key.kind)] = true;
    bool first_kind = true;
    for (size_t kind = 0; kind < std::size(KIND_NAMES); ++kind)
        if (kinds_shown[kind]) {
            legend.push_back({std::string(KIND_NAMES[kind].name), MUTED, KIND_NAMES[kind].shape,
                              first_kind ? 32 * scale : 10 * scale});
            first_kind = false;
        }
    const int32_t swatch = 16 * scale;
    const int32_t swatch_gap = 5 * scale;
    std::vector<std::pair<int32_t, int32_t>> legend_places;  // left and top of each item
    int32_t legend_x = pad, legend_lines = 1;
    for (const LegendItem& item : legend) {
        const int32_t item_width = swatch + swatch_gap + raster_text_width(item.text, scale);
        int32_t x = legend_x + item.gap_before;
        if (x + item_width > width - pad && legend_x > pad) {
            x = pad;
            ++legend_lines;
        }
        legend_places.push_back({x, pad + (legend_lines - 1) * line_height});
        legend_x = x + item_width;
    }

    // The curves' area, between the legend, the axes' labels and the margins.
    plot.bottom = height - pad - cap - 3 * scale - tick;
    plot.top = std::min(pad + legend_lines * line_height + 4 * scale + cap + 3 * scale + tick, plot.bottom - 40);
    const double value_step =
        plot_step((plot.high - plot.low) * 3.0 * line_height / (plot.bottom - plot.top), false);
    const std::vector<double> value_ticks = ticks_between(plot.low, plot.high, value_step);
    int32_t value_labels = raster_text_width("sec", scale);
    for (double value : value_ticks)
        value_labels = std::max(value_labels, raster_text_width(number_format(value, value_step), scale));
    plot.left = std::min(pad + value_labels + 3 * scale + tick, width / 2);
    plot.right = width - pad - 3 * RASTER_GLYPH_ADVANCE * scale;
    const double area_width = plot.right - plot.left;

    plot.image = raster_create(width, height, PAGE);
    Raster& image = plot.image;
    const int32_t area_height = plot.bottom - plot.top;
    raster_fill_rect(image, plot.left, plot.top, plot.right - plot.left, area_height, AREA);

    // The title's rows, then beats, bars and four-bar phrases, each drawn only
    // when its lines stand far enough apart to tell.
    const auto column_of = [&](double row) {
        return std::clamp(pixel_floor(plot_x(plot, row)), plot.left, plot.right - 1);
    };
    if (TITLE_LAST_ROW > plot.from && TITLE_FIRST_ROW < plot.to) {
        const int32_t first = column_of(std::max(TITLE_FIRST_ROW, plot.from));
        const int32_t last = column_of(std::min(TITLE_LAST_ROW, plot.to));
        raster_fill_rect(image, first, plot.top, last - first + 1, area_height, TITLE_SPAN);
    }
    const double pixels_per_row = area_width / (plot.to - plot.from);
    const std::pair<double, Color> grids[] = {
        {ROWS_PER_BEAT, BEAT_LINE}, {ROWS_PER_BAR, BAR_LINE}, {ROWS_PER_PHRASE, PHRASE_LINE}};
    for (const auto& [rows, color] : grids) {
        if (pixels_per_row * rows < (rows == ROWS_PER_BEAT ? 8.0 : 4.0)) continue;
        for (double row : ticks_between(plot.from, plot.to, rows))
            raster_fill_rect(image, column_of(row), plot.top, 1, area_height, color);
    }
    for (double value : value_ticks) {
        const int32_t y = std::clamp(pixel_floor(plot_y(plot, value)), plot.top, plot.bottom - 1);
        raster_fill_rect(image, plot.left, y, plot.right - plot.left, 1, value == 0.0 ? ZERO_LINE : VALUE_LINE);
    }
    if (TITLE_LAST_ROW > plot.from && TITLE_FIRST_ROW < plot.to) {
        // Named in the band, in smaller letters when the band is narrow.
        const double first = std::max(TITLE_FIRST_ROW, plot.from);
        const double last = std::min(TITLE_LAST_ROW, plot.to);
        for (int32_t label_scale = scale; label_scale >= 1; --label_scale) {
            const int32_t label_width = raster_text_width("title", label_scale);
            if (pixels_per_row * (last - first) < label_width + 4 * label_scale) continue;
            raster_draw_text(image, pixel_floor(plot_x(plot, (first + last) / 2.0) - label_width / 2.0),
                             plot.top + 3 * scale, "title", TITLE_TEXT, label_scale);
            break;
        }
    }

    // Curves, then every marker above them, on a layer cut to the area.
    Raster layer = raster_create(plot.right - plot.left, area_height, {0, 0, 0, 0});
    const auto layer_point = [&](double row, double value) {
        return Point{plot_x(plot, row) - plot.left, plot_y(plot, value) - plot.top};
    };
    for (size_t i = 0; i < curves.size(); ++i) {
        std::vector<Point> points;
        for (const Sample& sample : samples[i])
            points.push_back(std::isfinite(sample.value) ? layer_point(sample.row, sample.value)
                                                         : Point{NAN, NAN});
        raster_draw_polyline(layer, points, plot_curve_color(i), curve_width);
    }
    for (size_t i = 0; i < curves.size(); ++i)
        for (const Keyframe& key : curves[i].track->keys)
            if (key.row >= plot.from && key.row <= plot.to && std::isfinite(key.value))
                marker_draw(layer, KIND_NAMES[kind_index(key.kind)].shape, layer_point(key.row, key.value),
                            marker_radius, plot_curve_color(i));
    raster_blit(image, layer, plot.left, plot.top);

    // The frame and the axes: rows below, seconds above, values on the left.
    raster_fill_rect(image, plot.left - 1, plot.top - 1, plot.right - plot.left + 2, 1, FRAME);
    raster_fill_rect(image, plot.left - 1, plot.bottom, plot.right - plot.left + 2, 1, FRAME);
    raster_fill_rect(image, plot.left - 1, plot.top, 1, area_height, FRAME);
    raster_fill_rect(image, plot.right, plot.top, 1, area_height, FRAME);
    const int32_t rows_label_y = plot.bottom + tick + 3 * scale;
    const int32_t seconds_label_y = plot.top - tick - 3 * scale - cap;
    // The axes' names stand at the left; a tick label that would run into
    // them is left out rather than moved away from its tick.
    raster_draw_text(image, pad, rows_label_y, "row", MUTED, scale);
    raster_draw_text(image, pad, seconds_label_y, "sec", MUTED, scale);
    const int32_t labels_start = pad + raster_text_width("sec", scale) + 4 * scale;
    const double row_step = ticks_step(plot.from, plot.to, area_width, scale, true);
    for (double row : ticks_between(plot.from, plot.to, row_step)) {
        const int32_t x = column_of(row);
        raster_fill_rect(image, x, plot.bottom + 1, 1, tick, FRAME);
        const std::string label = number_format(row, row_step);
        const int32_t label_x = text_centred(width, raster_text_width(label, scale), x + 0.5);
        if (label_x >= labels_start) raster_draw_text(image, label_x, rows_label_y, label, TEXT, scale);
    }
    const double seconds_from = plot.from / ROWS_PER_SECOND;
    const double seconds_to = plot.to / ROWS_PER_SECOND;
    const double second_step = ticks_step(seconds_from, seconds_to, area_width, scale, false);
    for (double second : ticks_between(seconds_from, seconds_to, second_step)) {
        const int32_t x = column_of(second * ROWS_PER_SECOND);
        raster_fill_rect(image, x, plot.top - 1 - tick, 1, tick, FRAME);
        const std::string label = number_format(second, second_step);
        const int32_t label_x = text_centred(width, raster_text_width(label, scale), x + 0.5);
        if (label_x >= labels_start) raster_draw_text(image, label_x, seconds_label_y, label, TEXT, scale);
    }
    const int32_t label_right = plot.left - 1 - tick - 3 * scale;
    for (double value : value_ticks) {
        const int32_t y = std::clamp(pixel_floor(plot_y(plot, value)), plot.top, plot.bottom - 1);
        raster_fill_rect(image, plot.left - 1 - tick, y, tick, 1, FRAME);
        const std::string label = number_format(value, value_step);
        raster_draw_text(image, label_right - raster_text_width(label, scale), y - cap / 2, label, TEXT, scale);
    }

    for (size_t i = 0; i < legend.size(); ++i) {
        const LegendItem& item = legend[i];
        const auto [x, y] = legend_places[i];
        const double middle = y + cap / 2.0;
        if (item.marker)
            marker_draw(image, *item.marker, {x + swatch / 2.0, middle}, marker_radius, item.color);
        else
            raster_draw_line(image, {x + 1.0, middle}, {x + swatch - 1.0, middle}, item.color, curve_width + 1.0);
        raster_draw_text(image, x + swatch + swatch_gap, y, item.text, TEXT, scale);
    }
    return plot;
}
