// Compares a rendered RGBA8 frame with reference greys and, when they differ,
// saves both and their difference as PNG pictures for a person to look at.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct FrameDifference {
    int64_t pixels_off = 0;  // pixels with a channel more than the tolerance off
    int32_t largest = 0;     // the largest channel difference, in 1/255 steps
};

// The reference grey as the colour buffer stores it: clamped to [0, 1], 8 bits.
uint8_t grey_byte(float grey);

// rgba holds width x height RGBA8 pixels, reference the same number of greys,
// both rows from the top.
FrameDifference frame_compare(std::span<const uint8_t> rgba, std::span<const float> reference,
                              int32_t tolerance);

// Writes name-reference.png, name-render.png and name-difference.png (red where
// a pixel is more than the tolerance off, the amplified difference elsewhere)
// into directory, creating it; returns the paths written.
std::vector<std::string> frame_save_pictures(std::string_view directory, std::string_view name,
                                             int32_t width, int32_t height,
                                             std::span<const uint8_t> rgba,
                                             std::span<const float> reference, int32_t tolerance);
