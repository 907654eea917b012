// Draws plots of tracks over rows with the tools' raster.
#include "tools/pictures/track_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <tuple>
#include <utility>

#include "presentation/presentation.h"
#include "tracks/track_text.h"
#include "tools/pictures/raster_font.h"

namespace {

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
constexpr Color CLEAR{0, 0, 0, 0};

constexpr double HALO_WIDTH = 1.5;

constexpr Color CURVE_COLORS[] = {
    {31, 119, 180, 255}, {230, 110, 10, 255},  {44, 160, 44, 255},  {214, 39, 40, 255},  {148, 103, 189, 255},
    {140, 86, 75, 255},  {227, 119, 194, 255}, {150, 150, 20, 255}, {23, 165, 185, 255},
};

// The marker shapes, one per interpolation kind, and one for every other kind.
enum MarkerShape { MARKER_SQUARE, MARKER_DIAMOND, MARKER_CIRCLE, MARKER_TRIANGLE, MARKER_CROSS };

constexpr MarkerShape KIND_MARKERS[] = {MARKER_SQUARE, MARKER_DIAMOND, MARKER_CIRCLE, MARKER_TRIANGLE, MARKER_CROSS};

constexpr size_t KIND_COUNT = std::size(KIND_MARKERS);
constexpr size_t OTHER_KIND = KIND_COUNT - 1;

size_t kind_index(int32_t kind) { return interp_kind_name(kind) ? size_t(kind) : OTHER_KIND; }

std::string kind_legend(size_t index) {
    return index == OTHER_KIND ? "other kind" : std::string(INTERP_KIND_NAMES[index].name);
}

// Sizes of text, lines and markers at a scale.
struct Metrics {
    int32_t scale;
    int32_t cap;  // the height of capitals and digits
    int32_t text_height;
    int32_t line_height;
    int32_t pad;
    int32_t tick;
    int32_t swatch;
    int32_t swatch_gap;
    double curve_width;
    double marker_radius;
};

Metrics metrics_of(int32_t scale) {
    return {.scale = scale,
            .cap = 7 * scale,
            .text_height = raster_text_height(scale),
            .line_height = raster_text_height(scale) + 4 * scale,
            .pad = 8 * scale,
            .tick = 4 * scale,
            .swatch = 16 * scale,
            .swatch_gap = 5 * scale,
            .curve_width = 1.0 + 0.75 * scale,
            .marker_radius = 1.5 + 1.5 * scale};
}

// How far a marker on its halo reaches from its centre, soft edge included;
// the cross's arms with their round ends reach furthest.
double marker_reach(const Metrics& metrics) { return 1.3 * (metrics.marker_radius + HALO_WIDTH) + 0.5; }

// A pixel index from a position, bounded first so that no double is out of
// an int's range when it is converted.
int32_t pixel_floor(double position) { return int32_t(std::clamp(std::floor(position), -1e9, 1e9)); }
int32_t pixel_ceil(double position) { return int32_t(std::clamp(std::ceil(position), -1e9, 1e9)); }

bool rect_empty(const PlotRect& rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }

PlotRect rect_union(const PlotRect& a, const PlotRect& b) {
    if (rect_empty(a)) return b;
    if (rect_empty(b)) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// The pixels that a shape reaching `reach` from its centre touches.
PlotRect rect_around(double x, double y, double reach) {
    return {pixel_floor(x - reach), pixel_floor(y - reach), pixel_ceil(x + reach), pixel_ceil(y + reach)};
}

// The column of the area that a row falls in; rows beyond it take its edge.
int32_t layout_column(const PlotLayout& layout, double row) {
    return std::clamp(pixel_floor(plot_x(layout, row)), layout.curves.left, layout.curves.right - 1);
}

int32_t layout_value_y(const PlotLayout& layout, double value) {
    return std::clamp(pixel_floor(plot_y(layout, value)), layout.curves.top, layout.curves.bottom - 1);
}

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

// The curve's value at a row, given how many keys stand at or before it. On a
// row that several keys share, track_value's bisection settles on one of them,
// so it is asked there.
double value_at(const Track& track, size_t count, double row) {
    const std::vector<Keyframe>& keys = track.keys;
    if (keys.empty()) return 0.0;
    if (count == 0) return keys.front().value;
    const Keyframe& key = keys[count - 1];
    if (count >= 2 && keys[count - 2].row == key.row && double(key.row) == std::floor(row))
        return track_value(track, row);
    if (count == keys.size()) return keys.back().value;
    return track_interval_value(key, keys[count], row);
}

// The value the curve reaches just before the key at `index`, the first key
// on its row: where the interval before it ends.
double value_before(const Track& track, size_t index) {
    const std::vector<Keyframe>& keys = track.keys;
    if (index == 0) return keys.front().value;
    const Keyframe& key = keys[index - 1];
    const double row = keys[index].row;
    if (index >= 2 && keys[index - 2].row == key.row && double(key.row) == row - 1.0)
        return track_value(track, std::nextafter(row, -INFINITY));
    return track_interval_value(key, keys[index], row);
}

// How many of the keys stand on rows before `row`, by bisection.
size_t keys_before(const std::vector<Keyframe>& keys, double row) {
    size_t low = 0, high = keys.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (keys[middle].row < row)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// The keys on rows from `from` to `to`: [first, end) of the track's keys.
// Track files hold their keys in ascending rows, and track_value bisects them
// so; where the keys in view (or their neighbours either side) do not ascend,
// its answers follow no order of keys, and the curve is sampled from
// track_value itself and its keys go unmarked.
struct CurveView {
    size_t first = 0;
    size_t end = 0;
    bool ascending = true;
};

CurveView curve_view(const Track& track, double from, double to) {
    const std::vector<Keyframe>& keys = track.keys;
    CurveView view;
    view.first = keys_before(keys, from);
    view.end = std::max(view.first, keys_before(keys, std::floor(to) + 1.0));
    const size_t stop = std::min(view.end + 1, keys.size());
    for (size_t i = std::max(view.first, size_t(1)); i < stop; ++i)
        if (keys[i].row < keys[i - 1].row) {
            view.ascending = false;
            break;
        }
    return view;
}

// The values the curves take over the rows shown, and the kinds of their keys
// there.
struct CurveSurvey {
    double low = INFINITY;
    double high = -INFINITY;
    bool kinds[KIND_COUNT] = {};
};

void survey_include(CurveSurvey& survey, double value) {
    if (!std::isfinite(value)) return;
    survey.low = std::min(survey.low, value);
    survey.high = std::max(survey.high, value);
}

// Every shape is monotone from one key to the next, so the curve's extremes
// lie at the view's ends, at its keys and just before them; the keys' own
// values count too, for their markers. Keys that do not ascend are sampled
// `samples` times instead.
void curve_survey(CurveSurvey& survey, const Track& track, double from, double to, int32_t samples) {
    const std::vector<Keyframe>& keys = track.keys;
    const CurveView view = curve_view(track, from, to);
    survey_include(survey, track_value(track, from));
    survey_include(survey, track_value(track, to));
    if (!view.ascending) {
        for (int32_t i = 1; i < samples; ++i)
            survey_include(survey, track_value(track, from + (to - from) * i / samples));
        return;
    }
    for (size_t i = view.first; i < view.end;) {
        const int32_t row = keys[i].row;
        size_t after = i;
        for (; after < keys.size() && keys[after].row == row; ++after) {
            survey.kinds[kind_index(keys[after].kind)] = true;
            survey_include(survey, keys[after].value);
        }
        if (row > from) survey_include(survey, value_before(track, i));
        survey_include(survey, value_at(track, after, row));
        i = after;
    }
}

std::pair<double, double> rows_shown(std::span<const PlotCurve> curves, const PlotRequest& request) {
    double first = INFINITY, last = -INFINITY;
    if (!request.from || !request.to)
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

std::pair<double, double> values_shown(const CurveSurvey& survey) {
    const double low = survey.low, high = survey.high;
    if (low > high) return {-1.0, 1.0};
    if (high - low <= std::max(std::abs(low), std::abs(high)) * 1e-9) {
        const double centre = (low + high) / 2.0;
        const double half = std::max(std::abs(centre) * 0.1, 1.0);
        return {centre - half, centre + half};
    }
    const double room = (high - low) * 0.06;
    return {low - room, high + room};
}

// The curves' names, then the marker of each kind among the keys shown, in
// lines that wrap at the picture's edge.
std::vector<PlotLegendEntry> legend_entries(std::span<const PlotCurve> curves, const bool (&kinds)[KIND_COUNT],
                                            int32_t width, const Metrics& metrics) {
    const int32_t scale = metrics.scale;
    std::vector<PlotLegendEntry> entries;
    std::vector<int32_t> gaps;  // before each entry on its line
    for (size_t i = 0; i < curves.size(); ++i) {
        entries.push_back({curves[i].label, plot_curve_color(i), std::nullopt, 0, 0, {}});
        gaps.push_back(i == 0 ? 0 : 14 * scale);
    }
    bool first_kind = true;
    for (size_t kind = 0; kind < KIND_COUNT; ++kind)
        if (kinds[kind]) {
            entries.push_back({kind_legend(kind), MUTED, int32_t(kind), 0, 0, {}});
            gaps.push_back(first_kind ? 32 * scale : 10 * scale);
            first_kind = false;
        }
    int32_t line_x = metrics.pad, line_top = metrics.pad;
    for (size_t i = 0; i < entries.size(); ++i) {
        PlotLegendEntry& entry = entries[i];
        const int32_t text_x = metrics.swatch + metrics.swatch_gap;
        const int32_t entry_width = text_x + raster_text_width(entry.text, scale);
        entry.x = line_x + gaps[i];
        if (entry.x + entry_width > width - metrics.pad && line_x > metrics.pad) {
            entry.x = metrics.pad;
            line_top += metrics.line_height;
        }
        entry.y = line_top;
        line_x = entry.x + entry_width;

        const double middle = entry.y + metrics.cap / 2.0;
        const PlotRect swatch =
            entry.kind ? rect_around(entry.x + metrics.swatch / 2.0, middle, marker_reach(metrics))
                       : rect_union(rect_around(entry.x + 1.0, middle, (metrics.curve_width + 1.0) / 2.0 + 0.5),
                                    rect_around(entry.x + metrics.swatch - 1.0, middle,
                                                (metrics.curve_width + 1.0) / 2.0 + 0.5));
        entry.place = rect_union(swatch, {entry.x + text_x, entry.y, entry.x + entry_width,
                                          entry.y + metrics.text_height});
    }
    return entries;
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
    marker_shape_draw(raster, shape, centre, radius + HALO_WIDTH, HALO);
    marker_shape_draw(raster, shape, centre, radius, color);
}

struct Sample {
    double row;
    double value;
};

// One column's stretch of a curve, sampled in row order: its edges, its
// middle, and each key inside with the value just before it.
struct ColumnTrace {
    Sample samples[4];  // the first ones, enough for a column of one key row
    int32_t count = 0;
    int32_t key_rows = 0;
    Sample least{0.0, INFINITY};  // the extremes among the finite samples
    Sample most{0.0, -INFINITY};
};

void column_sample(ColumnTrace& column, double row, double value) {
    if (column.count < int32_t(std::size(column.samples))) column.samples[column.count] = {row, value};
    ++column.count;
    if (!std::isfinite(value)) return;
    if (value < column.least.value) column.least = {row, value};
    if (value > column.most.value) column.most = {row, value};
}

// A column of one key row at most keeps the curve's own shape. A column of
// more keys stands for the curve by its extremes between its edge values: as
// the curve is monotone between keys, the line then covers every value the
// curve takes across the column, and meets its neighbours at their edges.
void column_finish(ColumnTrace& column, Sample exit, bool last, const PlotLayout& layout,
                   std::vector<Point>& points) {
    const auto point = [&](Sample sample) {
        if (!std::isfinite(sample.value)) return Point{NAN, NAN};
        return Point{plot_x(layout, sample.row) - layout.curves.left,
                     plot_y(layout, sample.value) - layout.curves.top};
    };
    if (column.key_rows < 2) {
        for (int32_t i = 0; i < column.count; ++i) points.push_back(point(column.samples[i]));
        if (last) points.push_back(point(exit));
        return;
    }
    column_sample(column, exit.row, exit.value);
    points.push_back(point(column.samples[0]));
    if (column.least.value <= column.most.value) {
        const bool least_first = column.least.row <= column.most.row;
        points.push_back(point(least_first ? column.least : column.most));
        points.push_back(point(least_first ? column.most : column.least));
    }
    points.push_back(point(exit));
}

// The curve's line through the area's columns, in the layer's pixels: four
// points a column at most, however many keys it holds, each key visited once.
std::vector<Point> curve_trace(const Track& track, const PlotLayout& layout) {
    const std::vector<Keyframe>& keys = track.keys;
    const CurveView view = curve_view(track, layout.from, layout.to);
    const int32_t columns = layout.curves.right - layout.curves.left;
    const double span = layout.to - layout.from;
    const auto edge = [&](int32_t column) {
        return column == columns ? layout.to : layout.from + span * column / columns;
    };
    std::vector<Point> points;
    points.reserve(size_t(std::max(columns, 0)) * 4 + 1);
    size_t next = view.first;  // the first key not yet traced; none before it stands on a later row
    for (int32_t c = 0; c < columns; ++c) {
        const double low = edge(c), high = edge(c + 1);
        const double middle = std::clamp(layout.from + span * (c + 0.5) / columns, low, high);
        ColumnTrace column;
        Sample exit{high, 0.0};
        if (!view.ascending) {
            column_sample(column, low, track_value(track, low));
            column_sample(column, middle, track_value(track, middle));
            exit.value = track_value(track, high);
        } else {
            if (next == keys.size() || keys[next].row > low) column_sample(column, low, value_at(track, next, low));
            bool middle_done = false;
            // A key on the column's left edge is the column's; so is one on
            // an edge that rounding made meet the right one.
            while (next < keys.size() && (keys[next].row < high || keys[next].row <= low)) {
                const double row = keys[next].row;
                if (!middle_done && middle < row) {
                    column_sample(column, middle, value_at(track, next, middle));
                    middle_done = true;
                }
                size_t after = next + 1;
                while (after < keys.size() && keys[after].row == keys[next].row) ++after;
                column_sample(column, row, value_before(track, next));
                column_sample(column, row, value_at(track, after, row));
                ++column.key_rows;
                next = after;
            }
            if (!middle_done) column_sample(column, middle, value_at(track, next, middle));
            exit.value = next < keys.size() && keys[next].row == high ? value_before(track, next)
                                                                      : value_at(track, next, high);
        }
        column_finish(column, exit, c + 1 == columns, layout, points);
    }
    return points;
}

// Each key's marker, where the keys either side of it in view stand far
// enough off for no marker to cover another: in crowds of keys the markers
// would hide the curve, and tell nothing apart.
void markers_draw(Raster& layer, const PlotLayout& layout, const Track& track, Color color) {
    const std::vector<Keyframe>& keys = track.keys;
    const CurveView view = curve_view(track, layout.from, layout.to);
    if (!view.ascending || view.first == view.end) return;
    const Metrics metrics = metrics_of(layout.scale);
    const double room = 2.0 * marker_reach(metrics);  // between neighbouring centres
    const auto x_of = [&](size_t i) { return plot_x(layout, keys[i].row) - layout.curves.left; };
    double before = -INFINITY, x = x_of(view.first);
    for (size_t i = view.first; i < view.end; ++i) {
        const double after = i + 1 < view.end ? x_of(i + 1) : INFINITY;
        if (x - before >= room && after - x >= room && std::isfinite(keys[i].value))
            marker_draw(layer, KIND_MARKERS[kind_index(keys[i].kind)],
                        {x, plot_y(layout, keys[i].value) - layout.curves.top}, metrics.marker_radius, color);
        before = x;
        x = after;
    }
}

// The area, the title's rows, then beats, bars and four-bar phrases, each
// drawn only when its lines stand far enough apart to tell, and the values'
// lines.
void grid_draw(Raster& image, const PlotLayout& layout) {
    const PlotRect& area = layout.curves;
    const int32_t area_height = area.bottom - area.top;
    const int32_t scale = layout.scale;
    raster_fill_rect(image, area.left, area.top, area.right - area.left, area_height, AREA);
    const bool title_shown = TITLE_LAST_ROW > layout.from && TITLE_FIRST_ROW < layout.to;
    const double title_first = std::max(TITLE_FIRST_ROW, layout.from);
    const double title_last = std::min(TITLE_LAST_ROW, layout.to);
    if (title_shown) {
        const int32_t first = layout_column(layout, title_first);
        const int32_t last = layout_column(layout, title_last);
        raster_fill_rect(image, first, area.top, last - first + 1, area_height, TITLE_SPAN);
    }
    const double pixels_per_row = (area.right - area.left) / (layout.to - layout.from);
    const std::pair<double, Color> grids[] = {
        {ROWS_PER_BEAT, BEAT_LINE}, {ROWS_PER_BAR, BAR_LINE}, {ROWS_PER_PHRASE, PHRASE_LINE}};
    for (const auto& [rows, color] : grids) {
        if (pixels_per_row * rows < (rows == ROWS_PER_BEAT ? 8.0 : 4.0)) continue;
        for (double row : ticks_between(layout.from, layout.to, rows))
            raster_fill_rect(image, layout_column(layout, row), area.top, 1, area_height, color);
    }
    for (double value : ticks_between(layout.low, layout.high, layout.value_step))
        raster_fill_rect(image, area.left, layout_value_y(layout, value), area.right - area.left, 1,
                         value == 0.0 ? ZERO_LINE : VALUE_LINE);
    if (!title_shown) return;
    // Named in the band, in smaller letters when the band is narrow.
    for (int32_t label_scale = scale; label_scale >= 1; --label_scale) {
        const int32_t label_width = raster_text_width("title", label_scale);
        if (pixels_per_row * (title_last - title_first) < label_width + 4 * label_scale) continue;
        raster_draw_text(image, pixel_floor(plot_x(layout, (title_first + title_last) / 2.0) - label_width / 2.0),
                         area.top + 3 * scale, "title", TITLE_TEXT, label_scale);
        break;
    }
}

// Every curve, then every marker above them, on a layer cut to the area.
void curves_draw(Raster& image, const PlotLayout& layout, std::span<const PlotCurve> curves) {
    const PlotRect& area = layout.curves;
    Raster layer = raster_create(area.right - area.left, area.bottom - area.top, CLEAR);
    const double curve_width = metrics_of(layout.scale).curve_width;
    for (size_t i = 0; i < curves.size(); ++i)
        raster_draw_polyline(layer, curve_trace(*curves[i].track, layout), plot_curve_color(i), curve_width);
    for (size_t i = 0; i < curves.size(); ++i) markers_draw(layer, layout, *curves[i].track, plot_curve_color(i));
    raster_blit(image, layer, area.left, area.top);
}

// Where a tick's label starts for it to stand centred under or over its tick.
int32_t tick_label_x(const PlotLayout& layout, int32_t tick_x, const std::string& label) {
    return text_centred(layout.width, raster_text_width(label, layout.scale), tick_x + 0.5);
}

// The frame and the axes: rows below, seconds above, values on the left.
void axes_draw(Raster& image, const PlotLayout& layout) {
    const PlotRect& area = layout.curves;
    const int32_t scale = layout.scale;
    const Metrics metrics = metrics_of(scale);
    const int32_t tick = metrics.tick;
    const int32_t area_height = area.bottom - area.top;
    raster_fill_rect(image, area.left - 1, area.top - 1, area.right - area.left + 2, 1, FRAME);
    raster_fill_rect(image, area.left - 1, area.bottom, area.right - area.left + 2, 1, FRAME);
    raster_fill_rect(image, area.left - 1, area.top, 1, area_height, FRAME);
    raster_fill_rect(image, area.right, area.top, 1, area_height, FRAME);
    // The axes' names stand at the left; a tick label that would run into
    // them is left out rather than moved away from its tick.
    raster_draw_text(image, layout.row_labels.left, layout.row_labels.top, "row", MUTED, scale);
    raster_draw_text(image, layout.second_labels.left, layout.second_labels.top, "sec", MUTED, scale);
    const int32_t labels_start = layout.second_labels.left + raster_text_width("sec", scale) + 4 * scale;
    for (double row : ticks_between(layout.from, layout.to, layout.row_step)) {
        const int32_t x = layout_column(layout, row);
        raster_fill_rect(image, x, area.bottom + 1, 1, tick, FRAME);
        const std::string label = number_format(row, layout.row_step);
        const int32_t label_x = tick_label_x(layout, x, label);
        if (label_x >= labels_start) raster_draw_text(image, label_x, layout.row_labels.top, label, TEXT, scale);
    }
    const double seconds_from = layout.from / ROWS_PER_SECOND;
    const double seconds_to = layout.to / ROWS_PER_SECOND;
    for (double second : ticks_between(seconds_from, seconds_to, layout.second_step)) {
        const int32_t x = layout_column(layout, second * ROWS_PER_SECOND);
        raster_fill_rect(image, x, area.top - 1 - tick, 1, tick, FRAME);
        const std::string label = number_format(second, layout.second_step);
        const int32_t label_x = tick_label_x(layout, x, label);
        if (label_x >= labels_start)
            raster_draw_text(image, label_x, layout.second_labels.top, label, TEXT, scale);
    }
    for (double value : ticks_between(layout.low, layout.high, layout.value_step)) {
        const int32_t y = layout_value_y(layout, value);
        raster_fill_rect(image, area.left - 1 - tick, y, tick, 1, FRAME);
        const std::string label = number_format(value, layout.value_step);
        raster_draw_text(image, layout.value_labels.right - raster_text_width(label, scale), y - metrics.cap / 2,
                         label, TEXT, scale);
    }
}

void legend_draw(Raster& image, const PlotLayout& layout) {
    const Metrics metrics = metrics_of(layout.scale);
    for (const PlotLegendEntry& entry : layout.entries) {
        const double middle = entry.y + metrics.cap / 2.0;
        if (entry.kind)
            marker_draw(image, KIND_MARKERS[kind_index(*entry.kind)], {entry.x + metrics.swatch / 2.0, middle},
                        metrics.marker_radius, entry.color);
        else
            raster_draw_line(image, {entry.x + 1.0, middle}, {entry.x + metrics.swatch - 1.0, middle}, entry.color,
                             metrics.curve_width + 1.0);
        raster_draw_text(image, entry.x + metrics.swatch + metrics.swatch_gap, entry.y, entry.text, TEXT,
                         layout.scale);
    }
}

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

double plot_x(const PlotLayout& layout, double row) {
    const PlotRect& area = layout.curves;
    return area.left + (row - layout.from) / (layout.to - layout.from) * (area.right - area.left);
}

double plot_y(const PlotLayout& layout, double value) {
    return layout.curves.bottom -
           (value - layout.low) / (layout.high - layout.low) * (layout.curves.bottom - layout.curves.top);
}

PlotLayout plot_layout(std::span<const PlotCurve> curves, const PlotRequest& request) {
    PlotLayout layout;
    layout.width = std::clamp(request.width, PLOT_WIDTH_MIN, PLOT_SIDE_MAX);
    layout.height = std::clamp(request.height, PLOT_HEIGHT_MIN, PLOT_SIDE_MAX);
    layout.scale = std::clamp(std::min(layout.width / 560, layout.height / 280), 1, 3);
    const Metrics metrics = metrics_of(layout.scale);
    const int32_t scale = layout.scale;

    std::tie(layout.from, layout.to) = rows_shown(curves, request);
    CurveSurvey survey;
    for (const PlotCurve& curve : curves)
        curve_survey(survey, *curve.track, layout.from, layout.to, 2 * layout.width);
    std::tie(layout.low, layout.high) = values_shown(survey);

    layout.entries = legend_entries(curves, survey.kinds, layout.width, metrics);
    for (const PlotLegendEntry& entry : layout.entries) layout.legend = rect_union(layout.legend, entry.place);
    const int32_t legend_lines =
        layout.entries.empty() ? 1 : (layout.entries.back().y - metrics.pad) / metrics.line_height + 1;

    // The curves' area, between the legend, the axes' labels and the margins.
    PlotRect& area = layout.curves;
    const int32_t label_gap = 3 * scale + metrics.tick;  // between a label and the frame
    area.bottom = layout.height - metrics.pad - metrics.cap - label_gap;
    area.top = std::min(metrics.pad + legend_lines * metrics.line_height + 4 * scale + metrics.cap + label_gap,
                        area.bottom - 40);
    layout.value_step =
        plot_step((layout.high - layout.low) * 3.0 * metrics.line_height / (area.bottom - area.top), false);
    const std::vector<double> value_ticks = ticks_between(layout.low, layout.high, layout.value_step);
    int32_t value_labels = raster_text_width("sec", scale);
    for (double value : value_ticks)
        value_labels = std::max(value_labels, raster_text_width(number_format(value, layout.value_step), scale));
    area.left = std::min(metrics.pad + value_labels + label_gap, layout.width / 2);
    area.right = layout.width - metrics.pad - 3 * RASTER_GLYPH_ADVANCE * scale;
    const double area_width = area.right - area.left;
    layout.row_step = ticks_step(layout.from, layout.to, area_width, scale, true);
    layout.second_step =
        ticks_step(layout.from / ROWS_PER_SECOND, layout.to / ROWS_PER_SECOND, area_width, scale, false);

    // Tick labels centre on their ticks up to the picture's edges.
    const int32_t rows_top = area.bottom + label_gap;
    layout.row_labels = {metrics.pad, rows_top, layout.width, rows_top + metrics.text_height};
    const int32_t seconds_top = area.top - label_gap - metrics.cap;
    layout.second_labels = {metrics.pad, seconds_top, layout.width, seconds_top + metrics.text_height};
    const int32_t values_right = area.left - 1 - label_gap;
    for (double value : value_ticks) {
        const int32_t top = layout_value_y(layout, value) - metrics.cap / 2;
        const int32_t label_width = raster_text_width(number_format(value, layout.value_step), scale);
        layout.value_labels = rect_union(layout.value_labels, {std::max(values_right - label_width, 0), top,
                                                               values_right, top + metrics.text_height});
    }
    return layout;
}

Plot track_plot(std::span<const PlotCurve> curves, const PlotRequest& request) {
    Plot plot;
    plot.layout = plot_layout(curves, request);
    const PlotLayout& layout = plot.layout;
    plot.image = raster_create(layout.width, layout.height, PAGE);
    grid_draw(plot.image, layout);
    curves_draw(plot.image, layout, curves);
    axes_draw(plot.image, layout);
    legend_draw(plot.image, layout);
    return plot;
}
