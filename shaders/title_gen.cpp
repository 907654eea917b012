// title_glsl_gen: writes the title shader from its template and the font table.
// Runs at build time; the text it writes is embedded into the program as is.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "shaders/font.h"
#include "shaders/title_source.h"

namespace {

constexpr const char* USAGE =
    "usage: title_glsl_gen TEMPLATE OUTPUT\n"
    "Fills the title shader template with the glyph code generated from the font\n"
    "and the title slots, and writes the GLSL text to OUTPUT.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (argc != 3) {
        std::fputs(USAGE, stderr);
        return 2;
    }

    std::ifstream input(argv[1], std::ios::binary);
    std::ostringstream template_text;
    if (!input || !(template_text << input.rdbuf())) {
        std::fprintf(stderr, "title_glsl_gen: cannot read %s\n", argv[1]);
        return 1;
    }

    std::string error;
    const auto text = title_source_fill(template_text.str(), TITLE_SLOTS, error);
    if (!text) {
        std::fprintf(stderr, "title_glsl_gen: %s: %s\n", argv[1], error.c_str());
        return 1;
    }

    std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
    if (!output || !output.write(text->data(), static_cast<std::streamsize>(text->size())) ||
        !output.flush()) {
        std::fprintf(stderr, "title_glsl_gen: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
