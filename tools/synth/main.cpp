// zirbelon-synth: renders a score to a 44.1 kHz 16-bit stereo WAV file.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/common/cli.h"
#include "tools/common/files.h"
#include "tools/synth/score.h"
#include "tools/synth/song.h"
#include "tools/synth/wav.h"

namespace {

// A score is a short text; anything bigger is not one.
constexpr uint64_t SCORE_BYTES_MAX = 4u << 20;

int synth_run(int argc, char** argv) {
    std::vector<std::string> inputs;
    std::string output;
    bool quiet = false;
    const CliCommand command{
        .tool = "zirbelon-synth",
        .name = "",
        .usage = {"SCORE -o OUT.wav"},
        .description = "Renders the score SCORE (a text file; '-' reads standard input) to OUT.wav,\n"
                       "44.1 kHz 16-bit stereo. The same score always gives the same file. Progress\n"
                       "goes to standard error.\n",
        .options =
            {
                {"-o, --output", "FILE", "the WAV file to write ('-' for standard output)", cli_take_string(output),
                 true},
                cli_quiet_option(quiet),
            },
        .operand = [&](std::string_view score, std::string&) {
            inputs.emplace_back(score);
            return true;
        },
    };
    const std::vector<std::string_view> args = cli_arguments(argc, argv);
    if (const auto done = cli_parse(command, args)) return *done;
    if (inputs.size() > 1) return cli_usage_error(command, "only one SCORE");
    if (inputs.empty() || output.empty()) return cli_usage_error(command, "needs SCORE and -o OUT.wav");
    const std::string& input = inputs[0];

    std::string error;
    Output target;
    if (!output_prepare(output, target, error)) return cli_failure(command, error);
    std::string text;
    if (!input_read_text(input, SCORE_BYTES_MAX, text, error)) return cli_failure(command, error);
    const ScoreParse parsed = score_parse(text);
    if (parsed.error_line != 0)
        return cli_failure(command, (input == "-" ? std::string("<stdin>") : input) + ":" +
                                        std::to_string(parsed.error_line) + ": " + parsed.error);

    const SongProgress progress = [quiet](std::string_view name, size_t index, size_t count) {
        if (!quiet)
            std::fprintf(stderr, "zirbelon-synth: %zu/%zu %.*s\n", index + 1, count, int(name.size()), name.data());
    };
    const StereoBuffer audio = song_render(parsed.score, progress);
    if (!output_write(target, wav_encode(audio), error)) return cli_failure(command, error);
    if (!quiet)
        std::fprintf(stderr, "zirbelon-synth: wrote %s, %.3f s\n", output.c_str(),
                     double(audio.left.size()) / SAMPLE_RATE);
    return CLI_OK;
}

}  // namespace

int main(int argc, char** argv) { return cli_stdout_finish("zirbelon-synth", synth_run(argc, argv)); }
