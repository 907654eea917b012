// The title scene on the CPU, step by step in the scene's own order.
#include "tests/title/title_reference.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "shaders/font.h"

namespace {

constexpr float SCALE = 0.07f;   // uv units per glyph unit
constexpr float BORDER = 0.05f;  // taken off every segment distance

struct Vec2 {
    float x;
    float y;
};

// A segment in uv units: where it starts (y still downward), its length and its
// unit direction. These depend on the font alone, so a frame works them out once.
struct Segment {
    Vec2 start;
    float length;
    Vec2 dir;
};

struct Letter {
    Vec2 slot;
    std::vector<Segment> segments;
};

Segment segment_in_uv(const GlyphSegment& segment) {
    const Vec2 start{SCALE * segment.start.x, SCALE * segment.start.y};
    const Vec2 end{SCALE * segment.end.x, SCALE * segment.end.y};
    const Vec2 span{start.x - end.x, start.y - end.y};
    const float length = std::sqrt(span.x * span.x + span.y * span.y);
    return {start, length, {(end.x - start.x) / length, (end.y - start.y) / length}};
}

std::vector<Letter> letters_in_uv() {
    std::vector<Letter> letters;
    for (const GlyphSlot& slot : TITLE_SLOTS) {
        Letter letter{{slot.x, slot.y}, {}};
        for (const GlyphSegment& segment : font_glyph(slot.letter)->segments) {
            letter.segments.push_back(segment_in_uv(segment));
        }
        letters.push_back(std::move(letter));
    }
    return letters;
}

const std::vector<Letter>& title_letters() {
    static const std::vector<Letter> letters = letters_in_uv();
    return letters;
}

// Distance from p (uv relative to the slot) to the stroke box along the
// segment, less the border.
float segment_distance(Vec2 p, const Segment& s, float line_width) {
    // The start point, its y flipped into uv, becomes the origin; then the
    // segment is turned onto the positive x axis.
    const Vec2 moved{p.x - s.start.x, p.y + s.start.y};
    const Vec2 turned{moved.x * s.dir.x - moved.y * s.dir.y, moved.x * s.dir.y + moved.y * s.dir.x};
    const float rx = std::fabs(turned.x - s.length / 2.0f) - s.length / 2.0f;
    const float ry = std::fabs(turned.y) - line_width / 2.0f;
    const float ox = std::max(rx, 0.0f);
    const float oy = std::max(ry, 0.0f);
    return std::sqrt(ox * ox + oy * oy) - BORDER;
}

TitlePixel pixel_of(const std::vector<Letter>& letters, float fx, float fy, float y, float kx,
                    float ky) {
    TitlePixel pixel;
    pixel.line_width =
        -0.3f + 0.05f * std::cos(y * (std::cos(0.01f * fx + y) + std::sin(0.001f * fy)) * 1.5f);

    float u = (2.0f * fx - kx) / ky;
    float v = (2.0f * fy - ky) / ky;
    u = u * (std::fabs(0.5f * std::cos(u + 2.0f * y) + 1.0f) + 1.0f);
    v = v * (std::fabs(std::cos(v + 2.0f * y) + 1.0f) + 1.0f);
    pixel.uv_x = u;
    pixel.uv_y = v;

    float distance = 5.0f;
    for (const Letter& letter : letters) {
        const Vec2 p{u - letter.slot.x, v - letter.slot.y};
        float glyph = 1.0f;
        for (const Segment& segment : letter.segments) {
            glyph = std::min(glyph, segment_distance(p, segment, pixel.line_width));
        }
        distance = std::min(distance, glyph);
    }
    pixel.distance = distance;
    pixel.grey = std::fabs(7.1f * distance + 0.2f * std::tan(y));
    return pixel;
}

}  // namespace

TitlePixel title_reference_pixel(float fx, float fy, float y, float kx, float ky) {
    return pixel_of(title_letters(), fx, fy, y, kx, ky);
}

std::vector<float> title_reference_frame(float y, int32_t width, int32_t height) {
    std::vector<float> grey(static_cast<size_t>(width) * static_cast<size_t>(height));
    const float kx = static_cast<float>(width);
    const float ky = static_cast<float>(height);
    const std::vector<Letter>& letters = title_letters();
    for (int32_t row = 0; row < height; ++row) {
        const float fy = static_cast<float>(height - 1 - row) + 0.5f;
        float* out = grey.data() + static_cast<size_t>(row) * static_cast<size_t>(width);
        for (int32_t column = 0; column < width; ++column) {
            out[column] = pixel_of(letters, static_cast<float>(column) + 0.5f, fy, y, kx, ky).grey;
        }
    }
    return grey;
}
