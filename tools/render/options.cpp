// Option values parsed strictly (a number is the whole argument or an error),
// and the options every subcommand shares.
#include "tools/render/options.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// The help lines of the shared options that each subcommand's help leaves
// out, since they read the same everywhere.
constexpr const char* HELP_SHADER =
    "  --shader SCENE=FILE  render the scene (landscape or title) with the fragment\n"
    "                   text in FILE instead of the built-in one; a text that does\n"
    "                   not build ends the run with the GL's log\n";

bool parse_double(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, value);
    return problem == std::errc() && stop == end && std::isfinite(value);
}

bool parse_side(std::string_view text, int32_t& side) {
    const char* end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, side);
    return problem == std::errc() && stop == end && side >= 1 && side <= SIZE_MAX_SIDE;
}

bool bad_value(const ArgCursor& cursor, std::string_view value, std::string_view wanted,
               std::string& error) {
    error = std::string(cursor.name) + " needs " + std::string(wanted) + ", not '" +
            std::string(value) + "'";
    return false;
}

}  // namespace

bool cursor_next(ArgCursor& cursor) {
    if (cursor.next >= cursor.args.size()) return false;
    const std::string_view arg = cursor.args[cursor.next++];
    const size_t equals = arg.find('=');
    cursor.has_inline_value = arg.starts_with("--") && equals != std::string_view::npos;
    cursor.name = cursor.has_inline_value ? arg.substr(0, equals) : arg;
    cursor.inline_value = cursor.has_inline_value ? arg.substr(equals + 1) : std::string_view();
    return true;
}

bool cursor_value(ArgCursor& cursor, std::string_view& value, std::string& error) {
    if (cursor.has_inline_value) {
        value = cursor.inline_value;
        cursor.has_inline_value = false;
        return true;
    }
    if (cursor.next >= cursor.args.size()) {
        error = std::string(cursor.name) + " needs a value";
        return false;
    }
    value = cursor.args[cursor.next++];
    return true;
}

bool cursor_string(ArgCursor& cursor, std::string& value, std::string& error) {
    std::string_view text;
    if (!cursor_value(cursor, text, error)) return false;
    value = std::string(text);
    return true;
}

bool cursor_double(ArgCursor& cursor, double& value, std::string& error) {
    std::string_view text;
    if (!cursor_value(cursor, text, error)) return false;
    if (!parse_double(text, value)) return bad_value(cursor, text, "a finite number", error);
    return true;
}

bool cursor_float(ArgCursor& cursor, float& value, std::string& error) {
    std::string_view text;
    if (!cursor_value(cursor, text, error)) return false;
    double wide = 0.0;
    if (!parse_double(text, wide) || std::fabs(wide) > std::numeric_limits<float>::max())
        return bad_value(cursor, text, "a finite number in single precision", error);
    value = float(wide);
    return true;
}

bool cursor_size(ArgCursor& cursor, int32_t& width, int32_t& height, std::string& error) {
    std::string_view text;
    if (!cursor_value(cursor, text, error)) return false;
    const size_t x = text.find('x');
    if (x == std::string_view::npos || !parse_side(text.substr(0, x), width) ||
        !parse_side(text.substr(x + 1), height))
        return bad_value(cursor, text,
                         "WIDTHxHEIGHT with sides from 1 to " + std::to_string(SIZE_MAX_SIDE), error);
    return true;
}

bool cursor_scene(ArgCursor& cursor, Scene& scene, std::string& error) {
    std::string_view text;
    if (!cursor_value(cursor, text, error)) return false;
    if (text == "landscape")
        scene = Scene::landscape;
    else if (text == "title")
        scene = Scene::title;
    else
        return bad_value(cursor, text, "landscape or title", error);
    return true;
}

bool cursor_shader(ArgCursor& cursor, ShaderFiles& files, std::string& error) {
    std::string_view text;
    if (!cursor_value(cursor, text, error)) return false;
    const size_t equals = text.find('=');
    const std::string_view scene = text.substr(0, equals);
    const std::string_view file = equals == std::string_view::npos ? "" : text.substr(equals + 1);
    if (file.empty() || (scene != "landscape" && scene != "title"))
        return bad_value(cursor, text, "landscape=FILE or title=FILE", error);
    (scene == "landscape" ? files.landscape : files.title) = std::string(file);
    return true;
}

bool cursor_common(ArgCursor& cursor, CommonOptions& common, std::string& error) {
    const std::string_view name = cursor.name;
    if (name == "-h" || name == "--help") {
        common.help = true;
        return true;
    }
    if (name == common.size_option) return cursor_size(cursor, common.width, common.height, error);
    if (name == "--dir") {
        common.has_dir = true;
        return cursor_string(cursor, common.dir, error);
    }
    if (name == "--shader") return cursor_shader(cursor, common.shaders, error);
    if (name.starts_with("-") && name.size() > 1)
        error = "unknown option '" + std::string(name) + "'";
    else
        error = "unexpected argument '" + std::string(name) + "'";
    return false;
}

int help_print(const char* help) {
    std::printf(help, HELP_SHADER);
    return 0;
}

RendererPtr renderer_create_from_options(const CommonOptions& common, std::string& error) {
    return renderer_create_from_files(common.width, common.height, common.shaders, error);
}

int usage_error(std::string_view command, std::string_view message) {
    std::fprintf(stderr, "zirbelon-render %.*s: %.*s\nTry 'zirbelon-render %.*s --help'.\n",
                 int(command.size()), command.data(), int(message.size()), message.data(),
                 int(command.size()), command.data());
    return EXIT_USAGE;
}

int run_error(std::string_view command, std::string_view message) {
    std::fprintf(stderr, "zirbelon-render %.*s: %.*s\n", int(command.size()), command.data(),
                 int(message.size()), message.data());
    return EXIT_FAILED;
}
