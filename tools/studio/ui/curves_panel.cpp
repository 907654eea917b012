// The curves panel: the tracks of the block (or the cursor's) over the rows
// the timeline below shows, each row above itself there, drawn by the same
// code and rules as zirbelon-tracks plot into a texture redrawn only when what
// it shows changed, with the play head across it.
#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tools/pictures/track_plot.h"
#include "tools/studio/ui/panels.h"

void curves_panel(StudioWindow& window, ImVec2 origin, ImVec2 size) {
    const StudioSession& session = window.session;
    const int32_t width = std::max(int32_t(size.x), PLOT_WIDTH_MIN);
    const int32_t height = std::max(int32_t(size.y), PLOT_HEIGHT_MIN);
    const std::optional<EditSelection> block = studio_selection(session);
    const size_t first = block ? block->first_track : session.cursor_track;
    const size_t last = block ? block->last_track : session.cursor_track;
    if (session.model.tracks.empty()) return;
    char key[160];
    std::snprintf(key, sizeof key, "%zu %zu %llu %.3f %.3f %d %d", first, last, (unsigned long long)session.edits,
                  window.timeline.first_row, window.timeline.last_row, width, height);
    if (key != window.plot_key) {
        std::vector<PlotCurve> curves;
        for (size_t t = first; t <= last && t < session.model.tracks.size(); ++t)
            curves.push_back({session.model.tracks[t].document.name, &session.model.tracks[t].track});
        PlotRequest request;
        request.width = width;
        request.height = height;
        request.from = window.timeline.first_row;
        request.to = std::max(window.timeline.last_row, window.timeline.first_row + PLOT_SPAN_MIN);
        // The curves' area spans the rows the timeline shows at the same
        // columns of the window, so that a row stands above itself.
        const PlotLayout layout = plot_layout(curves, request);
        const double shown_per_pixel = double(size.x) / double(layout.width);
        const double from = timeline_row_at(window.timeline, layout.curves.left * shown_per_pixel);
        const double to = timeline_row_at(window.timeline, layout.curves.right * shown_per_pixel);
        request.from = from;
        request.to = std::max(to, from + PLOT_SPAN_MIN);
        const Plot plot = track_plot(curves, request);
        if (!window.plot_texture) glGenTextures(1, &window.plot_texture);
        glBindTexture(GL_TEXTURE_2D, window.plot_texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, plot.image.width, plot.image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     plot.image.rgba.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        window.plot_key = key;
    }
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->AddImage(reinterpret_cast<ImTextureID>(intptr_t(window.plot_texture)), origin,
                   {origin.x + size.x, origin.y + size.y});
    const float head = origin.x + float(timeline_x(window.timeline, session.row));
    if (head >= origin.x && head <= origin.x + size.x)
        draw->AddLine({head, origin.y}, {head, origin.y + size.y}, PLAY_HEAD, 1.0f);
}
