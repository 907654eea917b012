// zirbelon-render sheet: a contact sheet of the whole presentation, one
// picture with thumbnails at even steps of the tune, in reading order, each
// labelled with its music position and row.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "presentation/presentation.h"
#include "tools/common/tune.h"
#include "tools/pictures/raster_font.h"
#include "tools/render/commands.h"
#include "tools/render/options.h"
#include "tools/pictures/png.h"
#include "tools/render/progress.h"
#include "tools/render/render.h"
#include "tools/render/timeline.h"

namespace {

constexpr std::string_view COMMAND = "sheet";
constexpr int64_t THUMBS_MAX = 4096;
constexpr int32_t MARGIN = 10;  // around the sheet
constexpr int32_t GAP = 6;      // between thumbnails
constexpr int32_t LABEL_PAD = 4;  // above and below a label's text
constexpr int32_t LABEL_SCALE_MAX = 3;
// A label's font grows with the thumbnail, a pixel of font for every so many
// of the thumbnail's width, so that it stays legible when the sheet is shown
// shrunk (the README shows the 1978-pixel default at about half).
constexpr int32_t THUMB_WIDTH_PER_SCALE = 80;
constexpr int32_t HEADER_SCALE_MAX = 4;
constexpr double SECONDS_MAX = 86400.0;

constexpr Color BACKGROUND{24, 24, 28, 255};
constexpr Color TEXT{220, 220, 220, 255};
constexpr Color TITLE_TEXT{255, 190, 60, 255};  // labels of the title scene's frames

struct SheetOptions {
    std::string output;
    int64_t count = 48;
    double every = 0.0;  // 0: count thumbnails instead
    bool has_count = false;
    int64_t cols = 8;
    double from = 0.0;
    double to = 0.0;
    bool has_to = false;
    bool quiet = false;
    CommonOptions common{.width = 240, .height = 135};  // the thumbnails
};

CliCommand sheet_command(SheetOptions& sheet) {
    CliCommand command{
        .tool = RENDER_TOOL,
        .name = COMMAND,
        .usage = {"-o SHEET.png [--count N | --every S] [--from S] [--to S] [--cols C] [--thumb WxH] [--dir DIR]"},
        .description = "Renders a contact sheet of the whole presentation with no display: one PNG\n"
                       "with thumbnails at even steps over the tune, in reading order, each labelled\n"
                       "with its music position (m:ss.s) and its row. Labels of the title scene's\n"
                       "frames are amber. --from and --to give a part of the tune instead.\n",
        .options =
            {
                {"-o, --output", "OUT", "the PNG to write ('-' for standard output)", cli_take_string(sheet.output)},
                {"--count", "N", "N thumbnails, the first at 0 s, spread evenly over the tune\n(default 48)",
                 [&sheet](std::string_view text, std::string& error) {
                     sheet.has_count = true;
                     return cli_take_integer(sheet.count, 1, THUMBS_MAX)(text, error);
                 }},
                {"--every", "S", "a thumbnail every S seconds from the start instead",
                 cli_take_time(sheet.every, 1e-9, 1e9, "a number of seconds above 0")},
                {"--from", "S", "the first thumbnail's music position (S.s or M:SS.s;\ndefault 0)",
                 cli_take_time(sheet.from, 0.0, SECONDS_MAX, "a music position from 0 to 86400 seconds")},
                {"--to", "S", "the end of the span, not included (default: the end of the\ntune)",
                 [&sheet](std::string_view text, std::string& error) {
                     sheet.has_to = true;
                     return cli_take_time(sheet.to, 0.0, SECONDS_MAX,
                                          "a music position from 0 to 86400 seconds")(text, error);
                 }},
                {"--cols", "C", "thumbnails per line (default 8)", cli_take_integer(sheet.cols, 1, 256)},
                cli_quiet_option(sheet.quiet),
            },
        .operand = nullptr,
    };
    common_options_add(command.options, sheet.common, "--thumb",
                       "a thumbnail's size, which the scenes receive as k\n(default 240x135)");
    return command;
}

// The music positions of the thumbnails over [from, to); empty with error
// when too many.
std::vector<double> thumbnail_seconds(const SheetOptions& sheet, std::string& error) {
    std::vector<double> seconds;
    const double length = sheet.to - sheet.from;
    if (sheet.every > 0.0) {
        for (int64_t k = 0; double(k) * sheet.every < length; ++k) {
            if (k == THUMBS_MAX) {
                error = "--every " + timeline_label(sheet.every) + " gives more than " +
                        std::to_string(THUMBS_MAX) + " thumbnails";
                return {};
            }
            seconds.push_back(sheet.from + double(k) * sheet.every);
        }
    } else {
        for (int64_t k = 0; k < sheet.count; ++k)
            seconds.push_back(sheet.from + length * double(k) / double(sheet.count));
    }
    return seconds;
}

// The labels' layout: one scale for the whole sheet, the time and the row on
// one line where both fit, else on two where the larger font allows, else
// the time alone.
struct LabelLayout {
    int32_t scale;
    int32_t lines;
    int32_t height;
};

LabelLayout label_layout(int32_t width) {
    const int32_t scale = std::clamp(width / THUMB_WIDTH_PER_SCALE, 1, LABEL_SCALE_MAX);
    // The widest labels: a time past ten minutes and a five-digit row.
    const bool one_line = raster_text_width("10:00.0  row 12000.0", scale) <= width;
    const int32_t lines = one_line || scale == 1 ? 1 : 2;
    return {scale, lines, lines * raster_text_height(scale) + (lines + 1) * LABEL_PAD / 2};
}

// The label of a thumbnail, cut to its width by drawing it into a strip of
// that width.
Raster label_strip(int32_t width, const LabelLayout& layout, double seconds, Scene scene) {
    Raster strip = raster_create(width, layout.height, BACKGROUND);
    char row[32];
    std::snprintf(row, sizeof row, "row %.1f", row_from_seconds(seconds));
    const std::string time = timeline_label(seconds);
    const Color color = scene == Scene::title ? TITLE_TEXT : TEXT;
    const int32_t scale = layout.scale;
    const int32_t top = LABEL_PAD / 2 + 1;
    raster_draw_text(strip, 0, top, time, color, scale);
    const int32_t row_width = raster_text_width(row, scale);
    const int32_t space = raster_text_width("  ", scale);
    if (layout.lines == 2)
        raster_draw_text(strip, 0, top + raster_text_height(scale) + LABEL_PAD / 2, row, color, scale);
    else if (raster_text_width(time, scale) + space + row_width <= width)
        raster_draw_text(strip, width - row_width, top, row, color, scale);
    return strip;
}

}  // namespace

