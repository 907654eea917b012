// The studio's layout: the panels side by side and one above the other.
#include "tools/studio/ui/studio_ui.h"

#include <algorithm>
#include <cmath>

#include "tools/studio/ui/panels.h"

namespace {

constexpr float TRACKER_SHARE = 0.36f;
constexpr float CURVES_HEIGHT = 150.0f;
constexpr float TIMELINE_HEIGHT = 78.0f;
// Below this the panels have no room: the window shows the picture alone.
constexpr float PANELS_MIN_WIDTH = 480.0f;
constexpr float PANELS_MIN_HEIGHT = 400.0f;

}  // namespace

void studio_ui_draw(StudioWindow& window) {
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(viewport->WorkPos);
    ImGui::SetNextWindowSize(viewport->WorkSize);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::Begin("studio", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoBringToFrontOnFocus | ImGuiWindowFlags_NoScrollWithMouse);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const ImVec2 size = viewport->WorkSize;
    if (size.x < PANELS_MIN_WIDTH || size.y < PANELS_MIN_HEIGHT) {
        picture_panel(window, origin, size);
        ImGui::End();
        ImGui::PopStyleVar();
        players_window(window);
        conflict_window(window);
        recovery_window(window);
        quit_window(window);
        return;
    }
    const float status_height =
        2.0f * ImGui::GetTextLineHeightWithSpacing() + ImGui::GetFrameHeightWithSpacing() + 6.0f;
    const float top_height = std::max(size.y - status_height - TIMELINE_HEIGHT - CURVES_HEIGHT, 80.0f);
    const float tracker_width = std::floor(size.x * TRACKER_SHARE);
    picture_panel(window, origin, {size.x - tracker_width, top_height});
    tracker_panel(window, {origin.x + size.x - tracker_width, origin.y}, {tracker_width, top_height});
    curves_panel(window, {origin.x, origin.y + top_height}, {size.x, CURVES_HEIGHT});
    timeline_panel(window, {origin.x, origin.y + top_height + CURVES_HEIGHT}, {size.x, TIMELINE_HEIGHT});
    status_panel(window, {origin.x + 6, origin.y + top_height + CURVES_HEIGHT + TIMELINE_HEIGHT + 3});
    ImGui::End();
    ImGui::PopStyleVar();
    players_window(window);
    help_window(window);
    typing_window(window);
    conflict_window(window);
    recovery_window(window);
    quit_window(window);
}
