// Generation of the title shader's glyph code from the font table.
#include "shaders/title_source.h"

#include <charconv>
#include <system_error>

namespace {

std::string glsl_vec2(float x, float y) {
    return "vec2(" + glsl_float(x) + ", " + glsl_float(y) + ")";
}

std::string glyph_function_name(char letter) { return std::string("glyph_") + letter; }

// Glyph distance: 1.0 lowered by each segment in the order of the font table.
std::string glyph_function(const Glyph& glyph) {
    std::string text = "float " + glyph_function_name(glyph.letter) + "(vec2 p)\n{\n";
    text += "    float d = 1.0;\n";
    for (const GlyphSegment& segment : glyph.segments) {
        text += "    d = min(d, line(p, " + glsl_vec2(segment.start.x, segment.start.y) + ", " +
                glsl_vec2(segment.end.x, segment.end.y) + "));\n";
    }
    text += "    return d;\n}\n";
    return text;
}

// Replaces the one occurrence of marker; false when it is missing or repeated.
bool replace_once(std::string& text, std::string_view marker, std::string_view replacement) {
    const size_t at = text.find(marker);
    if (at == std::string::npos || text.find(marker, at + 1) != std::string::npos) return false;
    text.replace(at, marker.size(), replacement);
    return true;
}

}  // namespace

std::string glsl_float(float value) {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

std::optional<std::string> title_source_fill(std::string_view template_text,
                                             std::span<const GlyphSlot> slots, std::string& error) {
    std::string functions;
    std::string distances;
    std::string defined;  // letters whose function is already written
    for (const GlyphSlot& slot : slots) {
        const Glyph* glyph = font_glyph(slot.letter);
        if (!glyph) {
            error = std::string("no glyph for the slot letter '") + slot.letter + "'";
            return std::nullopt;
        }
        if (defined.find(slot.letter) == std::string::npos) {
            if (!defined.empty()) functions += "\n";
            functions += glyph_function(*glyph);
            defined += slot.letter;
        }
        if (!distances.empty()) distances += "\n";
        distances += "    d = min(d, " + glyph_function_name(slot.letter) + "(uv - " +
                     glsl_vec2(slot.x, slot.y) + "));";
    }
    // The last function's closing line ends at the marker's own line end.
    if (!functions.empty()) functions.pop_back();

    std::string text(template_text);
    if (!replace_once(text, TITLE_GLYPH_FUNCTIONS_MARKER, functions) ||
        !replace_once(text, TITLE_SLOT_DISTANCES_MARKER, distances)) {
        error = "the template needs " + std::string(TITLE_GLYPH_FUNCTIONS_MARKER) + " and " +
                std::string(TITLE_SLOT_DISTANCES_MARKER) + " exactly once each";
        return std::nullopt;
    }
    if (text.find('@') != std::string::npos) {
        error = "the template has a '@' outside the two markers";
        return std::nullopt;
    }
    return text;
}
