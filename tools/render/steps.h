// Where a fragment text spends its loops: a variant of the text that counts
// the trips of every loop it runs for a pixel and writes the count as the
// pixel's colour, the counts read back from a frame of it, what they cost on a
// GL that shades pixels in groups of SIMD lanes, and a picture of them.
//
// Mesa's llvmpipe on 256-bit vectors shades 8 pixels together, 4 wide and 2
// high, aligned to columns 4i and rows 2j of the window: a loop runs until
// every lane of the group has left it, so a group costs as much as its longest
// pixel.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/pictures/raster.h"

inline constexpr int32_t STEPS_GROUP_WIDTH = 4;
inline constexpr int32_t STEPS_GROUP_HEIGHT = 2;

// Largest count the variant's colour carries (red the low byte, green the high).
inline constexpr uint32_t STEPS_COUNT_MAX = 65535;

// The text with its main() renamed, a trip counter added to the top of every
// for, while and do loop's body, and a new main() that runs the old one and
// writes the count. False with the reason in error when the text has no
// main() or a loop whose body has no braces.
bool steps_variant(std::string_view text, std::string& variant, std::string& error);

// The count of each pixel of a frame of the variant, in the raster's order
// (the first row at the top).
std::vector<uint32_t> steps_counts(const Raster& frame);

// Each pixel's group's largest count: what the pixel costs in its lanes.
// width x height counts in the raster's order.
std::vector<uint32_t> steps_group_counts(std::span<const uint32_t> counts, int32_t width, int32_t height);

struct StepsSummary {
    double mean = 0.0;        // trips per pixel
    uint32_t largest = 0;     // the longest pixel's
    double group_mean = 0.0;  // trips per pixel when each pays its group's longest
};

StepsSummary steps_summarize(std::span<const uint32_t> counts, int32_t width, int32_t height);

// The counts as colours on a ramp from dark blue (none) through green to
// yellow (scale and more).
Raster steps_picture(std::span<const uint32_t> counts, int32_t width, int32_t height, uint32_t scale);
