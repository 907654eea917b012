// Small text for the tools' pictures: a built-in 5 x 7 bitmap font of the
// printable ASCII characters (descenders one row lower), drawn at any whole
// scale. Each character takes a cell RASTER_GLYPH_ADVANCE wide and
// RASTER_GLYPH_HEIGHT high; any other byte draws as a hollow box.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "tools/pictures/raster.h"

inline constexpr int32_t RASTER_GLYPH_WIDTH = 5;    // columns of a glyph's bitmap
inline constexpr int32_t RASTER_GLYPH_HEIGHT = 8;   // rows: 7 above the baseline, 1 for descenders
inline constexpr int32_t RASTER_GLYPH_ADVANCE = 6;  // the glyph and one column of space

// A glyph's rows from the top; bit 4 is the leftmost column.
using Glyph = std::array<uint8_t, RASTER_GLYPH_HEIGHT>;

// The glyph drawn for a byte.
const Glyph& raster_glyph(char character);

// Size in pixels of one line of text at a scale (1 or more).
int32_t raster_text_width(std::string_view text, int32_t scale);
int32_t raster_text_height(int32_t scale);

// Draws one line of text with the top-left corner of its first cell at (x, y),
// each glyph pixel a scale x scale square.
void raster_draw_text(Raster& raster, int32_t x, int32_t y, std::string_view text, Color color, int32_t scale);
