// The stroke font of the title scene and the eight slots that spell its word.
// This is the only copy of the font: the title shader's glyph code is generated
// from these tables at build time (title_source.h), and the tests check them.
//
// Glyph units run x to the right and y downward; a letter lies in the box
// 1 <= x <= 5, 1.5 <= y <= 8, with y = 1.5 its top line and y = 8 its baseline.
// Each glyph is one pen path: every segment starts where the one before ends,
// going back over a stroke where the path has to return.
#pragma once

#include <span>

struct GlyphPoint {
    float x;
    float y;
};

struct GlyphSegment {
    GlyphPoint start;
    GlyphPoint end;
};

struct Glyph {
    char letter;
    std::span<const GlyphSegment> segments;  // in drawing order
};

// Where a letter stands in the title, in uv units (origin at the screen centre,
// y up, one unit half the screen height).
struct GlyphSlot {
    float x;
    float y;
    char letter;
};

namespace glyph_paths {

inline constexpr GlyphSegment A[] = {
    {{1, 8}, {1, 1.5}}, {{1, 1.5}, {5, 1.5}}, {{5, 1.5}, {5, 5}}, {{5, 5}, {1, 5}},
    {{1, 5}, {5, 5}}, {{5, 5}, {5, 8}},
};
inline constexpr GlyphSegment B[] = {
    {{4, 5}, {4, 1.5}}, {{4, 1.5}, {1, 1.5}}, {{1, 1.5}, {1, 8}}, {{1, 8}, {5, 8}},
    {{5, 8}, {5, 5}}, {{5, 5}, {1, 5}},
};
inline constexpr GlyphSegment C[] = {
    {{5, 1.5}, {1, 1.5}}, {{1, 1.5}, {1, 8}}, {{1, 8}, {5, 8}},
};
inline constexpr GlyphSegment D[] = {
    {{1, 8}, {4, 8}}, {{4, 8}, {4.5, 7.5}}, {{4.5, 7.5}, {5, 6.25}}, {{5, 6.25}, {5, 3.75}},
    {{5, 3.75}, {4.5, 2}}, {{4.5, 2}, {4, 1.5}}, {{4, 1.5}, {1, 1.5}}, {{1, 1.5}, {1, 8}},
};
inline constexpr GlyphSegment E[] = {
    {{5, 1.5}, {1, 1.5}}, {{1, 1.5}, {1, 5}}, {{1, 5}, {3, 5}}, {{3, 5}, {1, 5}}, {{1, 5}, {1, 8}},
    {{1, 8}, {5, 8}},
};
inline constexpr GlyphSegment F[] = {
    {{5, 1.5}, {1, 1.5}}, {{1, 1.5}, {1, 5}}, {{1, 5}, {3, 5}}, {{3, 5}, {1, 5}}, {{1, 5}, {1, 8}},
};
inline constexpr GlyphSegment G[] = {
    {{5, 2.5}, {5, 1.5}}, {{5, 1.5}, {1, 1.5}}, {{1, 1.5}, {1, 8}}, {{1, 8}, {5, 8}},
    {{5, 8}, {5, 5}}, {{5, 5}, {3.5, 5}},
};
inline constexpr GlyphSegment H[] = {
    {{1, 1.5}, {1, 8}}, {{1, 8}, {1, 5}}, {{1, 5}, {5, 5}}, {{5, 5}, {5, 1.5}}, {{5, 1.5}, {5, 8}},
};
inline constexpr GlyphSegment I[] = {
    {{1.5, 1.5}, {4.5, 1.5}}, {{4.5, 1.5}, {3, 1.5}}, {{3, 1.5}, {3, 8}}, {{3, 8}, {1.5, 8}},
    {{1.5, 8}, {4.5, 8}},
};
inline constexpr GlyphSegment J[] = {
    {{1.5, 8}, {3, 8}}, {{3, 8}, {4, 7}}, {{4, 7}, {4, 1.5}}, {{4, 1.5}, {1.5, 1.5}},
};
inline constexpr GlyphSegment K[] = {
    {{1, 1.5}, {1, 8}}, {{1, 8}, {1, 5}}, {{1, 5}, {2.5, 5}}, {{2.5, 5}, {5, 1.5}},
    {{5, 1.5}, {2.5, 5}}, {{2.5, 5}, {5, 8}},
};
inline constexpr GlyphSegment L[] = {
    {{1, 1.5}, {1, 8}}, {{1, 8}, {5, 8}},
};
inline constexpr GlyphSegment M[] = {
    {{1, 8}, {1, 1.5}}, {{1, 1.5}, {3, 4}}, {{3, 4}, {5, 1.5}}, {{5, 1.5}, {5, 8}},
};
inline constexpr GlyphSegment N[] = {
    {{1, 8}, {1, 1.5}}, {{1, 1.5}, {5, 8}}, {{5, 8}, {5, 1.5}},
};
inline constexpr GlyphSegment O[] = {
    {{5, 1.5}, {1, 1.5}}, {{1, 1.5}, {1, 8}}, {{1, 8}, {5, 8}}, {{5, 8}, {5, 1.5}},
};
inline constexpr GlyphSegment P[] = {
    {{1, 8}, {1, 1.5}}, {{1, 1.5}, {5, 1.5}}, {{5, 1.5}, {5, 5}}, {{5, 5}, {1, 5}},
};
inline constexpr GlyphSegment Q[] = {
    {{5, 8}, {5, 1.5}}, {{5, 1.5}, {1, 1.5}}, {{1, 1.5}, {1, 8}}, {{1, 8}, {5, 8}},
    {{5, 8}, {3.5, 6.5}},
};
inline constexpr GlyphSegment R[] = {
    {{1, 8}, {1, 1.5}}, {{1, 1.5}, {5, 1.5}}, {{5, 1.5}, {5, 5}}, {{5, 5}, {1, 5}},
    {{1, 5}, {3.5, 5}}, {{3.5, 5}, {5, 8}},
};
inline constexpr GlyphSegment S[] = {
    {{5, 1.5}, {1, 1.5}}, {{1, 1.5}, {1, 5}}, {{1, 5}, {5, 5}}, {{5, 5}, {5, 8}}, {{5, 8}, {1, 8}},
};
inline constexpr GlyphSegment T[] = {
    {{3, 8}, {3, 1.5}}, {{3, 1.5}, {1, 1.5}}, {{1, 1.5}, {5, 1.5}},
};
inline constexpr GlyphSegment U[] = {
    {{1, 1.5}, {1, 8}}, {{1, 8}, {5, 8}}, {{5, 8}, {5, 1.5}},
};
inline constexpr GlyphSegment V[] = {
    {{1, 1.5}, {3, 8}}, {{3, 8}, {5, 1.5}},
};
inline constexpr GlyphSegment W[] = {
    {{1, 1.5}, {1, 8}}, {{1, 8}, {3, 6}}, {{3, 6}, {5, 8}}, {{5, 8}, {5, 1.5}},
};
inline constexpr GlyphSegment X[] = {
    {{1, 1.5}, {5, 8}}, {{5, 8}, {3, 4.75}}, {{3, 4.75}, {5, 1.5}}, {{5, 1.5}, {1, 8}},
};
inline constexpr GlyphSegment Y[] = {
    {{1, 1.5}, {3, 5}}, {{3, 5}, {3, 8}}, {{3, 8}, {3, 5}}, {{3, 5}, {5, 1.5}},
};
inline constexpr GlyphSegment Z[] = {
    {{1, 1.5}, {5, 1.5}}, {{5, 1.5}, {3, 5}}, {{3, 5}, {1.5, 5}}, {{1.5, 5}, {4.5, 5}},
    {{4.5, 5}, {3, 5}}, {{3, 5}, {1, 8}}, {{1, 8}, {5, 8}},
};

}  // namespace glyph_paths

