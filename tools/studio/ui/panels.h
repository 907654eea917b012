// The studio's panels, one file each, and their colours. Each draws
// into a rectangle of the studio's one ImGui window.
#pragma once

#include <imgui.h>

#include "tools/studio/studio_window.h"

// The studio's palette.
inline constexpr ImU32 KEY_COLOR = IM_COL32(235, 235, 235, 255);
inline constexpr ImU32 FAINT_COLOR = IM_COL32(120, 120, 130, 255);
inline constexpr ImU32 ERROR_TEXT = IM_COL32(255, 110, 100, 255);
inline constexpr ImU32 CURSOR_ROW = IM_COL32(70, 90, 140, 255);
inline constexpr ImU32 CURSOR_CELL = IM_COL32(110, 140, 210, 255);
inline constexpr ImU32 SELECTION = IM_COL32(150, 110, 40, 110);
inline constexpr ImU32 BAR_ROW = IM_COL32(40, 40, 48, 255);
inline constexpr ImU32 TITLE_SPAN = IM_COL32(120, 90, 30, 90);
inline constexpr ImU32 LOOP_SPAN = IM_COL32(60, 140, 80, 90);
inline constexpr ImU32 PLAY_HEAD = IM_COL32(255, 80, 60, 255);
inline constexpr ImU32 BOOKMARK = IM_COL32(240, 200, 90, 255);

// The picture, letterboxed at 16:9, with the GL's log over it while a shader
// does not build.
void picture_panel(StudioWindow& window, ImVec2 origin, ImVec2 size);
// The tracks' rows around the cursor: keys, values between them, the block.
void tracker_panel(StudioWindow& window, ImVec2 origin, ImVec2 size);
// The curves of the block's tracks (or the cursor's) over the timeline's rows.
void curves_panel(StudioWindow& window, ImVec2 origin, ImVec2 size);
// The tune's rows: bars, the title's span, the loop, the waveform, the play head.
void timeline_panel(StudioWindow& window, ImVec2 origin, ImVec2 size);
// Where the picture is and how it is drawn, the buttons and the last message.
void status_panel(StudioWindow& window, ImVec2 origin);

// The windows on top: the keys (F1), the value being typed, the question
// before quitting.
void help_window(StudioWindow& window);
void typing_window(StudioWindow& window);
void quit_window(StudioWindow& window);
// Tracks changed on disk while they hold edits, each with its two ways out.
void conflict_window(StudioWindow& window);
// Edits recovered from a studio that a signal ended, to take back or drop.
void recovery_window(StudioWindow& window);
// The live link's players, while the studio listens for them.
void players_window(StudioWindow& window);
