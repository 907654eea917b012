// Frames made of several renders: supersampled (rendered `factor` times as
// wide and as high, then each factor x factor block of pixels averaged into
// one) and blended over a shutter (the renders of several moments averaged).
// Every sample counts the same, and the result is the exact mean of its
// samples rounded to the nearest value, so one render at factor 1 comes out
// byte for byte as it went in.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/pictures/raster.h"

struct FrameMix {
    int32_t width = 0;  // of the result
    int32_t height = 0;
    int32_t factor = 1;
    int32_t renders = 0;         // added so far
    std::vector<uint32_t> sums;  // RGB per pixel of the result
};

FrameMix frame_mix_start(int32_t width, int32_t height, int32_t factor);

// Adds a render of width * factor x height * factor pixels; a render of
// another size is left out and false returned.
bool frame_mix_add(FrameMix& mix, const Raster& render);

// The mean of the renders added, opaque; empty when none was.
Raster frame_mix_result(const FrameMix& mix);
