// The last stage of the mix: the offset taken out, the loudness raised under a
// look-ahead limiter, the end faded, the peak set.
#pragma once

#include "tools/synth/dsp.h"

// Raises the mix by `drive_db` while a limiter keeps every peak at or below
// its former full level (0 dB drive leaves it alone), then scales the result
// so its loudest sample is at `peak_db` dBFS. A silent buffer stays silent.
void master_process(StereoBuffer& mix, double drive_db, double peak_db);
