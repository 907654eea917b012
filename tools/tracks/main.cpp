// zirbelon-tracks: writes track files from text, shows them as text, gives a
// track's value at rows and draws tracks as a picture, reading each file the
// way the presentation's track set reads it.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/common/cli.h"
#include "tools/common/files.h"
#include "tools/pictures/raster_png.h"
#include "tools/pictures/track_plot.h"
#include "tracks/track_text.h"
#include "tracks/track_file.h"
#include "tracks/tracks.h"

namespace {

constexpr std::string_view TOOL = "zirbelon-tracks";
// A text of ten million keys is about 200 MB.
constexpr uint64_t TEXT_BYTES_MAX = uint64_t(1) << 30;

// A row as typed: a number with a fraction, an optional sign.
bool take_row(std::string_view text, std::vector<double>& rows, std::string& error) {
    double row = 0.0;
    if (!cli_number(text, row)) {
        error = "row " + text_quote(text) + " is not a number";
        return false;
    }
    rows.push_back(row);
    return true;
}

// Tracks named on the command line: the presentation reads NAME from
// BASE_NAME.track, so a file of another name is not a track of it.
bool track_load_named(const CliCommand& command, const std::string& path, TrackFileContents& contents,
                      std::string& name, int& status) {
    const auto split = track_file_name_split(path);
    if (!split) {
        status = cli_usage_error(command, path + " is not named BASE_NAME.track");
        return false;
    }
    std::string error;
    if (!track_file_load(path, contents, error)) {
        status = cli_failure(command, error);
        return false;
    }
    name = split->name;
    return true;
}

int command_dump(std::span<const std::string_view> args) {
    std::vector<std::string> files;
    const CliCommand command{
        .tool = TOOL,
        .name = "dump",
        .usage = {"FILE"},
        .description = "Prints the keys of a track file as the presentation reads them, one\n"
                       "'ROW VALUE KIND' line each, KIND as its number (0 hold, 1 linear,\n"
                       "2 smoothstep, 3 quadratic, any other number evaluates to 0). VALUE reads back\n"
                       "to the same float. 'build' turns the output back into the same file.\n"
                       "Notes on standard error tell when the file holds fewer keys than its count,\n"
                       "bytes after its last key, or rows that do not ascend.\n",
        .options = {},
        .operand = [&](std::string_view file, std::string&) {
            files.emplace_back(file);
            return true;
        },
    };
    if (const auto done = cli_parse(command, args)) return *done;
    if (files.size() != 1) return cli_usage_error(command, "dump takes one FILE");
    const std::string& path = files[0];

    TrackFileContents contents;
    std::string error;
    if (!track_file_load(path, contents, error)) return cli_failure(command, error);
    const size_t keys = contents.keys.size();
    if (!contents.has_count)
        cli_note(command, path + " is shorter than its 8-byte count field; it holds no keys");
    else if (contents.count < 0)
        cli_note(command, path + " has a negative count (" + std::to_string(contents.count) + "); it holds no keys");
    else if (size_t(contents.count) > keys)
        cli_note(command, path + " promises " + std::to_string(contents.count) + " keys but holds " +
                              std::to_string(keys) + " whole");
    const uint64_t used = contents.has_count ? TRACK_FILE_COUNT_BYTES + TRACK_FILE_KEY_BYTES * uint64_t(keys) : 0;
    if (contents.has_count && contents.size > used)
        cli_note(command, path + " has " + std::to_string(contents.size - used) +
                              " bytes after its last key; they are not read");
    for (size_t i = 1; i < keys; ++i)
        if (contents.keys[i].row <= contents.keys[i - 1].row) {
            cli_note(command, "rows do not ascend at key " + std::to_string(i) + " (row " +
                                  std::to_string(contents.keys[i].row) + "); 'build' will refuse this text");
            break;
        }

    return cli_stdout_print(command, track_text_format(contents.keys));
}

int command_build(std::span<const std::string_view> args) {
    std::vector<std::string> inputs;
    std::string output;
    const CliCommand command{
        .tool = TOOL,
        .name = "build",
        .usage = {"TEXT -o FILE"},
        .description = "Writes the track file FILE from the text TEXT ('-' for standard input).\n"
                       "Each line holds ROW VALUE KIND separated by blanks; '#' starts a comment.\n"
                       "  ROW    a signed 32-bit integer; rows must strictly ascend\n"
                       "  VALUE  a float: decimal, inf, -inf, nan, -nan, or nan(0xBITS) for another NaN\n"
                       "  KIND   hold, linear, smoothstep, quadratic, or a number from -128 to 127\n"
                       "The kind of a key shapes the interval from that key to the next.\n"
                       "FILE is replaced whole or not at all: on any error it is left as it was.\n",
        .options = {{"-o, --output", "FILE", "the track file to write ('-' for standard output)",
                     cli_take_string(output), true}},
        .operand = [&](std::string_view text, std::string&) {
            inputs.emplace_back(text);
            return true;
        },
    };
    if (const auto done = cli_parse(command, args)) return *done;
    if (inputs.size() > 1) return cli_usage_error(command, "build takes one TEXT");
    if (inputs.empty() || output.empty()) return cli_usage_error(command, "build needs TEXT and -o FILE");
    const std::string& input = inputs[0];

    std::string error;
    Output target;
    if (!output_prepare(output, target, error)) return cli_failure(command, error);
    std::string text;
    if (!input_read_text(input, TEXT_BYTES_MAX, text, error)) return cli_failure(command, error);
    const TrackText parsed = track_text_parse(text);
    if (parsed.error_line != 0)
        return cli_failure(command, (input == "-" ? std::string("<stdin>") : input) + ":" +
                                        std::to_string(parsed.error_line) + ": " + parsed.error);
    if (!output_write(target, track_file_encode(parsed.keys), error)) return cli_failure(command, error);
    return CLI_OK;
}

int command_value(std::span<const std::string_view> args) {
    std::optional<std::string> file;
    std::vector<double> rows;
    const CliCommand command{
        .tool = TOOL,
        .name = "value",
        .usage = {"FILE ROW [ROW...]"},
        .description = "Prints the track's value at each row (music seconds x 20), one line each,\n"
                       "with 17 significant digits, as the presentation evaluates it. FILE is\n"
                       "named BASE_NAME.track, the name the presentation reads track NAME from.\n"
                       "Rows are numbers with a fraction, negative ones included.\n",
        .options = {},
        .operand = [&](std::string_view text, std::string& error) {
            if (file) return take_row(text, rows, error);
            file = std::string(text);
            return true;
        },
    };
    if (const auto done = cli_parse(command, args)) return *done;
    if (!file || rows.empty()) return cli_usage_error(command, "value takes FILE and at least one ROW");

    TrackFileContents contents;
    std::string name;
    int status = CLI_OK;
    if (!track_load_named(command, *file, contents, name, status)) return status;
    const Track track{name, std::move(contents.keys)};
    std::string text;
    for (double row : rows) {
        char line[40];
        std::snprintf(line, sizeof line, "%.17g\n", track_value(track, row));
        text += line;
    }
    return cli_stdout_print(command, text);
}

int command_plot(std::span<const std::string_view> args) {
    std::vector<std::string> paths;
    std::string output;
    PlotRequest request;
    double from = 0.0, to = 0.0;
    bool has_from = false, has_to = false;
    const auto take_edge = [](double& edge, bool& given) {
        return [&edge, &given](std::string_view text, std::string& error) {
            // Keys stand on 32-bit rows; rows far beyond them show nothing new.
            if (!cli_number(text, edge) || std::abs(edge) > 2147483648.0) {
                error = "takes a row from -2147483648 to 2147483648, not " + text_quote(text);
                return false;
            }
            given = true;
            return true;
        };
    };
    const std::string size_text = "WxH from " + std::to_string(PLOT_WIDTH_MIN) + "x" +
                                  std::to_string(PLOT_HEIGHT_MIN) + " to " + std::to_string(PLOT_SIDE_MAX) + "x" +
                                  std::to_string(PLOT_SIDE_MAX);
    const CliCommand command{
        .tool = TOOL,
        .name = "plot",
        .usage = {"FILE... -o OUT.png [--size WxH] [--from ROW] [--to ROW]"},
        .description = "Draws each track's value over rows (music seconds x 20) as the presentation\n"
                       "evaluates it, one colour per track with a legend naming it. Each key is\n"
                       "marked by its kind where markers fit: a square for hold, a diamond for\n"
                       "linear, a disc for smoothstep, a triangle for quadratic, a cross for any\n"
                       "other kind (whose interval evaluates to 0). Where keys are denser than\n"
                       "pixels, each column shows the span of values the curve takes in it. Rows\n"
                       "run along the bottom and seconds along the top; a thin line marks every\n"
                       "bar of the tune, a stronger one every 4 bars, fainter ones the beats when\n"
                       "there is room; the title's rows are shaded. Each FILE is a track file\n"
                       "named BASE_NAME.track. The value axis spans the values shown.\n",
        .options =
            {
                {"-o, --output", "OUT.png", "the picture ('-' for standard output); replaced whole or not at all",
                 cli_take_string(output), true},
                {"--size", "WxH", "its size in pixels (default 1200x600; 320x200 to 8192x8192)",
                 [&](std::string_view text, std::string& error) {
                     if (cli_size(text, PLOT_SIDE_MAX, request.width, request.height) &&
                         request.width >= PLOT_WIDTH_MIN && request.height >= PLOT_HEIGHT_MIN)
                         return true;
                     error = "takes " + size_text + ", not " + text_quote(text);
                     return false;
                 },
                 true},
                {"--from", "ROW", "the first row shown (default: a little before the first key)",
                 take_edge(from, has_from), true},
                {"--to", "ROW", "the last row shown (default: a little after the last key)", take_edge(to, has_to),
                 true},
            },
        .operand = [&](std::string_view path, std::string&) {
            paths.emplace_back(path);
            return true;
        },
    };
    if (const auto done = cli_parse(command, args)) return *done;
    if (paths.empty()) return cli_usage_error(command, "plot needs at least one FILE");
    if (output.empty()) return cli_usage_error(command, "plot needs -o OUT.png");
    if (has_from) request.from = from;
    if (has_to) request.to = to;
    if (has_from && has_to && !(to - from >= PLOT_SPAN_MIN))
        return cli_usage_error(command, "--to must lie at least 0.001 rows after --from");

    std::string error;
    Output target;
    if (!output_prepare(output, target, error)) return cli_failure(command, error);
    std::vector<Track> tracks(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        TrackFileContents contents;
        int status = CLI_OK;
        if (!track_load_named(command, paths[i], contents, tracks[i].name, status)) return status;
        tracks[i].keys = std::move(contents.keys);
    }
    std::vector<PlotCurve> curves;
    for (size_t i = 0; i < paths.size(); ++i) {
        // The track's name, unless another file has the same one.
        bool shared = false;
        for (size_t j = 0; j < paths.size(); ++j) shared |= j != i && tracks[j].name == tracks[i].name;
        curves.push_back({shared ? paths[i] : tracks[i].name, &tracks[i]});
        if (tracks[i].keys.empty()) cli_note(command, paths[i] + " holds no keys; its curve is 0");
        size_t unmarked = 0;
        for (const Keyframe& key : tracks[i].keys) unmarked += !std::isfinite(key.value);
        if (unmarked > 0)
            cli_note(command, paths[i] + " has " + std::to_string(unmarked) +
                                  " keys whose values are not finite; they are not marked and their curve breaks "
                                  "there");
    }

    const Plot plot = track_plot(curves, request);
    const std::vector<uint8_t> png = raster_png_encode(plot.image);
    if (png.empty()) return cli_failure(command, "cannot encode the picture for " + output);
    if (!output_write(target, png, error)) return cli_failure(command, error);
    return CLI_OK;
}

constexpr CliSubcommand COMMANDS[] = {
    {"dump", "FILE", "print a track file as text, one key a line", command_dump},
    {"build", "TEXT -o FILE", "write a track file from text ('-' reads standard input)", command_build},
    {"value", "FILE ROW [ROW...]", "the track's value at each row", command_value},
    {"plot", "FILE... -o OUT.png", "the tracks' curves over rows, as a picture", command_plot},
};

}  // namespace

int main(int argc, char** argv) {
    return cli_tool_main({TOOL, "Track files: the keyframes the presentation reads at start-up.\n", COMMANDS}, argc,
                         argv);
}
