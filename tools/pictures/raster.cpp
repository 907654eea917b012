// Rectangles, anti-aliased lines and shapes, and blits on RGBA8 images, all
// clipped to the image.
#include "tools/pictures/raster.h"

#include <algorithm>
#include <cmath>

namespace {

bool raster_valid(const Raster& raster) {
    return raster.width > 0 && raster.height > 0 &&
           raster.rgba.size() == size_t(raster.width) * size_t(raster.height) * 4;
}

// Whole pixels [begin, end) along one axis.
struct PixelSpan {
    int32_t begin = 0;
    int32_t end = 0;
};

// The pixels whose squares meet [low, high], cut to clip. Doubles are bounded
// before they become integers, so huge and non-finite bounds are harmless.
PixelSpan pixel_span(double low, double high, PixelSpan clip) {
    if (!(low <= high)) return {};
    const double begin = std::clamp(std::floor(low), double(clip.begin), double(clip.end));
    const double end = std::clamp(std::ceil(high), double(clip.begin), double(clip.end));
    return {int32_t(begin), int32_t(end)};
}

// Colour over pixel with straight (not premultiplied) alpha, so that shapes
// drawn on a transparent layer and blitted look as if drawn in place.
void pixel_blend(uint8_t* pixel, Color color, float coverage) {
    if (!(coverage > 0.0f)) return;
    const int alpha = int(std::lround(color.a * std::min(coverage, 1.0f)));
    if (alpha == 0) return;
    const int kept = (pixel[3] * (255 - alpha) + 127) / 255;  // the weight left to what lies below
    const int total = alpha + kept;
    pixel[0] = uint8_t((color.r * alpha + pixel[0] * kept + total / 2) / total);
    pixel[1] = uint8_t((color.g * alpha + pixel[1] * kept + total / 2) / total);
    pixel[2] = uint8_t((color.b * alpha + pixel[2] * kept + total / 2) / total);
    pixel[3] = uint8_t(total);
}

uint8_t* pixel_at(Raster& raster, int32_t x, int32_t y) {
    return &raster.rgba[(size_t(y) * size_t(raster.width) + size_t(x)) * 4];
}

bool point_finite(Point point) { return std::isfinite(point.x) && std::isfinite(point.y); }

double segment_distance(Point p, Point a, Point b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    const double t = length2 > 0.0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0.0;
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Cuts the segment to the rectangle (Cohen-Sutherland): each end beyond an
// edge moves onto that edge, which it then meets exactly, so an axis-aligned
// segment with far-away ends keeps its place. False when none of it lies
// inside, or its ends are too far apart to subtract.
bool segment_clip(Point& a, Point& b, double left, double top, double right, double bottom) {
    enum : int { LEFT = 1, RIGHT = 2, TOP = 4, BOTTOM = 8 };
    const auto outside = [&](Point p) {
        return (p.x < left ? LEFT : p.x > right ? RIGHT : 0) | (p.y < top ? TOP : p.y > bottom ? BOTTOM : 0);
    };
    // Each pass puts one end on an edge; four passes per end at most.
    for (int pass = 0; pass < 8; ++pass) {
        const int code_a = outside(a);
        const int code_b = outside(b);
        if ((code_a | code_b) == 0) return true;
        if (code_a & code_b) return false;
        const double dx = b.x - a.x;
        const double dy = b.y - a.y;
        if (!std::isfinite(dx) || !std::isfinite(dy)) return false;
        const int code = code_a ? code_a : code_b;
        Point cut;
        if (code & (LEFT | RIGHT)) {
            cut.x = code & LEFT ? left : right;
            cut.y = a.y + dy * ((cut.x - a.x) / dx);
        } else {
            cut.y = code & TOP ? top : bottom;
            cut.x = a.x + dx * ((cut.y - a.y) / dy);
        }
        if (!point_finite(cut)) return false;
        (code_a ? a : b) = cut;
    }
    return false;
}

// Coverage of the pixels in a rectangle of the image, the largest of all the
// shapes drawn into it, laid over the image once at the end.
struct CoverageMask {
    PixelSpan columns;
    PixelSpan rows;
    std::vector<float> values;
};

CoverageMask mask_create(PixelSpan columns, PixelSpan rows) {
    CoverageMask mask{columns, rows, {}};
    if (columns.end > columns.begin && rows.end > rows.begin)
        mask.values.assign(size_t(columns.end - columns.begin) * size_t(rows.end - rows.begin), 0.0f);
    return mask;
}

void mask_cover(CoverageMask& mask, int32_t x, int32_t y, float coverage) {
    float& value = mask.values[size_t(y - mask.rows.begin) * size_t(mask.columns.end - mask.columns.begin) +
                               size_t(x - mask.columns.begin)];
    value = std::max(value, coverage);
}

void mask_apply(Raster& raster, const CoverageMask& mask, Color color) {
    if (mask.values.empty()) return;
    size_t index = 0;
    for (int32_t y = mask.rows.begin; y < mask.rows.end; ++y)
        for (int32_t x = mask.columns.begin; x < mask.columns.end; ++x)
            pixel_blend(pixel_at(raster, x, y), color, mask.values[index++]);
}

// Covers the pixels within half_width of the segment, softened over one pixel
// at the edge. Walks the segment's longer axis; across it, a pixel in reach of
// the segment lies at most twice the reach from the segment's point at the
// pixel's column (or row), as the slope there is at most 1.
void mask_cover_segment(CoverageMask& mask, Point a, Point b, double half_width) {
    const double reach = half_width + 0.5;
    const double margin = reach + 1.0;
    if (!segment_clip(a, b, mask.columns.begin - margin, mask.rows.begin - margin, mask.columns.end + margin,
                      mask.rows.end + margin))
        return;
    const bool x_major = std::abs(b.x - a.x) >= std::abs(b.y - a.y);
    // Swapped so that u runs along the major axis and v across it.
    const auto major = [&](Point p) { return x_major ? p.x : p.y; };
    const auto minor = [&](Point p) { return x_major ? p.y : p.x; };
    const PixelSpan major_clip = x_major ? mask.columns : mask.rows;
    const PixelSpan minor_clip = x_major ? mask.rows : mask.columns;
    const double u_low = std::min(major(a), major(b));
    const double u_high = std::max(major(a), major(b));
    const double du = major(b) - major(a);
    const double dv = minor(b) - minor(a);
    const PixelSpan along = pixel_span(u_low - reach, u_high + reach, major_clip);
    for (int32_t u = along.begin; u < along.end; ++u) {
        const double u_centre = std::clamp(u + 0.5, u_low, u_high);
        const double v_centre = du == 0.0 ? minor(a) : minor(a) + (u_centre - major(a)) * (dv / du);
        const PixelSpan across = pixel_span(v_centre - 2.0 * reach - 1.0, v_centre + 2.0 * reach + 1.0, minor_clip);
        for (int32_t v = across.begin; v < across.end; ++v) {
            const int32_t x = x_major ? u : v;
            const int32_t y = x_major ? v : u;
            const double distance = segment_distance({x + 0.5, y + 0.5}, a, b);
            const double coverage = std::clamp(reach - distance, 0.0, 1.0);
            if (coverage > 0.0) mask_cover(mask, x, y, float(coverage));
        }
    }
}

PixelSpan whole(int32_t size) { return {0, size}; }

// The box around the finite points, and whether every point was finite.
struct PointBounds {
    double left = INFINITY;
    double top = INFINITY;
    double right = -INFINITY;
    double bottom = -INFINITY;
    bool all_finite = true;
};

PointBounds point_bounds(std::span<const Point> points) {
    PointBounds bounds;
    for (Point point : points) {
        if (!point_finite(point)) {
            bounds.all_finite = false;
            continue;
        }
        bounds.left = std::min(bounds.left, point.x);
        bounds.top = std::min(bounds.top, point.y);
        bounds.right = std::max(bounds.right, point.x);
        bounds.bottom = std::max(bounds.bottom, point.y);
    }
    return bounds;
}

}  // namespace

Raster raster_create(int32_t width, int32_t height, Color fill) {
    if (width <= 0 || height <= 0) return {};
    Raster raster{width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 4)};
    for (size_t i = 0; i < raster.rgba.size(); i += 4) {
        raster.rgba[i] = fill.r;
        raster.rgba[i + 1] = fill.g;
        raster.rgba[i + 2] = fill.b;
        raster.rgba[i + 3] = fill.a;
    }
    return raster;
}

