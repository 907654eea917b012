// The timeline panel: the tune's rows across the width, with its beats, bars
// and phrases, the title's span, the loop, the waveform and the play head; a
// click or a drag seeks, the wheel zooms and Shift+wheel scrolls.
#include <algorithm>
#include <cmath>

#include "presentation/presentation.h"
#include "tools/studio/ui/panels.h"

void timeline_panel(StudioWindow& window, ImVec2 origin, ImVec2 size) {
    StudioSession& session = window.session;
    TimelineView& view = window.timeline;
    view.width = size.x;
    if (session.transport.playing) timeline_follow(view, session.row);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 end{origin.x + size.x, origin.y + size.y};
    draw->AddRectFilled(origin, end, IM_COL32(18, 18, 22, 255));
    const auto span = [&](double from, double to, ImU32 color) {
        const float a = origin.x + float(timeline_x(view, from)), b = origin.x + float(timeline_x(view, to));
        if (b > origin.x && a < end.x)
            draw->AddRectFilled({std::max(a, origin.x), origin.y}, {std::min(b, end.x), end.y}, color);
    };
    span(TITLE_FIRST_ROW, TITLE_LAST_ROW, TITLE_SPAN);
    if (session.transport.loop)
        span(session.transport.loop_in * ROWS_PER_SECOND, session.transport.loop_out * ROWS_PER_SECOND, LOOP_SPAN);
    for (const TimelineLine& line : timeline_lines(view, 6.0)) {
        const float x = origin.x + float(timeline_x(view, line.row));
        const ImU32 color = line.kind == TimelineLineKind::phrase ? IM_COL32(150, 150, 160, 255)
                            : line.kind == TimelineLineKind::bar  ? IM_COL32(85, 85, 95, 255)
                                                                  : IM_COL32(45, 45, 52, 255);
        draw->AddLine({x, origin.y}, {x, end.y}, color);
    }
    const Waveform& waveform = window.waveform;
    const float middle = origin.y + size.y / 2.0f;
    for (float x = 0.0f; x < size.x && !waveform.low.empty(); x += 1.0f) {
        const double row = timeline_row_at(view, x);
        if (row < 0.0 || row >= double(waveform.low.size())) continue;
        const size_t index = size_t(row);
        draw->AddLine({origin.x + x, middle - waveform.high[index] * size.y * 0.45f},
                      {origin.x + x, middle - waveform.low[index] * size.y * 0.45f + 1.0f},
                      IM_COL32(80, 160, 210, 255));
    }
    for (const Bookmark& mark : session.bookmarks.marks) {
        const float x = origin.x + float(timeline_x(view, mark.row));
        if (x < origin.x || x > end.x) continue;
        draw->AddLine({x, origin.y}, {x, end.y}, BOOKMARK, 1.0f);
        draw->AddText({x + 3, origin.y + 1}, BOOKMARK, mark.name.c_str());
    }
    const float head = origin.x + float(timeline_x(view, session.row));
    draw->AddLine({head, origin.y}, {head, end.y}, PLAY_HEAD, 2.0f);

    ImGui::SetCursorScreenPos(origin);
    ImGui::InvisibleButton("timeline", size);
    if (ImGui::IsItemActive()) {
        const double row = std::clamp(timeline_row_at(view, ImGui::GetMousePos().x - origin.x), 0.0, view.end_row);
        studio_seek(session, window.effects, row / ROWS_PER_SECOND);
    }
    if (ImGui::IsItemHovered()) {
        const float wheel = ImGui::GetIO().MouseWheel;
        if (wheel != 0.0f) {
            if (ImGui::GetIO().KeyShift)
                timeline_scroll(view, -double(wheel) * (view.last_row - view.first_row) / 10.0);
            else
                timeline_zoom(view, std::pow(1.25, double(wheel)), ImGui::GetMousePos().x - origin.x);
        }
    }
}
