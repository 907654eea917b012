// The loop-counting variant of a fragment text, and the counts of its frames.
#include "tools/render/steps.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

constexpr std::string_view COUNTER = "steps_count";
constexpr std::string_view OLD_MAIN = "steps_main";

bool is_word_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The text's words and punctuation one at a time, comments and white space
// skipped; a token is a word, a number or a single other character.
struct Scanner {
    std::string_view text;
    size_t at = 0;

    void skip_space() {
        while (at < text.size()) {
            if (std::isspace(static_cast<unsigned char>(text[at]))) {
                ++at;
            } else if (text.substr(at, 2) == "//") {
                at = std::min(text.find('\n', at), text.size());
            } else if (text.substr(at, 2) == "/*") {
                const size_t end = text.find("*/", at + 2);
                at = end == std::string_view::npos ? text.size() : end + 2;
            } else {
                return;
            }
        }
    }

    // The next token's start and the token; empty at the end.
    std::string_view next(size_t& start) {
        skip_space();
        start = at;
        if (at >= text.size()) return {};
        if (is_word_char(text[at])) {
            while (at < text.size() && is_word_char(text[at])) ++at;
        } else {
            ++at;
        }
        return text.substr(start, at - start);
    }

    std::string_view peek() {
        const size_t saved = at;
        size_t start = 0;
        const std::string_view token = next(start);
        at = saved;
        return token;
    }

    // After an opening parenthesis: past its closing one. False at the end.
    bool skip_parentheses() {
        int depth = 1;
        size_t start = 0;
        while (depth > 0) {
            const std::string_view token = next(start);
            if (token.empty()) return false;
            if (token == "(") ++depth;
            if (token == ")") --depth;
        }
        return true;
    }
};

int32_t line_of(std::string_view text, size_t at) {
    return 1 + int32_t(std::count(text.begin(), text.begin() + std::ptrdiff_t(at), '\n'));
}

}  // namespace

bool steps_variant(std::string_view text, std::string& variant, std::string& error) {
    // Where to add a count (just past a loop body's brace), and where main's
    // name stands.
    std::vector<size_t> counts;
    size_t main_at = std::string_view::npos;
    Scanner scanner{text};
    size_t start = 0;
    std::string_view previous;
    for (std::string_view token = scanner.next(start); !token.empty(); token = scanner.next(start)) {
        if (token == "main" && previous == "void" && scanner.peek() == "(") main_at = start;
        if (token == "for" || token == "while") {
            size_t open = 0;
            if (scanner.next(open) != "(" || !scanner.skip_parentheses()) {
                error = "line " + std::to_string(line_of(text, start)) + ": a '" + std::string(token) +
                        "' without its parentheses";
                return false;
            }
            const std::string_view body = scanner.peek();
            // A do loop's closing while is counted at its do.
            if (token == "while" && body == ";") {
                previous = token;
                continue;
            }
            if (body != "{") {
                error = "line " + std::to_string(line_of(text, start)) + ": give the '" + std::string(token) +
                        "' loop's body braces to count its trips";
                return false;
            }
            scanner.next(open);
            counts.push_back(scanner.at);
            token = "{";
        } else if (token == "do") {
            if (scanner.peek() != "{") {
                error = "line " + std::to_string(line_of(text, start)) +
                        ": give the 'do' loop's body braces to count its trips";
                return false;
            }
            scanner.next(start);
            counts.push_back(scanner.at);
            token = "{";
        }
        previous = token;
    }
    if (main_at == std::string_view::npos) {
        error = "the text has no 'void main()'";
        return false;
    }

    // The counter is declared before anything that may use it: after a
    // leading #version line, which must stay first.
    size_t declare_at = 0;
    Scanner leading{text};
    leading.skip_space();
    if (text.substr(leading.at, 8) == "#version") declare_at = std::min(text.find('\n', leading.at), text.size());

    struct Edit {
        size_t at;
        size_t erased;
        std::string inserted;
    };
    std::vector<Edit> edits = {{declare_at, 0, "\nfloat " + std::string(COUNTER) + " = 0.0;\n"},
                               {main_at, 4, std::string(OLD_MAIN)}};
    for (const size_t at : counts) edits.push_back({at, 0, " " + std::string(COUNTER) + " += 1.0;"});
    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.at < b.at; });
    variant.clear();
    size_t copied = 0;
    for (const Edit& edit : edits) {
        variant.append(text.substr(copied, edit.at - copied));
        variant += edit.inserted;
        copied = edit.at + edit.erased;
    }
    variant.append(text.substr(copied));
    variant += "\nvoid main()\n{\n    " + std::string(OLD_MAIN) + "();\n    float steps = min(" +
               std::string(COUNTER) + ", " + std::to_string(STEPS_COUNT_MAX) +
               ".0);\n    gl_FragColor = vec4(mod(steps, 256.0) / 255.0, floor(steps / 256.0) / 255.0, 0.0, 1.0);\n}\n";
    return true;
}