int command_sheet(std::span<const std::string_view> args) {
    SheetOptions sheet;
    const CliCommand command = sheet_command(sheet);
    if (const auto done = cli_parse(command, args)) return *done;
    if (sheet.has_count && sheet.every > 0.0) return cli_usage_error(command, "give either --count or --every");
    if (sheet.output.empty()) return cli_usage_error(command, "name the PNG to write with -o SHEET.png");
    std::string error;
    Output target;
    if (!output_prepare(sheet.output, target, error)) return cli_failure(command, error);
    const int32_t thumb_width = sheet.common.width;
    const int32_t thumb_height = sheet.common.height;
    const std::filesystem::path dir = sheet.common.dir;
    SyncTracks tracks;
    if (!sync_tracks_load(dir, tracks, error)) return cli_failure(command, error);
    double length = 0.0;
    if (!tune_length(dir / TUNE_FILE, length, error)) return cli_failure(command, error);
    if (!sheet.has_to) sheet.to = length;
    if (!(sheet.to > sheet.from))
        return cli_failure(command, "the span " + timeline_label(sheet.from) + " to " + timeline_label(sheet.to) +
                                        " holds no thumbnail (the tune lasts " + timeline_label(length) + ")");
    const std::vector<double> seconds = thumbnail_seconds(sheet, error);
    if (seconds.empty()) return cli_failure(command, error);

    // The layout: a header line, then the thumbnails with their labels below.
    const int64_t count = int64_t(seconds.size());
    const int64_t cols = std::min<int64_t>(sheet.cols, count);
    const int64_t lines = (count + cols - 1) / cols;
    const int64_t cell_width = thumb_width + GAP;
    const LabelLayout labels = label_layout(thumb_width);
    const int64_t cell_height = thumb_height + labels.height + GAP;
    const int32_t header_scale_wanted = std::clamp(labels.scale + 1, 2, HEADER_SCALE_MAX);
    const int64_t header_height = raster_text_height(header_scale_wanted) + 2 * GAP;
    const int64_t width = 2 * MARGIN + cols * cell_width - GAP;
    const int64_t height = 2 * MARGIN + header_height + lines * cell_height - GAP;
    if (width > SIZE_MAX_SIDE || height > SIZE_MAX_SIDE)
        return cli_failure(command, "the sheet would be " + std::to_string(width) + "x" + std::to_string(height) +
                                      " pixels, more than " + std::to_string(SIZE_MAX_SIDE) +
                                      " a side: ask for fewer or smaller thumbnails");

    RendererPtr renderer = renderer_create_from_options(sheet.common, error);
    if (!renderer) return cli_failure(command, error);

    Raster picture = raster_create(int32_t(width), int32_t(height), BACKGROUND);
    char header[200];
    const double step = count > 1 ? seconds[1] - seconds[0] : sheet.to - sheet.from;
    if (sheet.from > 0.0 || sheet.has_to)
        std::snprintf(header, sizeof header, "%s %s to %s of %s: %lld frames, one every %.2f s", TUNE_FILE,
                      timeline_label(sheet.from).c_str(), timeline_label(sheet.to).c_str(),
                      timeline_label(length).c_str(), (long long)count, step);
    else
        std::snprintf(header, sizeof header, "%s %s: %lld frames, one every %.2f s", TUNE_FILE,
                      timeline_label(length).c_str(), (long long)count, step);
    int32_t header_scale = header_scale_wanted;
    while (header_scale > 1 && MARGIN + raster_text_width(header, header_scale) > picture.width) --header_scale;
    raster_draw_text(picture, MARGIN, MARGIN + GAP, header, TEXT, header_scale);

    Progress progress = progress_start("thumbnails", count, sheet.quiet);
    for (int64_t k = 0; k < count; ++k) {
        const int32_t x = int32_t(MARGIN + k % cols * cell_width);
        const int32_t y = int32_t(MARGIN + header_height + k / cols * cell_height);
        const RowFrame shown = row_frame(tracks.camera, row_from_seconds(seconds[size_t(k)]));
        raster_blit(picture, renderer_frame(*renderer, shown.scene, shown.values), x, y);
        raster_blit(picture, label_strip(thumb_width, labels, seconds[size_t(k)], shown.scene), x, y + thumb_height);
        progress_update(progress, k + 1);
    }
    progress_finish(progress, count);

    if (!png_write(target, picture, error)) return cli_failure(command, error);
    std::fprintf(target.kind == OutputKind::standard_output ? stderr : stdout, "%s: %lld thumbnails of %dx%d from %s to %s, %lld a line, %lldx%lld\n",
                sheet.output.c_str(), (long long)count, thumb_width, thumb_height,
                timeline_label(seconds.front()).c_str(), timeline_label(seconds.back()).c_str(), (long long)cols, (long long)width, (long long)height);
    return 0;
}
