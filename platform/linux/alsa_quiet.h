// alsa-lib prints its failures (no card, no default PCM) to stderr unless given
// another handler. Whatever opens sound through SDL on Linux reports a missing
// device through its own results instead, and calls this first.
#pragma once

void alsa_errors_silence();
