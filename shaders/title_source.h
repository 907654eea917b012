// Builds the title shader's text from its template and the font: the template
// holds the fixed GLSL, and the glyph code is generated from the font table, so
// the font is written down once.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "shaders/font.h"

// Where the generated code goes in the template, each exactly once: the glyph
// distance functions of the letters the slots use, and the statements of main
// that take the scene distance over the slots in order.
inline constexpr std::string_view TITLE_GLYPH_FUNCTIONS_MARKER = "@GLYPH_FUNCTIONS@";
inline constexpr std::string_view TITLE_SLOT_DISTANCES_MARKER = "@SLOT_DISTANCES@";

// A GLSL float literal of the value, with its decimal point ("1.0", "-0.5", "6.25").
std::string glsl_float(float value);

// The template with both markers replaced by code for the slots, or nothing with
// the reason in error: a marker missing or repeated, a slot letter without a
// glyph, or a stray '@' left in the text.
std::optional<std::string> title_source_fill(std::string_view template_text,
                                             std::span<const GlyphSlot> slots, std::string& error);
