// WAV files: 16-bit stereo PCM at the synthesizer's sample rate.
#pragma once

#include <vector>

#include "tools/synth/dsp.h"

// The whole file: RIFF header, format chunk and data, little-endian. Samples
// are rounded to the nearest step; anything beyond full scale is clipped.
std::vector<unsigned char> wav_encode(const StereoBuffer& audio);