inline constexpr Glyph FONT[] = {
    {'A', glyph_paths::A}, {'B', glyph_paths::B}, {'C', glyph_paths::C}, {'D', glyph_paths::D},
    {'E', glyph_paths::E}, {'F', glyph_paths::F}, {'G', glyph_paths::G}, {'H', glyph_paths::H},
    {'I', glyph_paths::I}, {'J', glyph_paths::J}, {'K', glyph_paths::K}, {'L', glyph_paths::L},
    {'M', glyph_paths::M}, {'N', glyph_paths::N}, {'O', glyph_paths::O}, {'P', glyph_paths::P},
    {'Q', glyph_paths::Q}, {'R', glyph_paths::R}, {'S', glyph_paths::S}, {'T', glyph_paths::T},
    {'U', glyph_paths::U}, {'V', glyph_paths::V}, {'W', glyph_paths::W}, {'X', glyph_paths::X},
    {'Y', glyph_paths::Y}, {'Z', glyph_paths::Z},
};

// The word ZIRBELON, left to right, 0.5 apart on the line uv y = 0.5.
inline constexpr GlyphSlot TITLE_SLOTS[] = {
    {-2.0f, 0.5f, 'Z'}, {-1.5f, 0.5f, 'I'}, {-1.0f, 0.5f, 'R'}, {-0.5f, 0.5f, 'B'},
    {0.0f, 0.5f, 'E'},  {0.5f, 0.5f, 'L'},  {1.0f, 0.5f, 'O'},  {1.5f, 0.5f, 'N'},
};

// The glyph of a capital letter, or null for any other character.
constexpr const Glyph* font_glyph(char letter) {
    for (const Glyph& glyph : FONT) {
        if (glyph.letter == letter) return &glyph;
    }
    return nullptr;
}
