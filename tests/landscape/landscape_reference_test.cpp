// The CPU model against the camera values and the cases the scene's rules fix
// exactly: it is the yardstick of the render tests, so it is checked first.
#include "tests/landscape/landscape_reference.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The published camera values have four decimals.
constexpr float DECIMALS = 0.6e-4f;

void expect_near(Vec3 actual, Vec3 expected, float tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

Vec3 centre_direction(const LandscapeCamera& camera) {
    return landscape_direction(camera, 960.0f, 540.0f, 1920.0f, 1080.0f);
}

// A march whose first sample lies at the centre of cell (cx, cy, cz), coming
// from one unit below it along +y.
LandscapeMarch march_into_cell(float y, float cx, float cy, float cz) {
    const float edge = 0.1f * y;
    const Vec3 target = {(cx + 0.5f) * edge, (cy + 0.5f) * edge, (cz + 0.5f) * edge};
    return landscape_march(y, {target.x, target.y - 1.0f, target.z}, {0.0f, 1.0f, 0.0f});
}

void expect_colour(Rgba actual, Rgba expected) {
    EXPECT_NEAR(actual.r, expected.r, 1e-5f);
    EXPECT_NEAR(actual.g, expected.g, 1e-5f);
    EXPECT_NEAR(actual.b, expected.b, 1e-5f);
}

TEST(LandscapeCamera, AnglesOriginAndCentreRayAtY1) {
    const LandscapeCamera camera = landscape_camera(1.0f, 0.0f);
    EXPECT_NEAR(camera.yaw, 0.9608f, DECIMALS);
    EXPECT_NEAR(camera.pitch, 0.0720f, DECIMALS);
    expect_near(camera.origin, {-11.6137f, 9.6739f, -8.6936f}, DECIMALS);
    expect_near(centre_direction(camera), {0.8196f, 0.0412f, 0.5714f}, DECIMALS);
}

TEST(LandscapeCamera, AnglesOriginAndCentreRayAtY0) {
    const LandscapeCamera camera = landscape_camera(0.0f, 0.0f);
    EXPECT_EQ(camera.yaw, 0.0f);
    EXPECT_NEAR(camera.pitch, -0.9f, 1e-7f);
    expect_near(camera.origin, {0.0f, 21.5447f, -8.7783f}, DECIMALS);
    const Vec3 d = centre_direction(camera);
    expect_near(d, {0.0f, -0.7833f, 0.6216f}, DECIMALS);
    // 14.5 - rot along the centre ray lies the point the camera looks at.
    const Vec3 o = camera.origin;
    expect_near({o.x + 14.5f * d.x, o.y + 14.5f * d.y, o.z + 14.5f * d.z}, {0.0f, 10.1865f, 0.2350f},
                DECIMALS);
}

TEST(LandscapeCamera, RotMovesTheOriginAlongTheCentreRay) {
    const LandscapeCamera still = landscape_camera(1.0f, 0.0f);
    const LandscapeCamera moved = landscape_camera(1.0f, 14.5f);
    const Vec3 d = centre_direction(still);
    expect_near(moved.origin,
                {still.origin.x + 14.5f * d.x, still.origin.y + 14.5f * d.y, still.origin.z + 14.5f * d.z},
                1e-4f);
}

TEST(LandscapeMarch, NoCellsWhileYIsZero) {
    const LandscapeMarch march = landscape_march(0.0f, {0.0f, 0.0f, 0.0f}, {0.0f, -1.0f, 0.0f});
    expect_colour(march.colour, LANDSCAPE_MISS);
    EXPECT_EQ(march.samples, 0);
}

TEST(LandscapeMarch, OriginCellIsWhiteBeforeGroundAndTube) {
    // y = 25: cos(47.5) is about -0.93, so the tube is on and dark.
    const LandscapeMarch march = march_into_cell(25.0f, 0.0f, 0.0f, 0.0f);
    expect_colour(march.colour, {1.0f, 1.0f, 1.0f, 1.0f});
    EXPECT_EQ(march.samples, 1);
}

TEST(LandscapeMarch, GroundWinsOverTube) {
    // Column (0, 0) at y = 25 stands about 5.3 cells below row 0, and row -9
    // is within the tube's radius.
    const LandscapeMarch march = march_into_cell(25.0f, 0.0f, -9.0f, 0.0f);
    expect_colour(march.colour, {0.4f + 0.9f, 0.4f + 0.45f, 0.4f + 0.27f, 1.0f});
    EXPECT_EQ(march.samples, 1);
}

TEST(LandscapeMarch, TubeIsOffGreyDarkOrWhiteWithTheClock) {
    // Cell (3, 5, 0) is inside the tube and above the ground, whose height
    // there is at most 2.9 x 3 - 6.
    const LandscapeMarch off = march_into_cell(1.0f, 3.0f, 5.0f, 0.0f);  // cos(1.9) = -0.32
    EXPECT_GT(off.samples, 1);

    const LandscapeMarch grey = march_into_cell(3.0f, 3.0f, 5.0f, 0.0f);  // cos(5.7) = 0.83
    const float g = std::cos(1.9f * 3.0f);
    expect_colour(grey.colour, {g, g, g, g});
    EXPECT_EQ(grey.samples, 1);

    const LandscapeMarch dark = march_into_cell(1.6f, 3.0f, 5.0f, 0.0f);  // cos(3.04) = -0.99
    EXPECT_LT(dark.colour.r, 0.0f);
    EXPECT_LT(dark.colour.a, 0.0f);
    EXPECT_EQ(dark.samples, 1);

    const LandscapeMarch white = march_into_cell(30.0f, 3.0f, 5.0f, 0.0f);
    expect_colour(white.colour, {1.0f, 1.0f, 1.0f, 1.0f});
    EXPECT_EQ(white.samples, 1);
}

TEST(LandscapeMarch, NegativeYMirrorsTheGridThroughTheOrigin) {
    // World height 5 is row 50 above the ground for y = 1, and row -50, deep
    // in the ground, for y = -1.
    const LandscapeMarch up = landscape_march(1.0f, {0.05f, 4.0f, 0.05f}, {0.0f, 1.0f, 0.0f});
    EXPECT_EQ(up.samples, 200);
    expect_colour(up.colour, LANDSCAPE_MISS);
    const LandscapeMarch down = landscape_march(-1.0f, {0.05f, 4.0f, 0.05f}, {0.0f, 1.0f, 0.0f});
    EXPECT_EQ(down.samples, 1);
    EXPECT_GT(down.colour.r, 1.0f);
}

}  // namespace
