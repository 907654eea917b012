// ImGui panels over the studio's state. Drawing only reads the models; what a
// click or a typed value means goes through the same commands as the keys.
#include "tools/studio/studio_ui.h"

#include <GL/gl.h>
#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "presentation/frame.h"
#include "presentation/presentation.h"
#include "tools/studio/studio_keys.h"
#include "tools/tracks/track_plot.h"
#include "tools/tracks/track_text.h"

namespace {

constexpr float TRACKER_SHARE = 0.36f;
constexpr float CURVES_HEIGHT = 150.0f;
constexpr float TIMELINE_HEIGHT = 78.0f;
constexpr ImU32 KEY_COLOR = IM_COL32(235, 235, 235, 255);
constexpr ImU32 FAINT_COLOR = IM_COL32(120, 120, 130, 255);
constexpr ImU32 CURSOR_ROW = IM_COL32(70, 90, 140, 255);
constexpr ImU32 CURSOR_CELL = IM_COL32(110, 140, 210, 255);
constexpr ImU32 SELECTION = IM_COL32(150, 110, 40, 110);
constexpr ImU32 BAR_ROW = IM_COL32(40, 40, 48, 255);
constexpr ImU32 TITLE_SPAN = IM_COL32(120, 90, 30, 90);
constexpr ImU32 LOOP_SPAN = IM_COL32(60, 140, 80, 90);
constexpr ImU32 PLAY_HEAD = IM_COL32(255, 80, 60, 255);
constexpr ImU32 ERROR_TEXT = IM_COL32(255, 110, 100, 255);

const char* kind_letter(int32_t kind) {
    switch (kind) {
    case INTERP_HOLD: return "h";
    case INTERP_LINEAR: return "l";
    case INTERP_SMOOTHSTEP: return "s";
    case INTERP_QUADRATIC: return "q";
    default: return "?";
    }
}

const char* scene_name(Scene scene) {
    return scene == Scene::title ? "title" : scene == Scene::landscape ? "landscape" : "nothing";
}

void picture_draw(StudioState& state, ImVec2 origin, ImVec2 size) {
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->AddRectFilled(origin, {origin.x + size.x, origin.y + size.y}, IM_COL32(0, 0, 0, 255));
    // Letterboxed at 16:9, centred.
    const float scale = std::min(size.x / 16.0f, size.y / 9.0f);
    const ImVec2 fitted{16.0f * scale, 9.0f * scale};
    const ImVec2 at{origin.x + (size.x - fitted.x) / 2.0f, origin.y + (size.y - fitted.y) / 2.0f};
    if (state.view.texture)
        draw->AddImage(reinterpret_cast<ImTextureID>(intptr_t(state.view.texture)), at,
                       {at.x + fitted.x, at.y + fitted.y}, {0, 1}, {1, 0});
    if (!state.view.log.empty()) {
        draw->AddRectFilled(origin, {origin.x + size.x, origin.y + size.y}, IM_COL32(0, 0, 0, 170));
        const std::string text = "The shader does not build; the last good programs run.\n\n" + state.view.log;
        draw->AddText(nullptr, 0.0f, {origin.x + 10, origin.y + 10}, ERROR_TEXT, text.c_str(), nullptr,
                      size.x - 20.0f);
    }
}

void tracker_draw(StudioState& state, ImVec2 origin, ImVec2 size) {
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const EditModel& model = state.model;
    const float line = ImGui::GetTextLineHeight() + 2.0f;
    const float label = ImGui::CalcTextSize("000000").x + 8.0f;
    const size_t tracks = std::max<size_t>(model.tracks.size(), 1);
    const float column = (size.x - label) / float(tracks);
    const int32_t visible = std::max(int32_t((size.y - line) / line), 1);
    const int32_t current = int32_t(std::floor(state.row + 1e-9));
    const int32_t first = current - visible / 2;
    const std::optional<EditSelection> block = studio_selection(state);
    draw->AddRectFilled(origin, {origin.x + size.x, origin.y + size.y}, IM_COL32(22, 22, 26, 255));
    for (size_t t = 0; t < model.tracks.size(); ++t) {
        const EditTrack& track = model.tracks[t];
        const std::string name = track.document.name + (track.dirty ? " *" : "");
        draw->AddText({origin.x + label + column * float(t) + 4, origin.y}, t == state.cursor_track ? CURSOR_CELL : KEY_COLOR,
                      name.c_str());
    }
    for (int32_t i = 0; i < visible; ++i) {
        const int32_t row = first + i;
        const float y = origin.y + line * float(i + 1);
        if (row == current) draw->AddRectFilled({origin.x, y}, {origin.x + size.x, y + line}, CURSOR_ROW);
        else if (row % int32_t(ROWS_PER_BAR) == 0) draw->AddRectFilled({origin.x, y}, {origin.x + size.x, y + line}, BAR_ROW);
        if (row < 0) continue;
        char text[32];
        std::snprintf(text, sizeof text, "%6d", row);
        draw->AddText({origin.x + 2, y + 1}, row % int32_t(ROWS_PER_BEAT) == 0 ? KEY_COLOR : FAINT_COLOR, text);
        for (size_t t = 0; t < model.tracks.size(); ++t) {
            const float x = origin.x + label + column * float(t);
            if (block && t >= block->first_track && t <= block->last_track && row >= block->first_row &&
                row <= block->last_row)
                draw->AddRectFilled({x, y}, {x + column, y + line}, SELECTION);
            if (row == current && t == state.cursor_track)
                draw->AddRect({x, y}, {x + column - 1, y + line}, CURSOR_CELL);
            if (const Keyframe* key = edit_key_at(model, t, row)) {
                const std::string cell = track_value_format(key->value) + " " + kind_letter(key->kind);
                draw->AddText({x + 4, y + 1}, KEY_COLOR, cell.c_str());
            } else {
                std::snprintf(text, sizeof text, "%.4g", track_value(model.tracks[t].track, double(row)));
                draw->AddText({x + 4, y + 1}, FAINT_COLOR, text);
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
        if (x >= 0.0f && !model.tracks.empty())
            state.cursor_track = std::min(size_t(x / column), model.tracks.size() - 1);
        if (row >= 0) studio_seek(state, double(row) / ROWS_PER_SECOND);
    }
}

// The tracks of the block (or the cursor's), over the rows the timeline shows,
// drawn by the same code and rules as zirbelon-tracks plot.
void curves_draw(StudioState& state, ImVec2 origin, ImVec2 size) {
    const int32_t width = std::max(int32_t(size.x), PLOT_WIDTH_MIN);
    const int32_t height = std::max(int32_t(size.y), PLOT_HEIGHT_MIN);
    const std::optional<EditSelection> block = studio_selection(state);
    const size_t first = block ? block->first_track : state.cursor_track;
    const size_t last = block ? block->last_track : state.cursor_track;
    if (state.model.tracks.empty()) return;
    char key[160];
    std::snprintf(key, sizeof key, "%zu %zu %llu %.3f %.3f %d %d", first, last, (unsigned long long)state.edits,
                  state.timeline.first_row, state.timeline.last_row, width, height);
    if (key != state.plot_key) {
        std::vector<PlotCurve> curves;
        for (size_t t = first; t <= last && t < state.model.tracks.size(); ++t)
            curves.push_back({state.model.tracks[t].document.name, &state.model.tracks[t].track});
        PlotRequest request;
        request.width = width;
        request.height = height;
        request.from = state.timeline.first_row;
        request.to = std::max(state.timeline.last_row, state.timeline.first_row + PLOT_SPAN_MIN);
        const Plot plot = track_plot(curves, request);
        if (!state.plot_texture) glGenTextures(1, &state.plot_texture);
        glBindTexture(GL_TEXTURE_2D, state.plot_texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, plot.image.width, plot.image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     plot.image.rgba.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        state.plot_key = key;
    }
    ImGui::GetWindowDrawList()->AddImage(reinterpret_cast<ImTextureID>(intptr_t(state.plot_texture)), origin,
                                         {origin.x + size.x, origin.y + size.y});
}

void timeline_draw(StudioState& state, ImVec2 origin, ImVec2 size) {
    TimelineView& view = state.timeline;
    view.width = size.x;
    if (state.transport.playing) timeline_follow(view, state.row);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 end{origin.x + size.x, origin.y + size.y};
    draw->AddRectFilled(origin, end, IM_COL32(18, 18, 22, 255));
    const auto span = [&](double from, double to, ImU32 color) {
        const float a = origin.x + float(timeline_x(view, from)), b = origin.x + float(timeline_x(view, to));
        if (b > origin.x && a < end.x) draw->AddRectFilled({std::max(a, origin.x), origin.y}, {std::min(b, end.x), end.y}, color);
    };
    span(TITLE_FIRST_ROW, TITLE_LAST_ROW, TITLE_SPAN);
    if (state.transport.loop)
        span(state.transport.loop_in * ROWS_PER_SECOND, state.transport.loop_out * ROWS_PER_SECOND, LOOP_SPAN);
    for (const TimelineLine& line : timeline_lines(view, 6.0)) {
        const float x = origin.x + float(timeline_x(view, line.row));
        const ImU32 color = line.kind == TimelineLineKind::phrase ? IM_COL32(150, 150, 160, 255)
                            : line.kind == TimelineLineKind::bar ? IM_COL32(85, 85, 95, 255)
                                                                 : IM_COL32(45, 45, 52, 255);
        draw->AddLine({x, origin.y}, {x, end.y}, color);
    }
    const float middle = origin.y + size.y / 2.0f;
    for (float x = 0.0f; x < size.x && !state.waveform.low.empty(); x += 1.0f) {
        const double row = timeline_row_at(view, x);
        if (row < 0.0 || row >= double(state.waveform.low.size())) continue;
        const size_t index = size_t(row);
        draw->AddLine({origin.x + x, middle - state.waveform.high[index] * size.y * 0.45f},
                      {origin.x + x, middle - state.waveform.low[index] * size.y * 0.45f + 1.0f},
                      IM_COL32(80, 160, 210, 255));
    }
    const float head = origin.x + float(timeline_x(view, state.row));
    draw->AddLine({head, origin.y}, {head, end.y}, PLAY_HEAD, 2.0f);

    ImGui::SetCursorScreenPos(origin);
    ImGui::InvisibleButton("timeline", size);
    if (ImGui::IsItemActive()) {
        const double row = std::clamp(timeline_row_at(view, ImGui::GetMousePos().x - origin.x), 0.0, view.end_row);
        studio_seek(state, row / ROWS_PER_SECOND);
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

std::string status_text(const StudioState& state) {
    const RowFrame shown = row_frame({}, state.row);
    const BarBeat where = timeline_bar_beat(state.row);
    float y = 0.0f, rot = 0.0f;
    for (const EditTrack& track : state.model.tracks) {
        if (track.document.name == CAMERA_DIST_TRACK) y = float(track_value(track.track, state.row));
        if (track.document.name == CAMERA_ROT_TRACK) rot = float(track_value(track.track, state.row));
    }
    char text[512];
    std::snprintf(text, sizeof text,
                  "%s  row %.2f  bar %lld beat %lld  y %.4f  rot %.4f  %s  %s%s  %.0f fps  scene %dx%d %.1f ms  %s  %s",
                  timeline_time_text(state.seconds).c_str(), state.row, (long long)where.bar, (long long)where.beat,
                  double(y), double(rot), scene_name(shown.scene), state.transport.playing ? "playing" : "paused",
                  state.transport.loop ? " (loop)" : "", state.window_fps, state.drawn.width, state.drawn.height,
                  state.scene_ms, state.renderer_name.c_str(),
                  state.audio ? "sound" : ("silent: " + state.silent_reason).c_str());
    return text;
}

void help_draw(StudioState& state) {
    if (!state.help) return;
    ImGui::SetNextWindowPos(ImVec2(40, 40), ImGuiCond_Appearing);
    ImGui::Begin("Keys (F1 closes)", &state.help, ImGuiWindowFlags_AlwaysAutoResize);
    if (ImGui::BeginTable("keys", 2)) {
        for (const KeyBinding& binding : STUDIO_KEYS) {
            ImGui::TableNextRow();
            ImGui::TableNextColumn();
            ImGui::TextUnformatted(binding.keys.data(), binding.keys.data() + binding.keys.size());
            ImGui::TableNextColumn();
            ImGui::TextUnformatted(binding.does.data(), binding.does.data() + binding.does.size());
        }
        ImGui::EndTable();
    }
    ImGui::End();
}

// The value being typed, shown where the eye is: over the picture.
void typing_draw(StudioState& state) {
    if (!state.typing) return;
    ImGui::SetNextWindowPos(ImVec2(60, 60));
    ImGui::Begin("value", nullptr, ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoFocusOnAppearing);
    ImGui::Text("The value of %s at row %d:", state.model.tracks[state.cursor_track].document.name.c_str(),
                int32_t(std::floor(state.row + 1e-9)));
    ImGui::Text("%s_", state.typed.c_str());
    ImGui::TextUnformatted("Enter sets it, Escape leaves it.");
    ImGui::End();
}

void quit_draw(StudioState& state) {
    if (!state.quit_asked) return;
    ImGui::OpenPopup("Unsaved edits");
    if (ImGui::BeginPopupModal("Unsaved edits", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
        ImGui::TextUnformatted("Some tracks hold edits that are not saved.");
        if (ImGui::Button("Save and quit")) {
            studio_save(state);
            state.quit = !edit_model_dirty(state.model);
            state.quit_asked = false;
        }
        ImGui::SameLine();
        if (ImGui::Button("Quit without saving")) state.quit = true;
        ImGui::SameLine();
        if (ImGui::Button("Cancel") || ImGui::IsKeyPressed(SDL_SCANCODE_ESCAPE)) state.quit_asked = false;
        if (!state.quit_asked) ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
    }
}

}  // namespace

void studio_ui_draw(StudioState& state) {
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(viewport->WorkPos);
    ImGui::SetNextWindowSize(viewport->WorkSize);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::Begin("studio", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoBringToFrontOnFocus | ImGuiWindowFlags_NoScrollWithMouse);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const ImVec2 size = viewport->WorkSize;
    const float status_height = ImGui::GetTextLineHeightWithSpacing() + ImGui::GetFrameHeightWithSpacing() + 6.0f;
    const float top_height = std::max(size.y - status_height - TIMELINE_HEIGHT - CURVES_HEIGHT, 80.0f);
    const float tracker_width = std::floor(size.x * TRACKER_SHARE);
    picture_draw(state, origin, {size.x - tracker_width, top_height});
    tracker_draw(state, {origin.x + size.x - tracker_width, origin.y}, {tracker_width, top_height});
    curves_draw(state, {origin.x, origin.y + top_height}, {size.x, CURVES_HEIGHT});
    timeline_draw(state, {origin.x, origin.y + top_height + CURVES_HEIGHT}, {size.x, TIMELINE_HEIGHT});
    ImGui::SetCursorScreenPos({origin.x + 6, origin.y + top_height + CURVES_HEIGHT + TIMELINE_HEIGHT + 3});
    ImGui::TextUnformatted(status_text(state).c_str());
    std::string second = state.message;
    if (state.video.running) second = "video: " + state.video.progress + (second.empty() ? "" : "   " + second);
    else if (!state.video.outcome.empty() && second.empty()) second = state.video.outcome;
    // The commands people look for with the mouse.
    ImGui::SetCursorScreenPos({origin.x + 6, ImGui::GetCursorScreenPos().y});
    if (ImGui::SmallButton(state.transport.playing ? "Pause" : "Play")) studio_key(state, {SDL_SCANCODE_SPACE, SDLK_SPACE, 0, 0});
    ImGui::SameLine();
    if (ImGui::SmallButton("Shot (F12)")) studio_shot(state);
    ImGui::SameLine();
    if (ImGui::SmallButton("Video (V)")) studio_video(state);
    ImGui::SameLine();
    if (ImGui::SmallButton("Save (Ctrl+S)")) studio_save(state);
    ImGui::SameLine();
    if (ImGui::SmallButton("Keys (F1)")) state.help = !state.help;
    ImGui::SameLine();
    ImGui::TextUnformatted(second.c_str());
    ImGui::End();
    ImGui::PopStyleVar();
    help_draw(state);
    typing_draw(state);
    quit_draw(state);
}
