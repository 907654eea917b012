// zirbelon-tracks: writes track files from text, shows them as text, gives a
// track's value at rows and draws tracks as a picture, reading through the
// same track set as the presentation.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "tools/common/atomic_file.h"
#include "tools/raster/raster_png.h"
#include "tools/tracks/track_plot.h"
#include "tools/tracks/track_text.h"
#include "tracks/track_file.h"
#include "tracks/tracks.h"

namespace {

constexpr std::string_view TOOL = "zirbelon-tracks";

constexpr std::string_view USAGE =
    "usage: zirbelon-tracks COMMAND ...\n"
    "\n"
    "Track files: the keyframes the presentation reads at start-up.\n"
    "\n"
    "commands:\n"
    "  dump FILE                 print a track file as text, one key a line\n"
    "  build TEXT -o FILE        write a track file from text (TEXT '-' reads standard input)\n"
    "  value FILE ROW [ROW...]   the track's value at each row\n"
    "  plot FILE... -o OUT.png   the tracks' curves over rows, as a picture\n"
    "\n"
    "'zirbelon-tracks COMMAND --help' tells more about each.\n";

constexpr std::string_view DUMP_HELP =
    "usage: zirbelon-tracks dump FILE\n"
    "\n"
    "Prints the keys of a track file as the presentation reads them, one\n"
    "'ROW VALUE KIND' line each, KIND as its number (0 hold, 1 linear,\n"
    "2 smoothstep, 3 quadratic, any other number evaluates to 0). VALUE reads back\n"
    "to the same float. 'build' turns the output back into the same file.\n"
    "Notes on standard error tell when the file holds fewer keys than its count,\n"
    "bytes after its last key, or rows that do not ascend.\n";

constexpr std::string_view BUILD_HELP =
    "usage: zirbelon-tracks build TEXT -o FILE\n"
    "\n"
    "Writes the track file FILE from the text TEXT ('-' for standard input).\n"
    "Each line holds ROW VALUE KIND separated by blanks; '#' starts a comment.\n"
    "  ROW    a signed 32-bit integer; rows must strictly ascend\n"
    "  VALUE  a float: decimal, inf, -inf, nan, -nan, or nan(0xBITS) for another NaN\n"
    "  KIND   hold, linear, smoothstep, quadratic, or a number from -128 to 127\n"
    "The kind of a key shapes the interval from that key to the next.\n"
    "FILE is replaced whole or not at all: on any error it is left as it was.\n";

constexpr std::string_view VALUE_HELP =
    "usage: zirbelon-tracks value FILE ROW [ROW...]\n"
    "\n"
    "Prints the track's value at each row (music seconds x 20), one line each,\n"
    "with 17 significant digits. FILE is named BASE_NAME.track; it is loaded\n"
    "through a track set with base BASE and track NAME, split at the last '_' of\n"
    "the file's name: assets/sync_cam.dist.track is base assets/sync, track\n"
    "cam.dist. Rows are numbers with a fraction, negative ones included.\n";

constexpr std::string_view PLOT_HELP =
    "usage: zirbelon-tracks plot FILE... -o OUT.png [--size WxH] [--from ROW] [--to ROW]\n"
    "\n"
    "Draws each track's value over rows (music seconds x 20) as the presentation\n"
    "evaluates it, one colour per track with a legend naming it. Each key is\n"
    "marked by its kind: a square for hold, a diamond for linear, a disc for\n"
    "smoothstep, a triangle for quadratic, a cross for any other kind (whose\n"
    "interval evaluates to 0). Rows run along the bottom and seconds along the\n"
    "top; a thin line marks every 4/4 bar (40 rows at 120 beats a minute), a\n"
    "stronger one every 4 bars, fainter ones the beats when there is room; the\n"
    "title's rows 1280 to 1360 are shaded.\n"
    "\n"
    "  FILE        a track file named BASE_NAME.track, loaded as 'value' loads it\n"
    "  -o OUT.png  the picture; replaced whole or not at all\n"
    "  --size WxH  its size in pixels (default 1200x600; 320x200 to 8192x8192)\n"
    "  --from ROW  the first row shown (default: a little before the first key)\n"
    "  --to ROW    the last row shown (default: a little after the last key)\n"
    "The value axis spans the values shown, with a little room.\n";

enum Status { STATUS_OK = 0, STATUS_FAILED = 1, STATUS_USAGE = 2 };

int fail(const std::string& message, Status status = STATUS_FAILED) {
    std::fprintf(stderr, "%.*s: %s\n", int(TOOL.size()), TOOL.data(), message.c_str());
    if (status == STATUS_USAGE)
        std::fprintf(stderr, "Try '%.*s --help'.\n", int(TOOL.size()), TOOL.data());
    return status;
}

void note(const std::string& message) {
    std::fprintf(stderr, "%.*s: note: %s\n", int(TOOL.size()), TOOL.data(), message.c_str());
}

bool is_help(std::string_view arg) { return arg == "--help" || arg == "-h"; }

bool wants_help(const std::vector<std::string_view>& args) {
    for (std::string_view arg : args)
        if (is_help(arg)) return true;
    return false;
}

int print_help(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return STATUS_OK;
}

std::string system_error() { return std::strerror(errno); }

std::optional<std::string> file_read(const std::string& path, std::string& error) {
    std::FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot open " + path + ": " + system_error();
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
    const bool failed = std::ferror(file);
    if (file != stdin) std::fclose(file);
    if (failed) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    return content;
}

// dump reads through the track set like the presentation does; the set asks
// for its own composed path, which this open swaps for the file being dumped.
std::string g_dump_path;

void* dump_open(const char*, const char* mode) { return std::fopen(g_dump_path.c_str(), mode); }

int command_dump(const std::vector<std::string_view>& args) {
    if (wants_help(args)) return print_help(DUMP_HELP);
    if (args.size() != 1) return fail("dump takes one FILE", STATUS_USAGE);
    const std::string path(args[0]);

    // The count field itself, only to say when the file falls short of it.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return fail("cannot open " + path + ": " + system_error());
    unsigned char count_field[8] = {};
    const bool has_count = std::fread(count_field, 8, 1, file) == 1;
    std::fclose(file);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return fail("cannot read " + path + ": " + ec.message());

    TrackSetPtr set = trackset_create("dump");
    if (!set) return fail("out of memory");
    set->file_ops.open = dump_open;
    g_dump_path = path;
    Track* track = trackset_get_track(*set, "file");
    if (!track) return fail("out of memory");

    const size_t keys = track->keys.size();
    const int32_t promised = int32_t(uint32_t(count_field[0]) | uint32_t(count_field[1]) << 8 |
                                     uint32_t(count_field[2]) << 16 | uint32_t(count_field[3]) << 24);
    if (!has_count)
        note(path + " is shorter than its 8-byte count field; it holds no keys");
    else if (promised < 0)
        note(path + " has a negative count (" + std::to_string(promised) + "); it holds no keys");
    else if (size_t(promised) > keys)
        note(path + " promises " + std::to_string(promised) + " keys but holds " + std::to_string(keys) +
             " whole");
    const uintmax_t used = has_count ? 8 + 9 * uintmax_t(keys) : 0;
    if (has_count && size > used)
        note(path + " has " + std::to_string(size - used) + " bytes after its last key; they are not read");
    for (size_t i = 1; i < keys; ++i)
        if (track->keys[i].row <= track->keys[i - 1].row) {
            note("rows do not ascend at key " + std::to_string(i) + " (row " + std::to_string(track->keys[i].row) +
                 "); 'build' will refuse this text");
            break;
        }

    const std::string text = track_text_format(track->keys);
    std::fwrite(text.data(), 1, text.size(), stdout);
    trackset_destroy(std::move(set));
    if (std::fflush(stdout) != 0) return fail("cannot write the output: " + system_error());
    return STATUS_OK;
}

int command_build(const std::vector<std::string_view>& args) {
    if (wants_help(args)) return print_help(BUILD_HELP);
    std::optional<std::string> input, output;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") {
            if (i + 1 == args.size()) return fail(std::string(args[i]) + " needs a FILE", STATUS_USAGE);
            if (output) return fail("build takes one -o FILE", STATUS_USAGE);
            output = std::string(args[++i]);
        } else if (args[i].starts_with("-") && args[i] != "-") {
            return fail("unknown option " + std::string(args[i]), STATUS_USAGE);
        } else {
            if (input) return fail("build takes one TEXT", STATUS_USAGE);
            input = std::string(args[i]);
        }
    }
    if (!input || !output) return fail("build needs TEXT and -o FILE", STATUS_USAGE);

    std::string error;
    const auto text = file_read(*input, error);
    if (!text) return fail(error);
    const TrackText parsed = track_text_parse(*text);
    if (parsed.error_line != 0)
        return fail((*input == "-" ? std::string("<stdin>") : *input) + ":" + std::to_string(parsed.error_line) +
                    ": " + parsed.error);
    if (!atomic_file_write(*output, track_file_encode(parsed.keys), error)) return fail(error);
    return STATUS_OK;
}

