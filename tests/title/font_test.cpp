// The stroke font and the title slots: the shape rules the title shader relies on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <string>

#include "shaders/font.h"

namespace {

bool same_point(GlyphPoint a, GlyphPoint b) { return a.x == b.x && a.y == b.y; }

float cross(GlyphPoint o, GlyphPoint a, GlyphPoint b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

float dot(GlyphPoint a, GlyphPoint b) { return a.x * b.x + a.y * b.y; }

GlyphPoint direction(const GlyphSegment& s) { return {s.end.x - s.start.x, s.end.y - s.start.y}; }

bool collinear(const GlyphSegment& a, const GlyphSegment& b) {
    return cross(a.start, a.end, b.start) == 0.0f && cross(a.start, a.end, b.end) == 0.0f;
}

// Position of p along segment s, 0 at its start and 1 at its end (p on its line).
float along(const GlyphSegment& s, GlyphPoint p) {
    const GlyphPoint d = direction(s);
    return dot({p.x - s.start.x, p.y - s.start.y}, d) / dot(d, d);
}

bool within(const GlyphSegment& outer, const GlyphSegment& inner) {
    const float a = along(outer, inner.start);
    const float b = along(outer, inner.end);
    return a >= 0.0f && a <= 1.0f && b >= 0.0f && b <= 1.0f;
}

// Collinear segments sharing more than a point.
bool overlap(const GlyphSegment& a, const GlyphSegment& b) {
    if (!collinear(a, b)) return false;
    const float s = along(a, b.start);
    const float e = along(a, b.end);
    return std::fmin(s, e) < 1.0f && std::fmax(s, e) > 0.0f;
}

// Segment i runs back over (part of) segment i - 1.
bool runs_back(const GlyphSegment& before, const GlyphSegment& segment) {
    return collinear(before, segment) && dot(direction(before), direction(segment)) < 0.0f;
}

TEST(Font, HasEveryCapitalLetterInOrder) {
    ASSERT_EQ(std::size(FONT), 26u);
    for (size_t i = 0; i < std::size(FONT); ++i) {
        EXPECT_EQ(FONT[i].letter, static_cast<char>('A' + i));
        EXPECT_EQ(font_glyph(FONT[i].letter), &FONT[i]);
    }
    EXPECT_EQ(font_glyph('a'), nullptr);
    EXPECT_EQ(font_glyph(' '), nullptr);
    EXPECT_EQ(font_glyph('\0'), nullptr);
}

TEST(Font, SegmentCountsPerLetter) {
    constexpr size_t counts[26] = {6, 6, 3, 8, 6, 5, 6, 5, 5, 4, 6, 2, 4,
                                   3, 4, 4, 5, 6, 5, 3, 3, 2, 4, 4, 4, 7};
    for (size_t i = 0; i < std::size(FONT); ++i) {
        EXPECT_EQ(FONT[i].segments.size(), counts[i]) << FONT[i].letter;
    }
}

TEST(Font, EveryGlyphIsOneContinuousPenPathOfRealSegmentsInsideItsBox) {
    for (const Glyph& glyph : FONT) {
        for (size_t i = 0; i < glyph.segments.size(); ++i) {
            const GlyphSegment& s = glyph.segments[i];
            SCOPED_TRACE(std::string(1, glyph.letter) + " segment " + std::to_string(i + 1));
            EXPECT_FALSE(same_point(s.start, s.end)) << "zero length";
            if (i > 0) {
                EXPECT_TRUE(same_point(glyph.segments[i - 1].end, s.start)) << "pen lifted";
            }
            for (GlyphPoint p : {s.start, s.end}) {
                EXPECT_TRUE(p.x >= 1.0f && p.x <= 5.0f && p.y >= 1.5f && p.y <= 8.0f)
                    << "(" << p.x << ", " << p.y << ") outside the letter box";
            }
        }
    }
}

TEST(Font, ExactReversalsAreWhereTheStrokeReturns) {
    struct Reversal {
        char letter;
        size_t segment;  // counted from 1
    };
    constexpr Reversal reversals[] = {{'A', 5}, {'E', 4}, {'F', 4}, {'K', 5}, {'Y', 3}};
    for (const Reversal& r : reversals) {
        const auto& segments = font_glyph(r.letter)->segments;
        ASSERT_LT(r.segment - 1, segments.size());
        const GlyphSegment& before = segments[r.segment - 2];
        const GlyphSegment& segment = segments[r.segment - 1];
        EXPECT_TRUE(same_point(segment.start, before.end) && same_point(segment.end, before.start))
            << r.letter << " segment " << r.segment;
    }
}

TEST(Font, OnlyTheLettersThatReturnRunBackOverAStroke) {
    std::string letters;
    for (const Glyph& glyph : FONT) {
        for (size_t i = 1; i < glyph.segments.size(); ++i) {
            if (runs_back(glyph.segments[i - 1], glyph.segments[i])) {
                letters += glyph.letter;
                break;
            }
        }
    }
    EXPECT_EQ(letters, "AEFHIKRTXYZ");
}

// An overlap in which neither segment holds the other would change a glyph's
// distance field; a segment wholly inside another changes nothing.
TEST(Font, OverlappingSegmentsLieOneWithinTheOther) {
    for (const Glyph& glyph : FONT) {
        for (size_t i = 0; i < glyph.segments.size(); ++i) {
            for (size_t j = i + 1; j < glyph.segments.size(); ++j) {
                const GlyphSegment& a = glyph.segments[i];
                const GlyphSegment& b = glyph.segments[j];
                if (!overlap(a, b)) continue;
                EXPECT_TRUE(within(a, b) || within(b, a))
                    << glyph.letter << " segments " << i + 1 << " and " << j + 1;
            }
        }
    }
}

TEST(TitleSlots, SpellTheWordLeftToRightHalfAUnitApart) {
    ASSERT_EQ(std::size(TITLE_SLOTS), 8u);
    std::string word;
    for (size_t i = 0; i < std::size(TITLE_SLOTS); ++i) {
        const GlyphSlot& slot = TITLE_SLOTS[i];
        word += slot.letter;
        EXPECT_EQ(slot.x, -2.0f + 0.5f * static_cast<float>(i));
        EXPECT_EQ(slot.y, 0.5f);
        EXPECT_NE(font_glyph(slot.letter), nullptr) << slot.letter;
    }
    EXPECT_EQ(word, "ZIRBELON");
}

}  // namespace
