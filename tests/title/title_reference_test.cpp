// The CPU model of the title scene against the scene's known facts, so that the
// model the render tests compare with is itself trustworthy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "tests/title/title_reference.h"

namespace {

constexpr float WIDTH = 1920.0f;
constexpr float HEIGHT = 1080.0f;

struct Extremes {
    float least_distance = 10.0f;
    float most_distance = -10.0f;
    float least_grey = 1e30f;
    float most_grey = -1e30f;
};

// Every fourth pixel centre of the screen each way.
Extremes sample_frame(float y) {
    Extremes e;
    for (int row = 0; row < 1080; row += 4) {
        for (int column = 0; column < 1920; column += 4) {
            const TitlePixel p = title_reference_pixel(column + 0.5f, row + 0.5f, y, WIDTH, HEIGHT);
            e.least_distance = std::min(e.least_distance, p.distance);
            e.most_distance = std::max(e.most_distance, p.distance);
            e.least_grey = std::min(e.least_grey, p.grey);
            e.most_grey = std::max(e.most_grey, p.grey);
        }
    }
    return e;
}

TEST(TitleReference, AtClockZeroStrokesAreGrey05325AndTheFarFieldWhite) {
    const TitlePixel corner = title_reference_pixel(0.5f, 0.5f, 0.0f, WIDTH, HEIGHT);
    EXPECT_FLOAT_EQ(corner.line_width, -0.25f);
    EXPECT_EQ(corner.distance, 1.0f);
    EXPECT_FLOAT_EQ(corner.grey, 7.1f);

    // The darkest pixel of the frame lies on (or within a pixel of) a segment.
    float least = 10.0f;
    for (int row = 0; row < 1080; ++row) {
        for (int column = 0; column < 1920; ++column) {
            least = std::min(least, title_reference_pixel(column + 0.5f, row + 0.5f, 0.0f, WIDTH,
                                                          HEIGHT).grey);
        }
    }
    EXPECT_GE(least, 0.5325f - 1e-5f);
    EXPECT_LT(least, 0.5325f + 0.01f);
}

TEST(TitleReference, DistanceStaysBetween0075And1) {
    for (float y : {0.0f, 0.3f, 1.0f, 2.2f, 3.14159f, -1.3f, 4.0f, 7.5f, 12.0f}) {
        const Extremes e = sample_frame(y);
        EXPECT_GE(e.least_distance, 0.075f - 1e-6f) << "y " << y;
        EXPECT_LT(e.least_distance, 0.13f) << "y " << y << ": no stroke on screen";
        EXPECT_EQ(e.most_distance, 1.0f) << "y " << y;
    }
}

TEST(TitleReference, WholeFrameWhiteOnBothSidesOfEveryPole) {
    const float pi = 3.14159265f;
    for (float pole : {pi / 2.0f, -pi / 2.0f}) {
        for (float tan_y : {2.34f, 50.0f, -40.6f, -300.0f}) {
            // tan(y) = t just below the pole for t > 0, just above it for t < 0.
            const float offset = std::atan(1.0f / tan_y);
            const float y = pole - offset;
            EXPECT_GE(sample_frame(y).least_grey, 1.0f) << "tan(y) " << std::tan(y);
        }
    }
    // Just inside either bound the frame is not all white.
    EXPECT_LT(sample_frame(std::atan(2.2f)).least_grey, 1.0f);
    EXPECT_LT(sample_frame(pi / 2.0f - std::atan(1.0f / -39.0f)).least_grey, 1.0f);
}

TEST(TitleReference, NegativeTanRingsTheLettersInBlack) {
    const float pi = 3.14159265f;
    for (float tan_y : {-2.8f, -10.0f, -35.0f}) {
        const float y = pi + std::atan(tan_y);
        EXPECT_LT(sample_frame(y).least_grey, 0.02f) << "tan(y) " << tan_y;
    }
    // Above -2.6625 no contour can form: even the strokes stay grey.
    EXPECT_GT(sample_frame(pi + std::atan(-2.0f)).least_grey, 0.1f);
}

TEST(TitleReference, FarFieldGreyFollowsTan) {
    const float pi = 3.14159265f;
    for (float tan_y : {-33.0f, -34.25f, -38.0f, 0.5f}) {
        const float y = pi + std::atan(tan_y);
        const TitlePixel corner = title_reference_pixel(0.5f, 0.5f, y, WIDTH, HEIGHT);
        EXPECT_EQ(corner.distance, 1.0f);
        EXPECT_NEAR(corner.grey, std::fabs(7.1f + 0.2f * tan_y), 1e-4f) << "tan(y) " << tan_y;
    }
}

// The x wave stretches by at least 1.5, so the word's strokes stay well inside
// the side edges: the outermost columns keep a distance far above a stroke's.
TEST(TitleReference, LettersNeverReachTheSideEdges) {
    for (float y = -3.2f; y < 3.2f; y += 0.1f) {
        for (int row = 0; row < 1080; row += 2) {
            for (float fx : {0.5f, 1919.5f}) {
                const TitlePixel p = title_reference_pixel(fx, row + 0.5f, y, WIDTH, HEIGHT);
                EXPECT_GT(p.distance, 0.6f) << "y " << y << " row " << row << " x " << fx;
            }
        }
    }
}

}  // namespace
