// A small software raster for the tools' pictures (plots, contact sheets):
// an RGBA8 image record, rectangles, anti-aliased lines and shapes, and
// blitting one image into another. Every drawing call clips to the image, so
// no coordinate, however large, non-finite or negative, writes out of bounds.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct Color {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 255;  // 255 covers what lies below, 0 leaves it as it was
};

// RGBA8 pixels, the first row at the top, width * height * 4 bytes. A record
// whose buffer does not have that size is treated as empty by every call.
struct Raster {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;
};

// A position in pixels, x to the right and y down. Pixel (i, j) is the square
// from (i, j) to (i + 1, j + 1), so its centre is (i + 0.5, j + 0.5).
struct Point {
    double x = 0.0;
    double y = 0.0;
};

// A width x height image filled with one colour; empty when a side is not
// positive.
Raster raster_create(int32_t width, int32_t height, Color fill);

// The colour of a pixel; transparent black outside the image.
Color raster_pixel(const Raster& raster, int32_t x, int32_t y);

// Lays the colour over one pixel, its alpha scaled by coverage (0 to 1).
void raster_blend_pixel(Raster& raster, int32_t x, int32_t y, Color color, float coverage);

// The pixels x to x + width - 1 and y to y + height - 1, colour laid over them.
void raster_fill_rect(Raster& raster, int32_t x, int32_t y, int32_t width, int32_t height, Color color);

// An anti-aliased line of the given width through the points, with round ends
// and joins; each pixel is covered once, however many segments pass it, so
// joins and overlaps show no darker spots. Segments with a non-finite end are
// left out.
void raster_draw_polyline(Raster& raster, std::span<const Point> points, Color color, double width);
void raster_draw_line(Raster& raster, Point from, Point to, Color color, double width);

// An anti-aliased filled polygon (even-odd rule), sampled 4 x 4 times in each
// pixel of its bounds: meant for markers and small shapes.
void raster_fill_polygon(Raster& raster, std::span<const Point> corners, Color color);

// An anti-aliased filled disc.
void raster_fill_circle(Raster& raster, Point centre, double radius, Color color);

// Lays source over target with its top-left corner at (x, y); the part outside
// target is cut off. An opaque source is copied exactly.
void raster_blit(Raster& target, const Raster& source, int32_t x, int32_t y);
