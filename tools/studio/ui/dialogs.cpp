// The windows over the panels: the keys, the value being typed, the question
// before quitting.
#include <algorithm>
#include <string>

#include "tools/studio/studio_bindings.h"
#include "tools/studio/ui/panels.h"

namespace {

void help_row(std::string_view keys, std::string_view does) {
    ImGui::TableNextRow();
    ImGui::TableNextColumn();
    ImGui::TextUnformatted(keys.data(), keys.data() + keys.size());
    ImGui::TableNextColumn();
    ImGui::TextUnformatted(does.data(), does.data() + does.size());
}

}  // namespace

// The key table itself, a line for each binding with words and the ones after
// it without.
void help_window(StudioWindow& window) {
    StudioSession& session = window.session;
    if (!session.help) return;
    ImGui::SetNextWindowPos(ImVec2(40, 40), ImGuiCond_Appearing);
    ImGui::Begin("Keys (F1 closes)", &session.help, ImGuiWindowFlags_AlwaysAutoResize);
    if (ImGui::BeginTable("keys", 2)) {
        const std::span<const StudioBinding> bindings = studio_bindings();
        for (size_t i = 0; i < bindings.size();) {
            std::string keys = studio_binding_keys(bindings[i]);
            size_t next = i + 1;
            for (; next < bindings.size() && bindings[next].does.empty(); ++next)
                keys += " / " + studio_binding_keys(bindings[next]);
            help_row(keys, bindings[i].does);
            i = next;
        }
        help_row("click or drag on the timeline", "seek there; wheel zooms, Shift+wheel scrolls");
        help_row("click in the tracker", "the cursor to that track and row");
        ImGui::EndTable();
    }
    ImGui::End();
}

// The value being typed, shown where the eye is: over the picture.
void typing_window(StudioWindow& window) {
    const StudioSession& session = window.session;
    if (!session.typing) return;
    ImGui::SetNextWindowPos(ImVec2(60, 60));
    ImGui::Begin("typing", nullptr, ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoFocusOnAppearing);
    const char* track = session.model.tracks.empty() ? "" : session.model.tracks[session.cursor_track].document.name.c_str();
    const int32_t row = studio_cursor_row(session);
    switch (session.typing_for) {
        case Typing::value: ImGui::Text("The value of %s at row %d:", track, row); break;
        case Typing::bookmark: ImGui::Text("The name of the bookmark at row %d (none removes it):", row); break;
        case Typing::scale: ImGui::TextUnformatted("Scale the values of the block (or key) by:"); break;
        case Typing::offset: ImGui::TextUnformatted("Add to the values of the block (or key):"); break;
        case Typing::stretch: ImGui::TextUnformatted("Stretch the block in time from its first row by:"); break;
    }
    ImGui::Text("%s_", session.typed.c_str());
    ImGui::TextUnformatted("Enter sets it, Escape leaves it.");
    ImGui::End();
}

void quit_window(StudioWindow& window) {
    StudioSession& session = window.session;
    if (!session.quit_asked) return;
    ImGui::OpenPopup("Unsaved edits");
    if (ImGui::BeginPopupModal("Unsaved edits", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
        ImGui::TextUnformatted("Some tracks hold edits that are not saved. Enter saves and quits, Escape goes on.");
        if (ImGui::Button("Save and quit")) studio_quit_save(session, window.effects);
        ImGui::SameLine();
        if (ImGui::Button("Quit without saving")) studio_quit_discard(session);
        ImGui::SameLine();
        if (ImGui::Button("Cancel")) studio_quit_cancel(session);
        if (!session.quit_asked) ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
    }
}

void conflict_window(StudioWindow& window) {
    StudioSession& session = window.session;
    const std::vector<EditTrack>& tracks = session.model.tracks;
    if (std::none_of(tracks.begin(), tracks.end(), [](const EditTrack& track) { return track.conflict; })) return;
    ImGui::SetNextWindowPos(ImVec2(80, 80), ImGuiCond_Appearing);
    ImGui::Begin("Changed on disk", nullptr, ImGuiWindowFlags_AlwaysAutoResize);
    for (size_t t = 0; t < tracks.size(); ++t) {
        if (!tracks[t].conflict) continue;
        ImGui::PushID(int(t));
        ImGui::Text("%s changed on disk while the studio holds edits of it.", tracks[t].document.name.c_str());
        if (ImGui::Button("Keep mine")) studio_conflict_settle(session, t, true);
        ImGui::SameLine();
        if (ImGui::Button("Take theirs")) studio_conflict_settle(session, t, false);
        ImGui::PopID();
    }
    ImGui::End();
}

void recovery_window(StudioWindow& window) {
    StudioSession& session = window.session;
    if (session.recovered.empty()) return;
    // Settling one takes it out of the list: go through a copy.
    const std::vector<size_t> recovered = session.recovered;
    ImGui::SetNextWindowPos(ImVec2(100, 100), ImGuiCond_Appearing);
    ImGui::Begin("Recovered edits", nullptr, ImGuiWindowFlags_AlwaysAutoResize);
    ImGui::TextUnformatted("The studio was ended with these tracks unsaved; their edits were kept aside.");
    for (const size_t t : recovered) {
        ImGui::PushID(int(t));
        ImGui::Text("%s", session.model.tracks[t].document.name.c_str());
        ImGui::SameLine();
        if (ImGui::Button("Take them back")) studio_recovery_settle(session, t, true);
        ImGui::SameLine();
        if (ImGui::Button("Drop them")) studio_recovery_settle(session, t, false);
        ImGui::PopID();
    }
    ImGui::End();
}
