// zirbelon-tracks: writes track files from text, shows them as text, and gives
// a track's value at rows, reading through the same track set as the
// presentation.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "track_text.h"
#include "tracks.h"

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

// Writes beside the target and renames over it, so a reader never sees half a
// file and a failure leaves the old file in place.
bool file_write_atomic(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error) {
    std::random_device random;
    std::string temp;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < 16 && !file; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".tmp%08x", unsigned(random()));
        temp = path + suffix;
        file = std::fopen(temp.c_str(), "wbx");  // never reuses a file that is there
        if (!file && errno != EEXIST) break;
    }
    if (!file) {
        error = "cannot write " + path + ": " + system_error();
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool flushed = std::fflush(file) == 0;
    const int saved_errno = errno;
    const bool closed = std::fclose(file) == 0;
    std::error_code ec;
    if (!written || !flushed || !closed) {
        errno = saved_errno;
        error = "cannot write " + path + ": " + system_error();
        std::filesystem::remove(temp, ec);
        return false;
    }
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        error = "cannot replace " + path + ": " + ec.message();
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
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
    if (!file_write_atomic(*output, track_file_encode(parsed.keys), error)) return fail(error);
    return STATUS_OK;
}

int command_value(const std::vector<std::string_view>& args) {
    if (wants_help(args)) return print_help(VALUE_HELP);
    if (args.size() < 2) return fail("value takes FILE and at least one ROW", STATUS_USAGE);
    const std::string path(args[0]);
    const auto split = track_file_name_split(path);
    if (!split) return fail(path + " is not named BASE_NAME.track", STATUS_USAGE);
    if (path.size() > TRACK_PATH_MAX)
        return fail(path + " is longer than " + std::to_string(TRACK_PATH_MAX) +
                    " characters; the track set does not open it");

    std::vector<double> rows;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string_view text = args[i];
        if (text.size() > 1 && text[0] == '+') text.remove_prefix(1);
        double row = 0.0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), row);
        if (ec != std::errc() || end != text.data() + text.size())
            return fail("row '" + std::string(args[i]) + "' is not a number", STATUS_USAGE);
        rows.push_back(row);
    }

    // The set shows a missing file as an empty track; the tool says so instead.
    std::FILE* probe = std::fopen(path.c_str(), "rb");
    if (!probe) return fail("cannot open " + path + ": " + system_error());
    std::fclose(probe);

    TrackSetPtr set = trackset_create(split->base);
    if (!set) return fail("out of memory");
    const Track* track = trackset_get_track(*set, split->name);
    if (!track) return fail("out of memory");
    for (double row : rows) std::printf("%.17g\n", track_value(*track, row));
    trackset_destroy(std::move(set));
    if (std::fflush(stdout) != 0) return fail("cannot write the output: " + system_error());
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
    return fail("unknown command '" + std::string(command) + "'", STATUS_USAGE);
}
