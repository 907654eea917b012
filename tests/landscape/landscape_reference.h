// A CPU model of the landscape scene in single precision, written from the
// scene's description and not from its shader: the yardstick for the render
// tests. It follows every step literally (200 samples, every test on every
// sample), so it is slow; tests run it on tiles.
#pragma once

#include <array>
#include <cstdint>
#include <span>

struct Vec3 {
    float x, y, z;
};

struct Rgba {
    float r, g, b, a;
};

// The colour of a ray that passes every sample, and of every pixel while the
// cells have no size: black, empty space.
inline constexpr Rgba LANDSCAPE_MISS = {0.0f, 0.0f, 0.0f, 1.0f};

struct LandscapeCamera {
    float yaw;                               // a
    float pitch;                             // b
    std::array<std::array<float, 3>, 3> r;   // pitch x yaw, by rows
    Vec3 origin;                             // rotated, then lifted by 10
};

LandscapeCamera landscape_camera(float y, float rot);

// The unit ray direction of the pixel whose centre is at window position
// (fx, fy), for a screen of k_x by k_y pixels.
Vec3 landscape_direction(const LandscapeCamera& camera, float fx, float fy, float k_x, float k_y);

struct LandscapeMarch {
    Rgba colour;  // before clamping
    int samples;  // samples taken: up to and including the hit, all 200 when none hits
    bool hit;
};

LandscapeMarch landscape_march(float y, Vec3 origin, Vec3 direction);

// A rectangle of the scene as RGBA8, rows from the top of the rectangle down,
// like glReadPixels output turned upright; x0, y0 is its lower left corner in
// window coordinates.
void landscape_render(float y, float rot, float k_x, float k_y, int32_t x0, int32_t y0,
                      int32_t width, int32_t height, std::span<uint8_t> rgba);
