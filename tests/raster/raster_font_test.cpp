// The built-in font: a distinct, inked glyph for every printable character,
// descenders only where they belong, and text drawn pixel for pixel at a scale.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tools/pictures/raster_font.h"

namespace {

constexpr Color BLACK{0, 0, 0, 255};
constexpr Color WHITE{255, 255, 255, 255};

bool inked(const Glyph& glyph, int32_t row, int32_t column) {
    return glyph[size_t(row)] >> (RASTER_GLYPH_WIDTH - 1 - column) & 1;
}

TEST(RasterFontTest, EveryPrintableCharacterHasItsOwnGlyph) {
    std::set<Glyph> seen;
    const std::string descenders = "gjpqy,";
    for (char c = ' '; c <= '~'; ++c) {
        const Glyph& glyph = raster_glyph(c);
        int ink = 0;
        for (uint8_t row : glyph) {
            EXPECT_EQ(row >> RASTER_GLYPH_WIDTH, 0) << "'" << c << "' is wider than the glyph";
            ink += __builtin_popcount(row);
        }
        if (c == ' ')
            EXPECT_EQ(ink, 0);
        else
            EXPECT_GT(ink, 0) << "'" << c << "' has no ink";
        EXPECT_EQ(glyph[RASTER_GLYPH_HEIGHT - 1] != 0, descenders.find(c) != std::string::npos)
            << "'" << c << "' and the descender row";
        EXPECT_TRUE(seen.insert(glyph).second) << "'" << c << "' looks like another character";
    }
    EXPECT_EQ(seen.size(), 95u);
    // Bytes without a glyph show a box that no character uses.
    EXPECT_EQ(raster_glyph('\n'), raster_glyph(char(0xc3)));
    EXPECT_EQ(seen.count(raster_glyph('\x7f')), 0u);
}

TEST(RasterFontTest, TextIsDrawnGlyphByGlyphAtItsScale) {
    constexpr int32_t scale = 3;
    const std::string text = "0g~";
    Raster raster = raster_create(80, 40, BLACK);
    raster_draw_text(raster, 4, 5, text, WHITE, scale);
    for (int32_t y = 0; y < raster.height; ++y)
        for (int32_t x = 0; x < raster.width; ++x) {
            const int32_t cell = (x - 4) / (RASTER_GLYPH_ADVANCE * scale);
            const int32_t column = (x - 4) % (RASTER_GLYPH_ADVANCE * scale) / scale;
            const int32_t row = (y - 5) / scale;
            const bool want = x >= 4 && y >= 5 && cell < int32_t(text.size()) && column < RASTER_GLYPH_WIDTH &&
                              row < RASTER_GLYPH_HEIGHT && inked(raster_glyph(text[size_t(cell)]), row, column);
            ASSERT_EQ(raster_pixel(raster, x, y).r == 255, want) << "pixel " << x << "," << y;
        }
}

TEST(RasterFontTest, TextWidthIsItsInkedExtent) {
    EXPECT_EQ(raster_text_width("", 2), 0);
    EXPECT_EQ(raster_text_height(2), 16);
    // 'M' inks its first and last columns, so the ink spans the width exactly.
    for (int32_t scale : {1, 2}) {
        Raster raster = raster_create(60, 20, BLACK);
        raster_draw_text(raster, 0, 0, "MM", WHITE, scale);
        const int32_t width = raster_text_width("MM", scale);
        EXPECT_EQ(width, 11 * scale);
        EXPECT_EQ(raster_pixel(raster, width - 1, 0).r, 255);
        for (int32_t y = 0; y < raster.height; ++y) EXPECT_EQ(raster_pixel(raster, width, y).r, 0);
    }
}

}  // namespace
