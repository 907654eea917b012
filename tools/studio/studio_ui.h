// The studio's window drawn with ImGui from its state: the picture at 16:9,
// the tracker, the curves, the timeline and the status line, with the help,
// the value being typed and the question before quitting on top.
#pragma once

#include "tools/studio/studio_state.h"

void studio_ui_draw(StudioState& state);
