// The maths of the studio's timeline: the span of rows it shows across its
// width, zoom and scroll, where the tune's beats and bars fall (from the
// presentation's tempo), and how a moment is written. Free of ImGui.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The fewest rows the view shows; a tune shorter than this still gets this
// many, running past its end, so that rows and pixels always convert.
inline constexpr double TIMELINE_MIN_ROWS = 8.0;

struct TimelineView {
    double first_row = 0.0;  // at the left edge
    double last_row = 0.0;   // at the right edge
    double width = 1.0;      // pixels, at least 1
    double end_row = 0.0;    // the tune's last row: the view stays within [0, end_row]
};

TimelineView timeline_view_create(double end_row, double width);
double timeline_x(const TimelineView& view, double row);
double timeline_row_at(const TimelineView& view, double x);
// Zooms by factor (above 1 shows fewer rows) keeping the row under x in place;
// at most the whole tune, at least TIMELINE_MIN_ROWS.
void timeline_zoom(TimelineView& view, double factor, double x);
// Scrolls by rows, staying within the tune.
void timeline_scroll(TimelineView& view, double rows);
// Scrolls just enough to show the row.
void timeline_follow(TimelineView& view, double row);

enum class TimelineLineKind { beat, bar, phrase };
struct TimelineLine {
    double row;
    TimelineLineKind kind;
};
// The beat, bar and four-bar (phrase) lines in view, left to right, each of
// the strongest kind at its row; beats only when they stand at least
// min_spacing pixels apart, bars likewise, phrases always.
std::vector<TimelineLine> timeline_lines(const TimelineView& view, double min_spacing);

// Bar and beat of a row, both from 1, as musicians count them: row 0 is bar 1
// beat 1, and a row between beats belongs to the beat before it.
struct BarBeat {
    int64_t bar;
    int64_t beat;
};
BarBeat timeline_bar_beat(double row);

// "m:ss.mmm", e.g. "1:04.000" for 64 seconds, to the nearest millisecond;
// negative times with a '-', minutes past 59 as they are ("61:00.000").
std::string timeline_time_text(double seconds);
