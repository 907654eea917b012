// The picture panel: the scene's texture at 16:9, centred on black.
#include <algorithm>
#include <cstdint>
#include <string>

#include "tools/studio/ui/panels.h"

void picture_panel(StudioWindow& window, ImVec2 origin, ImVec2 size) {
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->AddRectFilled(origin, {origin.x + size.x, origin.y + size.y}, IM_COL32(0, 0, 0, 255));
    const float scale = std::min(size.x / 16.0f, size.y / 9.0f);
    const ImVec2 fitted{16.0f * scale, 9.0f * scale};
    const ImVec2 at{origin.x + (size.x - fitted.x) / 2.0f, origin.y + (size.y - fitted.y) / 2.0f};
    const SceneView& view = window.view;
    if (view.texture)
        draw->AddImage(reinterpret_cast<ImTextureID>(intptr_t(view.texture)), at, {at.x + fitted.x, at.y + fitted.y},
                       {0, 1}, {1, 0});
    if (!view.log.empty()) {
        draw->AddRectFilled(origin, {origin.x + size.x, origin.y + size.y}, IM_COL32(0, 0, 0, 170));
        const std::string text = "The shader does not build; the last good programs run.\n\n" + view.log;
        draw->AddText(nullptr, 0.0f, {origin.x + 10, origin.y + 10}, ERROR_TEXT, text.c_str(), nullptr,
                      size.x - 20.0f);
    }
}
