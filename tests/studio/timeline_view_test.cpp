// The timeline's maths: rows and pixels both ways, zoom about the pointer,
// scroll and follow within the tune, the beat, bar and phrase lines as the
// spacing allows them, bars and beats counted from 1, and times written out.
#include "tools/studio/model/timeline_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "presentation/presentation.h"

namespace {

// A 90 s tune: 1800 rows.
constexpr double END_ROW = 90.0 * ROWS_PER_SECOND;

TimelineView view_showing(double first, double last, double width) {
    TimelineView view = timeline_view_create(END_ROW, width);
    view.first_row = first;
    view.last_row = last;
    return view;
}

TEST(TimelineView, TheTempoIsWhatTheLinesAssume) {
    // The lines and the numbering below are written for 120 beats a minute in
    // four at 20 rows a second.
    ASSERT_DOUBLE_EQ(ROWS_PER_BEAT, 10.0);
    ASSERT_DOUBLE_EQ(ROWS_PER_BAR, 40.0);
}

TEST(TimelineView, StartsShowingTheWholeTune) {
    const TimelineView view = timeline_view_create(END_ROW, 900.0);
    EXPECT_DOUBLE_EQ(view.first_row, 0.0);
    EXPECT_DOUBLE_EQ(view.last_row, END_ROW);
    EXPECT_DOUBLE_EQ(view.width, 900.0);
    EXPECT_DOUBLE_EQ(timeline_x(view, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(timeline_x(view, END_ROW), 900.0);
    EXPECT_DOUBLE_EQ(timeline_x(view, 900.0), 450.0);
}

TEST(TimelineView, AShortTuneOrNoWidthStillConverts) {
    const TimelineView tiny = timeline_view_create(2.0, 0.0);
    EXPECT_DOUBLE_EQ(tiny.last_row - tiny.first_row, TIMELINE_MIN_ROWS);
    EXPECT_DOUBLE_EQ(tiny.width, 1.0);
    EXPECT_TRUE(std::isfinite(timeline_row_at(tiny, 0.5)));
    const TimelineView none = timeline_view_create(std::nan(""), 100.0);
    EXPECT_DOUBLE_EQ(none.end_row, 0.0);
    EXPECT_DOUBLE_EQ(timeline_x(none, 4.0), 50.0);
}

TEST(TimelineView, RowsAndPixelsConvertBothWays) {
    const TimelineView view = view_showing(200.0, 400.0, 1000.0);
    EXPECT_DOUBLE_EQ(timeline_x(view, 200.0), 0.0);
    EXPECT_DOUBLE_EQ(timeline_x(view, 400.0), 1000.0);
    EXPECT_DOUBLE_EQ(timeline_x(view, 250.0), 250.0);
    EXPECT_DOUBLE_EQ(timeline_x(view, 100.0), -500.0) << "rows out of view fall outside the width";
    EXPECT_DOUBLE_EQ(timeline_row_at(view, 500.0), 300.0);
    for (double x = -100.0; x < 1100.0; x += 13.7) EXPECT_NEAR(timeline_x(view, timeline_row_at(view, x)), x, 1e-9);
}

TEST(TimelineView, ZoomKeepsTheRowUnderThePointer) {
    TimelineView view = view_showing(200.0, 400.0, 1000.0);
    const double row = timeline_row_at(view, 300.0);
    timeline_zoom(view, 2.0, 300.0);
    EXPECT_NEAR(view.last_row - view.first_row, 100.0, 1e-9);
    EXPECT_NEAR(timeline_row_at(view, 300.0), row, 1e-9);
    const double other = timeline_row_at(view, 800.0);
    timeline_zoom(view, 0.5, 800.0);
    EXPECT_NEAR(view.last_row - view.first_row, 200.0, 1e-9);
    EXPECT_NEAR(timeline_row_at(view, 800.0), other, 1e-9);
}

TEST(TimelineView, ZoomStopsAtEightRowsAndAtTheWholeTune) {
    TimelineView view = view_showing(200.0, 400.0, 1000.0);
    timeline_zoom(view, 1e6, 500.0);
    EXPECT_NEAR(view.last_row - view.first_row, TIMELINE_MIN_ROWS, 1e-9);
    EXPECT_NEAR(timeline_row_at(view, 500.0), 300.0, 1e-9);
    timeline_zoom(view, 1e-6, 500.0);
    EXPECT_DOUBLE_EQ(view.first_row, 0.0);
    EXPECT_DOUBLE_EQ(view.last_row, END_ROW);
}

TEST(TimelineView, ZoomOutNearAnEdgeStaysWithinTheTune) {
    TimelineView view = view_showing(1700.0, 1800.0, 1000.0);
    timeline_zoom(view, 0.25, 900.0);
    EXPECT_NEAR(view.last_row - view.first_row, 400.0, 1e-9);
    EXPECT_DOUBLE_EQ(view.last_row, END_ROW);
    view = view_showing(0.0, 100.0, 1000.0);
    timeline_zoom(view, 0.25, 100.0);
    EXPECT_DOUBLE_EQ(view.first_row, 0.0);
    EXPECT_NEAR(view.last_row, 400.0, 1e-9);
}

TEST(TimelineView, ZoomIgnoresNonsense) {
    TimelineView view = view_showing(200.0, 400.0, 1000.0);
    for (double factor : {0.0, -2.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        timeline_zoom(view, factor, 500.0);
        EXPECT_DOUBLE_EQ(view.first_row, 200.0) << factor;
        EXPECT_DOUBLE_EQ(view.last_row, 400.0) << factor;
    }
}

TEST(TimelineView, ScrollStaysWithinTheTune) {
    TimelineView view = view_showing(200.0, 400.0, 1000.0);
    timeline_scroll(view, 50.0);
    EXPECT_DOUBLE_EQ(view.first_row, 250.0);
    EXPECT_DOUBLE_EQ(view.last_row, 450.0);
    timeline_scroll(view, -1000.0);
    EXPECT_DOUBLE_EQ(view.first_row, 0.0);
    EXPECT_DOUBLE_EQ(view.last_row, 200.0);
    timeline_scroll(view, 1e9);
    EXPECT_DOUBLE_EQ(view.first_row, END_ROW - 200.0);
    EXPECT_DOUBLE_EQ(view.last_row, END_ROW);
}

TEST(TimelineView, FollowScrollsJustEnoughToShowTheRow) {
    TimelineView view = view_showing(200.0, 400.0, 1000.0);
    timeline_follow(view, 300.0);
    EXPECT_DOUBLE_EQ(view.first_row, 200.0) << "in view: no scroll";
    timeline_follow(view, 430.0);
    EXPECT_DOUBLE_EQ(view.first_row, 230.0);
    EXPECT_DOUBLE_EQ(view.last_row, 430.0);
    timeline_follow(view, 100.0);
    EXPECT_DOUBLE_EQ(view.first_row, 100.0);
    EXPECT_DOUBLE_EQ(view.last_row, 300.0);
    timeline_follow(view, 5000.0);
    EXPECT_DOUBLE_EQ(view.last_row, END_ROW) << "not past the tune";
}

std::vector<TimelineLine> lines_of_kind(const std::vector<TimelineLine>& lines, TimelineLineKind kind) {
    std::vector<TimelineLine> chosen;
    for (const TimelineLine& line : lines)
        if (line.kind == kind) chosen.push_back(line);
    return chosen;
}

TEST(TimelineView, LinesMarkBeatsBarsAndPhrases) {
    // 400 rows on 800 pixels: a beat every 20 pixels.
    const TimelineView view = view_showing(0.0, 400.0, 800.0);
    const std::vector<TimelineLine> lines = timeline_lines(view, 10.0);
    ASSERT_EQ(lines.size(), 41u) << "every beat from row 0 to row 400, both ends included";
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_DOUBLE_EQ(lines[i].row, 10.0 * double(i));
    EXPECT_EQ(lines[0].kind, TimelineLineKind::phrase);
    EXPECT_EQ(lines[1].kind, TimelineLineKind::beat);
    EXPECT_EQ(lines[4].kind, TimelineLineKind::bar);
    EXPECT_EQ(lines[16].kind, TimelineLineKind::phrase);
    EXPECT_EQ(lines_of_kind(lines, TimelineLineKind::phrase).size(), 3u);  // rows 0, 160, 320
    EXPECT_EQ(lines_of_kind(lines, TimelineLineKind::bar).size(), 8u);
    EXPECT_EQ(lines_of_kind(lines, TimelineLineKind::beat).size(), 30u);
}

TEST(TimelineView, DenseBeatsGiveWayToBarsAndThenToPhrases) {
    const TimelineView view = view_showing(0.0, 400.0, 800.0);  // beats 20 px, bars 80 px apart
    const std::vector<TimelineLine> bars = timeline_lines(view, 21.0);
    EXPECT_TRUE(lines_of_kind(bars, TimelineLineKind::beat).empty());
    ASSERT_EQ(bars.size(), 11u);
    for (const TimelineLine& line : bars) EXPECT_DOUBLE_EQ(std::fmod(line.row, 40.0), 0.0);
    EXPECT_EQ(lines_of_kind(bars, TimelineLineKind::phrase).size(), 3u);

    const std::vector<TimelineLine> phrases = timeline_lines(view, 81.0);
    ASSERT_EQ(phrases.size(), 3u);
    for (const TimelineLine& line : phrases) EXPECT_EQ(line.kind, TimelineLineKind::phrase);
    EXPECT_EQ(timeline_lines(view, 1e9).size(), 3u) << "phrases always";
    EXPECT_EQ(timeline_lines(view, 20.0).size(), 41u) << "exactly the spacing is enough";
}

TEST(TimelineView, LinesAreOnlyThoseInView) {
    const TimelineView view = view_showing(95.0, 205.0, 1100.0);
    const std::vector<TimelineLine> lines = timeline_lines(view, 5.0);
    ASSERT_FALSE(lines.empty());
    EXPECT_DOUBLE_EQ(lines.front().row, 100.0);
    EXPECT_DOUBLE_EQ(lines.back().row, 200.0);
    EXPECT_EQ(lines.size(), 11u);
    // A view whose edge is a hair off a beat, as from pixel maths, still shows it.
    const TimelineView edge = view_showing(100.0 + 1e-12, 200.0 - 1e-12, 1000.0);
    const std::vector<TimelineLine> edged = timeline_lines(edge, 5.0);
    EXPECT_DOUBLE_EQ(edged.front().row, 100.0);
    EXPECT_DOUBLE_EQ(edged.back().row, 200.0);
}

TEST(TimelineView, BarsAndBeatsCountFromOne) {
    const struct {
        double row;
        int64_t bar, beat;
    } cases[] = {{0.0, 1, 1},   {5.0, 1, 1},   {10.0, 1, 2},  {39.99, 1, 4}, {40.0, 2, 1},
                 {70.0, 2, 4},  {160.0, 5, 1}, {1799.0, 45, 4}, {-1.0, 0, 4}, {-40.0, 0, 1},
                 {-41.0, -1, 4}};
    for (const auto& c : cases) {
        const BarBeat bar_beat = timeline_bar_beat(c.row);
        EXPECT_EQ(bar_beat.bar, c.bar) << c.row;
        EXPECT_EQ(bar_beat.beat, c.beat) << c.row;
    }
    // A row computed a hair below its beat still counts as that beat.
    EXPECT_EQ(timeline_bar_beat(std::nextafter(30.0, 0.0)).beat, 4);
}

TEST(TimelineView, TimesReadAsMinutesSecondsAndMilliseconds) {
    EXPECT_EQ(timeline_time_text(0.0), "0:00.000");
    EXPECT_EQ(timeline_time_text(64.0), "1:04.000");
    EXPECT_EQ(timeline_time_text(0.001), "0:00.001");
    EXPECT_EQ(timeline_time_text(9.5), "0:09.500");
    EXPECT_EQ(timeline_time_text(59.9996), "1:00.000") << "to the nearest millisecond";
    EXPECT_EQ(timeline_time_text(3661.25), "61:01.250");
    EXPECT_EQ(timeline_time_text(-1.5), "-0:01.500");
    EXPECT_EQ(timeline_time_text(-0.0001), "0:00.000") << "no minus on a zero";
    EXPECT_EQ(timeline_time_text(std::nan("")), "-:--.---");
}

}  // namespace