// A track file loaded as the presentation loads its tracks: through a track
// set whose base and track name compose the file's own path.
struct LoadedTrack {
    TrackSetPtr set;
    const Track* track = nullptr;
    std::string name;
};

// The set shows a missing file as an empty track; the tool says so instead.
// Returns the status of the failure after reporting it, or STATUS_OK.
int track_file_load(const std::string& path, LoadedTrack& loaded) {
    const auto split = track_file_name_split(path);
    if (!split) return fail(path + " is not named BASE_NAME.track", STATUS_USAGE);
    if (path.size() > TRACK_PATH_MAX)
        return fail(path + " is longer than " + std::to_string(TRACK_PATH_MAX) +
                    " characters; the track set does not open it");
    std::FILE* probe = std::fopen(path.c_str(), "rb");
    if (!probe) return fail("cannot open " + path + ": " + system_error());
    std::fclose(probe);

    loaded.set = trackset_create(split->base);
    if (!loaded.set) return fail("out of memory");
    loaded.track = trackset_get_track(*loaded.set, split->name);
    if (!loaded.track) return fail("out of memory");
    loaded.name = split->name;
    return STATUS_OK;
}

// A row as typed: a number with a fraction, an optional sign.
std::optional<double> row_parse(std::string_view text) {
    if (text.size() > 1 && text[0] == '+') text.remove_prefix(1);
    double row = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), row);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return row;
}

