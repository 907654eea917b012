// The players window, while the studio listens: each linked player as it
// described itself, how fast it draws, where it is, whether it leads, and a
// shader that does not build there with its log and the failing lines; the
// players gone, with why, for a while.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "tools/gl/scene_pipeline.h"
#include "tools/studio/ui/panels.h"

namespace {

// A log is shown up to this much: a hostile or broken player's megabyte of
// log would hold up every frame.
constexpr size_t LOG_SHOWN_MAX = 4096;

void shader_failure(const PlayerShader& shader, const char* scene) {
    if (!shader.reported || shader.built) return;
    std::string shown = shader_log_with_source(shader.log, shader.source);
    if (shown.size() > LOG_SHOWN_MAX) shown = shown.substr(0, LOG_SHOWN_MAX) + "\n...";
    ImGui::PushStyleColor(ImGuiCol_Text, ERROR_TEXT);
    ImGui::Text("The %s shader does not build there; it draws with its last good one:", scene);
    ImGui::TextUnformatted(shown.c_str(), shown.c_str() + shown.size());
    ImGui::PopStyleColor();
}

void player_lines(const StudioPlayer& player, bool leads) {
    const std::string name = studio_player_name(player);
    if (!player.gone.empty()) {
        ImGui::PushStyleColor(ImGuiCol_Text, FAINT_COLOR);
        ImGui::TextWrapped("%s gone: %s", name.c_str(), player.gone.c_str());
        ImGui::PopStyleColor();
        return;
    }
    if (!player.welcomed) {
        ImGui::Text("%s: connected, waiting for its hello", name.c_str());
        return;
    }
    const LinkHello& hello = player.hello;
    ImGui::Text("%s%s", name.c_str(), leads ? "  leads the clock" : "");
    ImGui::Indent();
    ImGui::Text("%s, %s, GL %s, %" PRId32 "x%" PRId32, hello.os.c_str(), hello.gl_renderer.c_str(),
                hello.gl_version.c_str(), hello.screen_width, hello.screen_height);
    std::string how = "no frame time yet";
    if (player.timed) {
        // Any finite float may come: printed, never converted to an integer.
        char time[96];
        if (player.gpu_ms < 0.0f)
            std::snprintf(time, sizeof time, "%.0f fps  GPU time unknown", double(player.fps));
        else
            std::snprintf(time, sizeof time, "%.0f fps  GPU %.2f ms a frame", double(player.fps),
                          double(player.gpu_ms));
        how = time;
    }
    if (player.played) {
        char row[48];
        std::snprintf(row, sizeof row, "  row %.2f", player.row);
        how += row;
    }
    ImGui::TextUnformatted(how.c_str());
    shader_failure(player.shaders[0], "landscape");
    shader_failure(player.shaders[1], "title");
    ImGui::Unindent();
}

}  // namespace

void players_window(StudioWindow& window) {
    if (!window.link) return;
    const StudioLink& link = *window.link;
    ImGui::SetNextWindowPos(ImVec2(20, 20), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSizeConstraints(ImVec2(240, 0), ImVec2(720, 560));
    ImGui::Begin("Players", nullptr, ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoFocusOnAppearing);
    if (studio_link_connected(link) == 0)
        ImGui::Text("No player connected: listening on %s", link.address.c_str());
    const StudioPlayer* leader = studio_link_leader(link, window.session);
    for (const StudioPlayer& player : link.players) {
        ImGui::PushID(int(player.number));
        player_lines(player, &player == leader);
        ImGui::PopID();
    }
    ImGui::End();
}
