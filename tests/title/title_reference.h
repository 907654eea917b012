// A model of the title scene on the CPU, in single precision, written from the
// scene's description rather than from the shader, to compare rendered frames
// with. It shares only the font and slot tables with the shader.
#pragma once

#include <cstdint>
#include <vector>

// What the scene computes for one pixel.
struct TitlePixel {
    float line_width;  // stroke width, between -0.35 and -0.25
    float uv_x;        // centred coordinates after the waves
    float uv_y;
    float distance;    // scene distance d, between 0.075 and 1.0
    float grey;        // unclamped
};

// The pixel whose centre is at window position (fx, fy) (from the lower left,
// in pixels) for clock y on a screen of kx by ky pixels.
TitlePixel title_reference_pixel(float fx, float fy, float y, float kx, float ky);

// The grey of every pixel of a width x height frame, unclamped, rows from the
// top of the screen to its bottom.
std::vector<float> title_reference_frame(float y, int32_t width, int32_t height);