int command_value(const std::vector<std::string_view>& args) {
    if (wants_help(args)) return print_help(VALUE_HELP);
    if (args.size() < 2) return fail("value takes FILE and at least one ROW", STATUS_USAGE);
    std::vector<double> rows;
    for (size_t i = 1; i < args.size(); ++i) {
        const auto row = row_parse(args[i]);
        if (!row) return fail("row '" + std::string(args[i]) + "' is not a number", STATUS_USAGE);
        rows.push_back(*row);
    }

    LoadedTrack loaded;
    if (const int status = track_file_load(std::string(args[0]), loaded); status != STATUS_OK) return status;
    for (double row : rows) std::printf("%.17g\n", track_value(*loaded.track, row));
    trackset_destroy(std::move(loaded.set));
    if (std::fflush(stdout) != 0) return fail("cannot write the output: " + system_error());
    return STATUS_OK;
}

// "WxH" within the sizes a plot takes.
std::optional<std::pair<int32_t, int32_t>> size_parse(std::string_view text) {
    const size_t cross = text.find('x');
    if (cross == std::string_view::npos) return std::nullopt;
    int32_t width = 0, height = 0;
    const char* middle = text.data() + cross;
    const char* end = text.data() + text.size();
    const auto [width_end, width_ec] = std::from_chars(text.data(), middle, width);
    const auto [height_end, height_ec] = std::from_chars(middle + 1, end, height);
    if (width_ec != std::errc() || width_end != middle || height_ec != std::errc() || height_end != end)
        return std::nullopt;
    if (width < PLOT_WIDTH_MIN || width > PLOT_SIDE_MAX || height < PLOT_HEIGHT_MIN || height > PLOT_SIDE_MAX)
        return std::nullopt;
    return std::pair{width, height};
}

