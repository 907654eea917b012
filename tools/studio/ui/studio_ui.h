// The studio's window drawn with ImGui: the picture at 16:9, the tracker, the
// curves, the timeline and the status line, with the help, the value being
// typed and the question before quitting on top. The panels only read the
// session; what a click or a button means goes through its commands.
#pragma once

#include "tools/studio/studio_window.h"

void studio_ui_draw(StudioWindow& window);
