// The landscape scene on the CPU, step by step, in single precision.
#include "tests/landscape/landscape_reference.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int SAMPLES = 200;

Vec3 rotate(const LandscapeCamera& camera, Vec3 v) {
    const auto& r = camera.r;
    return {r[0][0] * v.x + r[0][1] * v.y + r[0][2] * v.z,
            r[1][0] * v.x + r[1][1] * v.y + r[1][2] * v.z,
            r[2][0] * v.x + r[2][1] * v.y + r[2][2] * v.z};
}

// Height of the ground in cells over the column (cx, cz).
float ground_height(float cx, float cz, float y) {
    const float sum = std::sin(0.5523f * cx) + std::sin(0.23f * cx + 5.0f * y) +
                      std::sin(0.0152f * cx + 3.1f * y) + std::sin(0.7632f * cz) +
                      std::sin(0.25234f * cz) + std::sin(0.45234f * cz);
    return 2.9f * sum - 6.0f;
}

uint8_t to_byte(float c) {
    return static_cast<uint8_t>(std::lround(std::clamp(c, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

LandscapeCamera landscape_camera(float y, float rot) {
    LandscapeCamera camera{};
    camera.yaw = std::sin(y * 0.432f * 1.1f) * 2.1f;
    camera.pitch = std::sin(y * 1.21231f * 1.1f) - 0.9f;
    const float ca = std::cos(camera.yaw), sa = std::sin(camera.yaw);
    const float cb = std::cos(camera.pitch), sb = std::sin(camera.pitch);
    const float yaw[3][3] = {{ca, 0.0f, sa}, {0.0f, 1.0f, 0.0f}, {-sa, 0.0f, ca}};
    const float pitch[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, cb, sb}, {0.0f, -sb, cb}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            camera.r[i][j] = pitch[i][0] * yaw[0][j] + pitch[i][1] * yaw[1][j] + pitch[i][2] * yaw[2][j];
    camera.origin = rotate(camera, {0.5f * std::sin(1.9f * y), 0.3f, -14.5f + rot});
    camera.origin.y += 10.0f;
    return camera;
}

Vec3 landscape_direction(const LandscapeCamera& camera, float fx, float fy, float k_x, float k_y) {
    const float sx = fx / k_x, sy = fy / k_y;
    const Vec3 v = {(sx - 0.5f) * 1.6f, sy - 0.5f, 1.0f};
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return rotate(camera, {v.x / length, v.y / length, v.z / length});
}

LandscapeMarch landscape_march(float y, Vec3 origin, Vec3 direction) {
    const float edge = 0.1f * y;
    if (edge == 0.0f) return {LANDSCAPE_MISS, 0, false};

    const float g = std::cos(1.9f * y);
    const Rgba tube_colour = y < 30.0f ? Rgba{g, g, g, g} : Rgba{1.0f, 1.0f, 1.0f, 1.0f};
    const float tube_length =
        std::sqrt(tube_colour.r * tube_colour.r + tube_colour.g * tube_colour.g +
                  tube_colour.b * tube_colour.b + tube_colour.a * tube_colour.a);
    const bool tube_on = tube_length > 1.2f;

    Vec3 p = origin;
    for (int sample = 1; sample <= SAMPLES; ++sample) {
        p = {p.x + direction.x, p.y + direction.y, p.z + direction.z};
        const float cx = std::floor(p.x / edge), cy = std::floor(p.y / edge),
                    cz = std::floor(p.z / edge);
        const float h = ground_height(cx, cz, y);
        if (cx == 0.0f && cy == 0.0f && cz == 0.0f) return {{1.0f, 1.0f, 1.0f, 1.0f}, sample, true};
        if (cy < h)
            return {{0.4f - 0.1f * cy, 0.4f - 0.05f * cy, 0.4f - 0.03f * cy, 1.0f}, sample, true};
        if (tube_on && std::sqrt(cy * cy + cz * cz) < 10.0f) return {tube_colour, sample, true};
    }
    return {LANDSCAPE_MISS, SAMPLES, false};
}

void landscape_render(float y, float rot, float k_x, float k_y, int32_t x0, int32_t y0,
                      int32_t width, int32_t height, std::span<uint8_t> rgba) {
    const LandscapeCamera camera = landscape_camera(y, rot);
    for (int32_t row = 0; row < height; ++row) {
        const float fy = static_cast<float>(y0 + height - 1 - row) + 0.5f;
        for (int32_t column = 0; column < width; ++column) {
            const float fx = static_cast<float>(x0 + column) + 0.5f;
            const Vec3 d = landscape_direction(camera, fx, fy, k_x, k_y);
            const Rgba c = landscape_march(y, camera.origin, d).colour;
            uint8_t* out = &rgba[(static_cast<size_t>(row) * width + column) * 4];
            out[0] = to_byte(c.r);
            out[1] = to_byte(c.g);
            out[2] = to_byte(c.b);
            out[3] = to_byte(c.a);
        }
    }
}