int command_plot(const std::vector<std::string_view>& args) {
    if (wants_help(args)) return print_help(PLOT_HELP);
    std::vector<std::string> paths;
    std::optional<std::string> output;
    PlotRequest request;
    bool sized = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool takes_value =
            arg == "-o" || arg == "--output" || arg == "--size" || arg == "--from" || arg == "--to";
        if (takes_value && i + 1 == args.size()) return fail(std::string(arg) + " needs a value", STATUS_USAGE);
        if (arg == "-o" || arg == "--output") {
            if (output) return fail("plot takes one -o OUT.png", STATUS_USAGE);
            output = std::string(args[++i]);
        } else if (arg == "--size") {
            if (sized) return fail("plot takes one --size", STATUS_USAGE);
            const auto size = size_parse(args[++i]);
            if (!size)
                return fail("--size takes WxH from " + std::to_string(PLOT_WIDTH_MIN) + "x" +
                                std::to_string(PLOT_HEIGHT_MIN) + " to " + std::to_string(PLOT_SIDE_MAX) + "x" +
                                std::to_string(PLOT_SIDE_MAX) + ", not '" + std::string(args[i]) + "'",
                            STATUS_USAGE);
            std::tie(request.width, request.height) = *size;
            sized = true;
        } else if (arg == "--from" || arg == "--to") {
            std::optional<double>& end = arg == "--from" ? request.from : request.to;
            if (end) return fail("plot takes one " + std::string(arg), STATUS_USAGE);
            end = row_parse(args[++i]);
            // Keys stand on 32-bit rows; rows far beyond them show nothing new.
            if (!end || !std::isfinite(*end) || std::abs(*end) > 2147483648.0)
                return fail(std::string(arg) + " takes a row from -2147483648 to 2147483648, not '" +
                                std::string(args[i]) + "'",
                            STATUS_USAGE);
        } else if (arg.starts_with("-") && arg != "-") {
            return fail("unknown option " + std::string(arg), STATUS_USAGE);
        } else {
            paths.emplace_back(arg);
        }
    }
    if (paths.empty()) return fail("plot needs at least one FILE", STATUS_USAGE);
    if (!output) return fail("plot needs -o OUT.png", STATUS_USAGE);
    if (request.from && request.to && !(*request.to - *request.from >= PLOT_SPAN_MIN))
        return fail("--to must lie at least 0.001 rows after --from", STATUS_USAGE);

    std::vector<LoadedTrack> loaded(paths.size());
    for (size_t i = 0; i < paths.size(); ++i)
        if (const int status = track_file_load(paths[i], loaded[i]); status != STATUS_OK) return status;
    std::vector<PlotCurve> curves;
    for (size_t i = 0; i < paths.size(); ++i) {
        // The track's name, unless another file has the same one.
        bool shared = false;
        for (size_t j = 0; j < paths.size(); ++j) shared |= j != i && loaded[j].name == loaded[i].name;
        curves.push_back({shared ? paths[i] : loaded[i].name, loaded[i].track});
        const std::vector<Keyframe>& keys = loaded[i].track->keys;
        if (keys.empty()) note(paths[i] + " holds no keys; its curve is 0");
        size_t unmarked = 0;
        for (const Keyframe& key : keys) unmarked += !std::isfinite(key.value);
        if (unmarked > 0)
            note(paths[i] + " has " + std::to_string(unmarked) +
                 " keys whose values are not finite; they are not marked and their curve breaks there");
    }

    const Plot plot = track_plot(curves, request);
    const std::vector<uint8_t> png = raster_png_encode(plot.image);
    if (png.empty()) return fail("cannot encode the picture for " + *output);
    std::string error;
    if (!atomic_file_write(*output, png, error)) return fail(error);
    for (LoadedTrack& track : loaded) trackset_destroy(std::move(track.set));
    return STATUS_OK;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) return fail("no command given", STATUS_USAGE);
    const std::string_view command = args.front();
    args.erase(args.begin());
    if (is_help(command) || command == "help") return print_help(USAGE);
    if (command == "dump") return command_dump(args);
    if (command == "build") return command_build(args);
    if (command == "value") return command_value(args);
    if (command == "plot") return command_plot(args);
    return fail("unknown command '" + std::string(command) + "'", STATUS_USAGE);
}
