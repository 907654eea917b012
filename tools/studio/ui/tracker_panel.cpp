// The tracker panel: a column per track and a line per row, the cursor's row
// in the middle; keys with their value and kind, other rows with the value
// the track takes there. Where the columns do not all fit, it shows the ones
// around the cursor's track; a cell's text never runs into the next. The
// wheel moves the cursor a row (with Shift a beat).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "presentation/presentation.h"
#include "tools/studio/ui/panels.h"
#include "tracks/track_text.h"

namespace {

void cell_text(ImDrawList* draw, ImVec2 at, float width, float height, ImU32 color, const char* text) {
    draw->PushClipRect(at, {at.x + width, at.y + height}, true);
    draw->AddText({at.x + 4, at.y + 1}, color, text);
    draw->PopClipRect();
}

}  // namespace

void tracker_panel(StudioWindow& window, ImVec2 origin, ImVec2 size) {
    StudioSession& session = window.session;
    const EditModel& model = session.model;
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const float line = ImGui::GetTextLineHeight() + 2.0f;
    const float label = ImGui::CalcTextSize("000000").x + 8.0f;
    const float column_least = ImGui::CalcTextSize("-000.00 s").x + 8.0f;
    const size_t tracks = model.tracks.size();
    const size_t shown = std::clamp<size_t>(size_t(std::max((size.x - label) / column_least, 1.0f)), 1,
                                            std::max<size_t>(tracks, 1));
    const size_t first_track = std::min(session.cursor_track - std::min(session.cursor_track, shown / 2),
                                        tracks > shown ? tracks - shown : 0);
    const float column = (size.x - label) / float(shown);
    const int32_t visible = std::max(int32_t((size.y - line) / line), 1);
    const int32_t current = studio_cursor_row(session);
    const int32_t first = current - visible / 2;
    const std::optional<EditSelection> block = studio_selection(session);
    draw->AddRectFilled(origin, {origin.x + size.x, origin.y + size.y}, IM_COL32(22, 22, 26, 255));
    for (size_t t = first_track; t < std::min(first_track + shown, tracks); ++t) {
        const EditTrack& track = model.tracks[t];
        const std::string name = track.document.name + (track.conflict ? " !" : track.dirty ? " *" : "");
        cell_text(draw, {origin.x + label + column * float(t - first_track), origin.y}, column, line,
                  t == session.cursor_track ? CURSOR_CELL : KEY_COLOR, name.c_str());
    }
    for (int32_t i = 0; i < visible; ++i) {
        const int32_t row = first + i;
        const float y = origin.y + line * float(i + 1);
        if (row == current)
            draw->AddRectFilled({origin.x, y}, {origin.x + size.x, y + line}, CURSOR_ROW);
        else if (row % int32_t(ROWS_PER_BAR) == 0)
            draw->AddRectFilled({origin.x, y}, {origin.x + size.x, y + line}, BAR_ROW);
        if (row < 0) continue;
        char text[32];
        std::snprintf(text, sizeof text, "%6d", row);
        const bool marked = bookmarks_at(session.bookmarks, row) != nullptr;
        draw->AddText({origin.x + 2, y + 1},
                      marked ? BOOKMARK : row % int32_t(ROWS_PER_BEAT) == 0 ? KEY_COLOR : FAINT_COLOR, text);
        for (size_t t = first_track; t < std::min(first_track + shown, tracks); ++t) {
            const float x = origin.x + label + column * float(t - first_track);
            if (block && t >= block->first_track && t <= block->last_track && row >= block->first_row &&
                row <= block->last_row)
                draw->AddRectFilled({x, y}, {x + column, y + line}, SELECTION);
            if (row == current && t == session.cursor_track)
                draw->AddRect({x, y}, {x + column - 1, y + line}, CURSOR_CELL);
            if (const Keyframe* key = edit_key_at(model, t, row)) {
                const std::string cell = track_value_format(key->value) + " " + interp_kind_letter(key->kind);
                cell_text(draw, {x, y}, column, line, KEY_COLOR, cell.c_str());
            } else {
                std::snprintf(text, sizeof text, "%.4g", track_value(model.tracks[t].track, double(row)));
                cell_text(draw, {x, y}, column, line, FAINT_COLOR, text);
            }
        }
    }
    // A click puts the cursor on that track and row.
    ImGui::SetCursorScreenPos(origin);
    ImGui::InvisibleButton("tracker", size);
    if (ImGui::IsItemClicked()) {
        const ImVec2 mouse = ImGui::GetMousePos();
        const int32_t row = first + int32_t((mouse.y - origin.y) / line) - 1;
        const float x = mouse.x - origin.x - label;
        studio_cursor_place(session, window.effects, x >= 0.0f ? first_track + size_t(x / column) : session.cursor_track,
                            row);
    }
    if (ImGui::IsItemHovered()) {
        const float wheel = ImGui::GetIO().MouseWheel;
        if (wheel != 0.0f) {
            const int32_t step = ImGui::GetIO().KeyShift ? int32_t(ROWS_PER_BEAT) : 1;
            studio_cursor_place(session, window.effects, session.cursor_track,
                                std::max(current - int32_t(std::lround(wheel)) * step, 0));
        }
    }
}
