// zirbelon-synth: renders a score to a 44.1 kHz 16-bit stereo WAV file.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/synth/score.h"
#include "tools/synth/song.h"
#include "tools/synth/wav.h"

namespace {

constexpr std::string_view USAGE =
    "usage: zirbelon-synth SCORE -o OUT.wav\n"
    "\n"
    "Renders the score SCORE (a text file) to OUT.wav, 44.1 kHz 16-bit stereo.\n"
    "The same score always gives the same file. Progress goes to standard error.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE   the WAV file to write\n"
    "  -q, --quiet         no progress\n"
    "  -h, --help          this text\n";

// A score is a short text; anything bigger is not one (or never ends, like a device).
constexpr size_t SCORE_BYTES_MAX = 4u << 20;

enum Status { STATUS_OK = 0, STATUS_FAILED = 1, STATUS_USAGE = 2 };

int fail(const std::string& message, Status status = STATUS_FAILED) {
    std::fprintf(stderr, "zirbelon-synth: %s\n", message.c_str());
    if (status == STATUS_USAGE) std::fprintf(stderr, "Try 'zirbelon-synth --help'.\n");
    return status;
}

std::optional<std::string> file_read(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0 && content.size() <= SCORE_BYTES_MAX)
        content.append(buffer, got);
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (content.size() > SCORE_BYTES_MAX) {
        error = path + " is larger than a score can be (4 MiB)";
        return std::nullopt;
    }
    if (failed) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    return content;
}

bool file_write(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> input, output;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fwrite(USAGE.data(), 1, USAGE.size(), stdout);
            return STATUS_OK;
        }
        if (arg == "-q" || arg == "--quiet") {
            quiet = true;
        } else if (arg == "-o" || arg == "--output") {
            if (i + 1 == argc) return fail(std::string(arg) + " needs a FILE", STATUS_USAGE);
            if (output) return fail("only one -o FILE", STATUS_USAGE);
            output = argv[++i];
        } else if (arg.starts_with("-") && arg != "-") {
            return fail("unknown option " + std::string(arg), STATUS_USAGE);
        } else {
            if (input) return fail("only one SCORE", STATUS_USAGE);
            input = std::string(arg);
        }
    }
    if (!input || !output) return fail("needs SCORE and -o OUT.wav", STATUS_USAGE);

    std::string error;
    const std::optional<std::string> text = file_read(*input, error);
    if (!text) return fail(error);
    const ScoreParse parsed = score_parse(*text);
    if (parsed.error_line != 0) return fail(*input + ":" + std::to_string(parsed.error_line) + ": " + parsed.error);

    const SongProgress progress = [quiet](std::string_view name, size_t index, size_t count) {
        if (!quiet)
            std::fprintf(stderr, "zirbelon-synth: %zu/%zu %.*s\n", index + 1, count, int(name.size()), name.data());
    };
    const StereoBuffer audio = song_render(parsed.score, progress);
    if (!file_write(*output, wav_encode(audio), error)) return fail(error);
    if (!quiet)
        std::fprintf(stderr, "zirbelon-synth: wrote %s, %.3f s\n", output->c_str(),
                     double(audio.left.size()) / SAMPLE_RATE);
    return STATUS_OK;
}