std::vector<uint32_t> steps_counts(const Raster& frame) {
    std::vector<uint32_t> counts(frame.rgba.size() / 4);
    for (size_t i = 0; i < counts.size(); ++i) counts[i] = frame.rgba[4 * i] + 256u * frame.rgba[4 * i + 1];
    return counts;
}

std::vector<uint32_t> steps_group_counts(std::span<const uint32_t> counts, int32_t width, int32_t height) {
    std::vector<uint32_t> groups(counts.size());
    if (counts.size() != size_t(width) * size_t(height)) return groups;
    // Groups are aligned in the window, whose rows count from the bottom.
    const auto group_of = [&](int32_t column, int32_t row) {
        const int32_t window_row = height - 1 - row;
        return size_t(window_row / STEPS_GROUP_HEIGHT) * size_t((width + STEPS_GROUP_WIDTH - 1) / STEPS_GROUP_WIDTH) +
               size_t(column / STEPS_GROUP_WIDTH);
    };
    std::vector<uint32_t> longest(size_t((width + STEPS_GROUP_WIDTH - 1) / STEPS_GROUP_WIDTH) *
                                  size_t((height + STEPS_GROUP_HEIGHT - 1) / STEPS_GROUP_HEIGHT));
    for (int32_t row = 0; row < height; ++row)
        for (int32_t column = 0; column < width; ++column) {
            uint32_t& group = longest[group_of(column, row)];
            group = std::max(group, counts[size_t(row) * size_t(width) + size_t(column)]);
        }
    for (int32_t row = 0; row < height; ++row)
        for (int32_t column = 0; column < width; ++column)
            groups[size_t(row) * size_t(width) + size_t(column)] = longest[group_of(column, row)];
    return groups;
}

StepsSummary steps_summarize(std::span<const uint32_t> counts, int32_t width, int32_t height) {
    StepsSummary summary;
    if (counts.empty() || counts.size() != size_t(width) * size_t(height)) return summary;
    double sum = 0.0, group_sum = 0.0;
    for (const uint32_t count : counts) {
        sum += count;
        summary.largest = std::max(summary.largest, count);
    }
    for (const uint32_t count : steps_group_counts(counts, width, height)) group_sum += count;
    summary.mean = sum / double(counts.size());
    summary.group_mean = group_sum / double(counts.size());
    return summary;
}

Raster steps_picture(std::span<const uint32_t> counts, int32_t width, int32_t height, uint32_t scale) {
    // A ramp that reads in order at a glance and in grey: dark blue, teal,
    // green, yellow.
    static constexpr std::array<Color, 9> RAMP = {{{68, 1, 84},
                                                   {71, 44, 122},
                                                   {59, 81, 139},
                                                   {44, 113, 142},
                                                   {33, 144, 141},
                                                   {39, 173, 129},
                                                   {92, 200, 99},
                                                   {170, 220, 50},
                                                   {253, 231, 37}}};
    Raster picture = raster_create(width, height, RAMP[0]);
    if (picture.rgba.size() != counts.size() * 4) return picture;
    const double top = double(std::max(scale, 1u));
    for (size_t i = 0; i < counts.size(); ++i) {
        const double t = std::min(double(counts[i]) / top, 1.0) * double(RAMP.size() - 1);
        const size_t below = std::min(size_t(t), RAMP.size() - 2);
        const double f = t - double(below);
        const Color a = RAMP[below], b = RAMP[below + 1];
        const auto mix = [f](uint8_t low, uint8_t high) {
            return uint8_t(double(low) + (double(high) - double(low)) * f + 0.5);
        };
        picture.rgba[4 * i] = mix(a.r, b.r);
        picture.rgba[4 * i + 1] = mix(a.g, b.g);
        picture.rgba[4 * i + 2] = mix(a.b, b.b);
        picture.rgba[4 * i + 3] = 255;
    }
    return picture;
}
