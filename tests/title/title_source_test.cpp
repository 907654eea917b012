// The generated title shader text: it carries the font and the slots exactly,
// keeps to the shader rules of the title program, and the generator refuses a
// broken template.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "shaders/font.h"
#include "shaders/programs.h"
#include "shaders/title_source.h"

namespace {

float parse_float(const std::string& text) { return std::strtof(text.c_str(), nullptr); }

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// The segments of a generated glyph function, read back from its line() calls.
std::vector<GlyphSegment> generated_segments(const std::string& text, char letter) {
    const std::string head = std::string("float glyph_") + letter + "(vec2 p)";
    std::vector<GlyphSegment> segments;
    bool inside = false;
    for (const std::string& line : lines_of(text)) {
        if (line == head) inside = true;
        if (!inside) continue;
        if (line == "}") break;
        GlyphSegment s;
        if (std::sscanf(line.c_str(), " d = min(d, line(p, vec2(%f, %f), vec2(%f, %f)));",
                        &s.start.x, &s.start.y, &s.end.x, &s.end.y) == 4) {
            segments.push_back(s);
        }
    }
    return segments;
}

// The slots of the generated main, read back from its glyph calls in order.
std::vector<GlyphSlot> generated_slots(const std::string& text) {
    std::vector<GlyphSlot> slots;
    for (const std::string& line : lines_of(text)) {
        GlyphSlot slot;
        if (std::sscanf(line.c_str(), " d = min(d, glyph_%c(uv - vec2(%f, %f)));", &slot.letter,
                        &slot.x, &slot.y) == 3) {
            slots.push_back(slot);
        }
    }
    return slots;
}

size_t count(const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
}

TEST(GlslFloat, AlwaysHasADecimalPointAndKeepsTheValue) {
    EXPECT_EQ(glsl_float(1.0f), "1.0");
    EXPECT_EQ(glsl_float(0.0f), "0.0");
    EXPECT_EQ(glsl_float(-2.0f), "-2.0");
    EXPECT_EQ(glsl_float(1.5f), "1.5");
    EXPECT_EQ(glsl_float(6.25f), "6.25");
    EXPECT_EQ(glsl_float(-0.5f), "-0.5");
    EXPECT_EQ(parse_float(glsl_float(0.07f)), 0.07f);
}

TEST(TitleShaderText, CarriesEveryGlyphOfTheSlotsExactlyAsTheFontHasIt) {
    const std::string text = title_glsl;
    for (const GlyphSlot& slot : TITLE_SLOTS) {
        const Glyph& glyph = *font_glyph(slot.letter);
        const std::vector<GlyphSegment> segments = generated_segments(text, slot.letter);
        ASSERT_EQ(segments.size(), glyph.segments.size()) << slot.letter;
        for (size_t i = 0; i < segments.size(); ++i) {
            EXPECT_EQ(segments[i].start.x, glyph.segments[i].start.x) << slot.letter << i + 1;
            EXPECT_EQ(segments[i].start.y, glyph.segments[i].start.y) << slot.letter << i + 1;
            EXPECT_EQ(segments[i].end.x, glyph.segments[i].end.x) << slot.letter << i + 1;
            EXPECT_EQ(segments[i].end.y, glyph.segments[i].end.y) << slot.letter << i + 1;
        }
    }
    EXPECT_EQ(count(text, "float glyph_"), std::size(TITLE_SLOTS));
}

TEST(TitleShaderText, TakesTheSlotsInOrder) {
    const std::vector<GlyphSlot> slots = generated_slots(title_glsl);
    ASSERT_EQ(slots.size(), std::size(TITLE_SLOTS));
    for (size_t i = 0; i < slots.size(); ++i) {
        EXPECT_EQ(slots[i].letter, TITLE_SLOTS[i].letter);
        EXPECT_EQ(slots[i].x, TITLE_SLOTS[i].x);
        EXPECT_EQ(slots[i].y, TITLE_SLOTS[i].y);
    }
}

// The title program has no vertex stage and is compiled under the default
// language rules: no version line and no varying to read.
TEST(TitleShaderText, KeepsToTheRulesOfAFragmentStageAlone) {
    const std::string text = title_glsl;
    EXPECT_EQ(count(text, "#version"), 0u);
    EXPECT_EQ(count(text, "varying"), 0u);
    EXPECT_EQ(count(text, "@"), 0u);
    EXPECT_EQ(count(text, "uniform float y;"), 1u);
    EXPECT_EQ(count(text, "uniform vec2 k;"), 1u);
    EXPECT_EQ(count(text, "uniform float rot;"), 1u);
    EXPECT_EQ(count(text, "rot"), 1u) << "rot is declared but never read";
    EXPECT_EQ(count(text, "gl_FragColor"), 1u);
}

TEST(TitleSourceFill, WritesEachLetterOnceAndEverySlotInOrder) {
    constexpr GlyphSlot slots[] = {{0.5f, 0.25f, 'L'}, {-1.0f, 0.5f, 'V'}, {2.0f, -0.5f, 'L'}};
    std::string error;
    const auto text = title_source_fill("head\n@GLYPH_FUNCTIONS@\nmid\n@SLOT_DISTANCES@\ntail\n",
                                        slots, error);
    ASSERT_TRUE(text) << error;
    EXPECT_EQ(count(*text, "float glyph_L(vec2 p)"), 1u);
    EXPECT_EQ(count(*text, "float glyph_V(vec2 p)"), 1u);
    EXPECT_EQ(count(*text, "line(p, "), 4u);
    EXPECT_EQ(text->find("head\nfloat glyph_L"), 0u);
    EXPECT_NE(text->find("}\nmid\n    d = min(d, glyph_L(uv - vec2(0.5, 0.25)));\n"
                         "    d = min(d, glyph_V(uv - vec2(-1.0, 0.5)));\n"
                         "    d = min(d, glyph_L(uv - vec2(2.0, -0.5)));\ntail\n"),
              std::string::npos)
        << *text;
}

TEST(TitleSourceFill, RefusesABrokenTemplateOrAnUnknownLetter) {
    std::string error;
    EXPECT_FALSE(title_source_fill("@GLYPH_FUNCTIONS@\n", TITLE_SLOTS, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(title_source_fill("@GLYPH_FUNCTIONS@ @SLOT_DISTANCES@ @SLOT_DISTANCES@",
                                   TITLE_SLOTS, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(title_source_fill("@GLYPH_FUNCTIONS@ @SLOT_DISTANCES@ user@host", TITLE_SLOTS,
                                   error));
    EXPECT_FALSE(error.empty());
    error.clear();
    constexpr GlyphSlot lower[] = {{0.0f, 0.0f, 'z'}};
    EXPECT_FALSE(title_source_fill("@GLYPH_FUNCTIONS@ @SLOT_DISTANCES@", lower, error));
    EXPECT_NE(error.find("'z'"), std::string::npos);
}

}  // namespace