Color raster_pixel(const Raster& raster, int32_t x, int32_t y) {
    if (!raster_valid(raster) || x < 0 || y < 0 || x >= raster.width || y >= raster.height) return {0, 0, 0, 0};
    const uint8_t* pixel = &raster.rgba[(size_t(y) * size_t(raster.width) + size_t(x)) * 4];
    return {pixel[0], pixel[1], pixel[2], pixel[3]};
}

void raster_blend_pixel(Raster& raster, int32_t x, int32_t y, Color color, float coverage) {
    if (!raster_valid(raster) || x < 0 || y < 0 || x >= raster.width || y >= raster.height) return;
    pixel_blend(pixel_at(raster, x, y), color, coverage);
}

void raster_fill_rect(Raster& raster, int32_t x, int32_t y, int32_t width, int32_t height, Color color) {
    if (!raster_valid(raster) || width <= 0 || height <= 0) return;
    const int32_t left = std::max(x, 0);
    const int32_t top = std::max(y, 0);
    const int32_t right = int32_t(std::min(int64_t(x) + width, int64_t(raster.width)));
    const int32_t bottom = int32_t(std::min(int64_t(y) + height, int64_t(raster.height)));
    for (int32_t row = top; row < bottom; ++row)
        for (int32_t column = left; column < right; ++column) pixel_blend(pixel_at(raster, column, row), color, 1.0f);
}

