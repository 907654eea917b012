// The studio's program: opens the window, runs the frame loop until the maker
// quits, and gives the exit status.
#pragma once

#include "tools/studio/studio_options.h"

int studio_run(StudioOptions options);
