// The timeline's maths (timeline_view.h): a linear map from rows to pixels,
// and the tune's metre counted in whole beats so that lines fall on exact rows.
#include "tools/studio/model/timeline_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "presentation/presentation.h"

namespace {

constexpr int64_t BARS_PER_PHRASE = TUNE_BARS_PER_PHRASE;
constexpr int64_t BEATS_PER_BAR = TUNE_BEATS_PER_BAR;
constexpr int64_t BEATS_PER_PHRASE = BEATS_PER_BAR * BARS_PER_PHRASE;
// Rows computed from pixels land a hair off the beat they mean.
constexpr double BEAT_SLACK = 1e-9;

double view_span(const TimelineView& view) { return view.last_row - view.first_row; }

double span_most(const TimelineView& view) { return std::max(view.end_row, TIMELINE_MIN_ROWS); }

// Moves the view, keeping its span, so that it lies within the tune (or starts
// at row 0 when the tune is shorter than the view).
void view_place(TimelineView& view, double first_row) {
    const double span = view_span(view);
    const double first_most = std::max(view.end_row - span, 0.0);
    view.first_row = std::clamp(first_row, 0.0, first_most);
    view.last_row = view.first_row + span;
}

TimelineLineKind beat_kind(int64_t beat) {
    if (beat % BEATS_PER_PHRASE == 0) return TimelineLineKind::phrase;
    if (beat % BEATS_PER_BAR == 0) return TimelineLineKind::bar;
    return TimelineLineKind::beat;
}

}  // namespace

TimelineView timeline_view_create(double end_row, double width) {
    TimelineView view;
    view.end_row = std::isfinite(end_row) ? std::max(end_row, 0.0) : 0.0;
    view.width = std::isfinite(width) ? std::max(width, 1.0) : 1.0;
    view.first_row = 0.0;
    view.last_row = span_most(view);
    return view;
}

double timeline_x(const TimelineView& view, double row) {
    return (row - view.first_row) / view_span(view) * view.width;
}

double timeline_row_at(const TimelineView& view, double x) {
    return view.first_row + x / view.width * view_span(view);
}

void timeline_zoom(TimelineView& view, double factor, double x) {
    if (!(factor > 0.0) || !std::isfinite(factor) || !std::isfinite(x)) return;
    const double fixed_row = timeline_row_at(view, x);
    const double span = std::clamp(view_span(view) / factor, TIMELINE_MIN_ROWS, span_most(view));
    view.first_row = fixed_row - x / view.width * span;
    view.last_row = view.first_row + span;
    view_place(view, view.first_row);
}

void timeline_scroll(TimelineView& view, double rows) {
    if (!std::isfinite(rows)) return;
    view_place(view, view.first_row + rows);
}

void timeline_follow(TimelineView& view, double row) {
    if (!std::isfinite(row)) return;
    if (row < view.first_row) view_place(view, row);
    if (row > view.last_row) view_place(view, row - view_span(view));
}

std::vector<TimelineLine> timeline_lines(const TimelineView& view, double min_spacing) {
    const double pixels_per_beat = ROWS_PER_BEAT * view.width / view_span(view);
    int64_t every = BEATS_PER_PHRASE;
    if (pixels_per_beat * double(BEATS_PER_BAR) >= min_spacing) every = BEATS_PER_BAR;
    if (pixels_per_beat >= min_spacing) every = 1;

    const double beats_per_every = double(every);
    const int64_t first = int64_t(std::ceil(view.first_row / ROWS_PER_BEAT / beats_per_every - BEAT_SLACK));
    const int64_t last = int64_t(std::floor(view.last_row / ROWS_PER_BEAT / beats_per_every + BEAT_SLACK));
    std::vector<TimelineLine> lines;
    lines.reserve(size_t(std::max<int64_t>(last - first + 1, 0)));
    for (int64_t k = first; k <= last; ++k) {
        const int64_t beat = k * every;
        lines.push_back({double(beat) * ROWS_PER_BEAT, beat_kind(beat)});
    }
    return lines;
}

BarBeat timeline_bar_beat(double row) {
    const int64_t beat = int64_t(std::floor(row / ROWS_PER_BEAT + BEAT_SLACK));
    // Floor division, so that rows before the tune count down from bar 0.
    const int64_t bar = beat >= 0 ? beat / BEATS_PER_BAR : -((-beat + BEATS_PER_BAR - 1) / BEATS_PER_BAR);
    return {bar + 1, beat - bar * BEATS_PER_BAR + 1};
}

std::string timeline_time_text(double seconds) {
    if (!std::isfinite(seconds)) return "-:--.---";
    const int64_t total_ms = std::llround(std::abs(seconds) * 1000.0);
    const bool negative = seconds < 0.0 && total_ms > 0;
    char text[48];
    std::snprintf(text, sizeof text, "%s%lld:%02lld.%03lld", negative ? "-" : "",
                  static_cast<long long>(total_ms / 60000), static_cast<long long>(total_ms / 1000 % 60),
                  static_cast<long long>(total_ms % 1000));
    return text;
}