void raster_draw_polyline(Raster& raster, std::span<const Point> points, Color color, double width) {
    if (!raster_valid(raster) || points.empty() || !(width > 0.0) || !std::isfinite(width)) return;
    const double half_width = width / 2.0;
    const double reach = half_width + 0.5;
    const PointBounds box = point_bounds(points);
    CoverageMask mask = mask_create(pixel_span(box.left - reach, box.right + reach, whole(raster.width)),
                                    pixel_span(box.top - reach, box.bottom + reach, whole(raster.height)));
    if (mask.values.empty()) return;
    if (points.size() == 1) mask_cover_segment(mask, points[0], points[0], half_width);
    for (size_t i = 1; i < points.size(); ++i)
        if (point_finite(points[i - 1]) && point_finite(points[i]))
            mask_cover_segment(mask, points[i - 1], points[i], half_width);
    mask_apply(raster, mask, color);
}

void raster_draw_line(Raster& raster, Point from, Point to, Color color, double width) {
    const Point points[] = {from, to};
    raster_draw_polyline(raster, points, color, width);
}

void raster_fill_polygon(Raster& raster, std::span<const Point> corners, Color color) {
    if (!raster_valid(raster) || corners.size() < 3) return;
    const PointBounds box = point_bounds(corners);
    if (!box.all_finite) return;
    const PixelSpan columns = pixel_span(box.left, box.right, whole(raster.width));
    const PixelSpan rows = pixel_span(box.top, box.bottom, whole(raster.height));
    constexpr int SAMPLES = 4;
    for (int32_t y = rows.begin; y < rows.end; ++y)
        for (int32_t x = columns.begin; x < columns.end; ++x) {
            int inside = 0;
            for (int sy = 0; sy < SAMPLES; ++sy)
                for (int sx = 0; sx < SAMPLES; ++sx) {
                    const double px = x + (sx + 0.5) / SAMPLES;
                    const double py = y + (sy + 0.5) / SAMPLES;
                    bool odd = false;
                    for (size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
                        const Point a = corners[i];
                        const Point b = corners[j];
                        if ((a.y > py) != (b.y > py) && px < a.x + (py - a.y) * (b.x - a.x) / (b.y - a.y))
                            odd = !odd;
                    }
                    inside += odd;
                }
            pixel_blend(pixel_at(raster, x, y), color, float(inside) / (SAMPLES * SAMPLES));
        }
}

void raster_fill_circle(Raster& raster, Point centre, double radius, Color color) {
    if (!raster_valid(raster) || !point_finite(centre) || !(radius > 0.0) || !std::isfinite(radius)) return;
    const double reach = radius + 0.5;
    const PixelSpan columns = pixel_span(centre.x - reach, centre.x + reach, whole(raster.width));
    const PixelSpan rows = pixel_span(centre.y - reach, centre.y + reach, whole(raster.height));
    for (int32_t y = rows.begin; y < rows.end; ++y)
        for (int32_t x = columns.begin; x < columns.end; ++x) {
            const double distance = std::hypot(x + 0.5 - centre.x, y + 0.5 - centre.y);
            pixel_blend(pixel_at(raster, x, y), color, float(std::clamp(reach - distance, 0.0, 1.0)));
        }
}

void raster_blit(Raster& target, const Raster& source, int32_t x, int32_t y) {
    if (!raster_valid(target) || !raster_valid(source)) return;
    const int32_t left = int32_t(std::max(int64_t(x), int64_t(0)));
    const int32_t top = int32_t(std::max(int64_t(y), int64_t(0)));
    const int32_t right = int32_t(std::min(int64_t(x) + source.width, int64_t(target.width)));
    const int32_t bottom = int32_t(std::min(int64_t(y) + source.height, int64_t(target.height)));
    for (int32_t row = top; row < bottom; ++row)
        for (int32_t column = left; column < right; ++column) {
            const uint8_t* from =
                &source.rgba[(size_t(row - y) * size_t(source.width) + size_t(column - x)) * 4];
            pixel_blend(pixel_at(target, column, row), {from[0], from[1], from[2], from[3]}, 1.0f);
        }
}
