// Compares rendered RGBA8 pictures with reference pictures and, when they
// differ too much, saves both and their difference as PNG files for a person
// to look at.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// An RGBA8 picture, rows from the top.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;
};

Picture picture_make(int32_t width, int32_t height);

// Copies a width x height block of RGBA8 pixels (rows from the top) into the
// picture, with its lower left corner at window position (x, y).
void picture_paste(Picture& picture, int32_t x, int32_t y, int32_t width, int32_t height,
                   std::span<const uint8_t> rgba);

struct PictureDifference {
    int64_t pixels = 0;   // pixels compared
    int64_t off = 0;      // pixels with a colour channel more than the tolerance off
    int32_t largest = 0;  // the largest colour channel difference
};

// Compares the colour channels; alpha has no effect on the screen.
PictureDifference picture_compare(std::span<const uint8_t> render, std::span<const uint8_t> reference,
                                  int32_t tolerance);

// Writes name-reference.png, name-render.png and name-difference.png (red where
// a pixel is more than the tolerance off, the difference amplified eight times
// elsewhere) into the working directory; returns their full paths.
std::vector<std::string> picture_save(std::string_view name, const Picture& render,
                                      const Picture& reference, int32_t tolerance);
