// The status panel: where the picture is (time, row, bar and beat, the
// camera's values, the scene), how it plays and is drawn and who leads the
// clock while players are linked, then the buttons for the commands people
// look for with the mouse, and the last message.
#include <cstdio>
#include <string>

#include "presentation/frame.h"
#include "tools/studio/ui/panels.h"

namespace {

// Where the picture is, on the first line; how it is drawn and heard, on the
// second, so that neither is cut in a window of the panels' least width.
std::string status_where(const StudioWindow& window) {
    const StudioSession& session = window.session;
    const RowFrame shown = row_frame(edit_model_camera(session.model), session.row);
    const BarBeat where = timeline_bar_beat(session.row);
    char text[256];
    std::snprintf(text, sizeof text, "%s  row %.2f  bar %lld beat %lld  y %.4f  rot %.4f  %s  %s%s",
                  timeline_time_text(session.seconds).c_str(), session.row, (long long)where.bar,
                  (long long)where.beat, double(shown.values.y), double(shown.values.rot), scene_name(shown.scene),
                  session.transport.playing ? "playing" : "paused", session.transport.loop ? " (loop)" : "");
    return text;
}

// Who the clock follows, while the studio listens for players.
std::string status_lead(const StudioWindow& window) {
    if (!window.link) return {};
    const StudioLink& link = *window.link;
    const size_t players = studio_link_connected(link);
    const std::string linked = "  " + std::to_string(players) + (players == 1 ? " player" : " players");
    if (const StudioPlayer* leader = studio_link_leader(link, window.session))
        return linked + ", player " + std::to_string(leader->number) + " leads (P takes the lead)";
    return linked + (window.session.studio_leads ? ", the studio leads (P gives the lead to players)" : "");
}

std::string status_how(const StudioWindow& window) {
    char text[512];
    std::snprintf(text, sizeof text, "%.0f fps  scene %dx%d %.1f ms  %s  %s%s", window.window_fps,
                  window.drawn.width, window.drawn.height, window.scene_ms, window.renderer_name.c_str(),
                  window.audio ? (window.sound_muted ? "sound muted" : "sound")
                               : ("silent: " + window.silent_reason).c_str(),
                  status_lead(window).c_str());
    return text;
}

}  // namespace

void status_panel(StudioWindow& window, ImVec2 origin) {
    StudioSession& session = window.session;
    ImGui::SetCursorScreenPos(origin);
    ImGui::TextUnformatted(status_where(window).c_str());
    ImGui::SetCursorScreenPos({origin.x, ImGui::GetCursorScreenPos().y});
    ImGui::TextUnformatted(status_how(window).c_str());
    std::string message = session.message;
    if (window.video.running) message = "video: " + window.video.progress + (message.empty() ? "" : "   " + message);
    ImGui::SetCursorScreenPos({origin.x, ImGui::GetCursorScreenPos().y});
    const auto button = [&](const char* label, StudioCommand command) {
        if (ImGui::SmallButton(label)) studio_command_run(session, window.effects, command);
        ImGui::SameLine();
    };
    button(session.transport.playing ? "Pause" : "Play", StudioCommand::play_pause);
    button("Shot (F12)", StudioCommand::shot);
    button("Video (V)", StudioCommand::video);
    button("Save (Ctrl+S)", StudioCommand::save);
    button("Keys (F1)", StudioCommand::help_toggle);
    ImGui::TextUnformatted(message.c_str());
}
