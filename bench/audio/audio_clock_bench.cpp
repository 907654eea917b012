// Measures the audio layer's clock against a steady silent sink: the audible
// position is polled for some seconds while a tune plays, and the figures that
// matter to the picture are printed: how far it moves per poll, how far it
// strays from a straight line, whether it ever steps back, and how long after
// launch it first moves.
//
// The sink is a PulseAudio null sink started by the bench on a private socket
// (it paces like a sound card), or SDL's dummy driver, which paces by sleeping
// one buffer's time per request and so runs a little fast.
//
// Under AddressSanitizer run it with LSAN_OPTIONS=suppressions=tests/sanitizers/lsan.supp:
// SDL's PulseAudio backend leaves a small libpulse request behind.
#include "bench/support/null_sink.h"
#include "platform/audio.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;


namespace {

constexpr uint32_t FREQUENCY = 44100;

struct Options {
    bool help = false;
    bool null_sink = true;
    double seconds = 5.0;
    std::string trace;  // a file for every poll, when given
};

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: audio_clock_bench [--sink null|dummy] [--seconds S] [--trace FILE]\n"
                 "Plays a tune and measures the audio layer's audible position for S seconds\n"
                 "(default 5) against a PulseAudio null sink (default) or SDL's dummy driver.\n"
                 "--trace writes each poll: seconds since launch, position in seconds, distance\n"
                 "from the straight line in ms.\n");
}

std::optional<Options> options_parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (i + 1 >= argc) return std::nullopt;
        const std::string_view value = argv[++i];
        if (arg == "--sink" && (value == "null" || value == "dummy")) {
            options.null_sink = value == "null";
        } else if (arg == "--trace") {
            options.trace = value;
        } else if (arg == "--seconds") {
            char* end = nullptr;
            options.seconds = std::strtod(argv[i], &end);
            if (*end != '\0' || !(options.seconds > 0.0 && options.seconds <= 60.0)) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

struct Sample {
    double at;       // seconds since launch
    double seconds;  // the position
};

double ms_since(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

}  // namespace

int main(int argc, char** argv) {
    const Clock::time_point launch = Clock::now();
    const std::optional<Options> options = options_parse(argc, argv);
    if (!options) {
        usage(stderr);
        return 2;
    }
    if (options->help) {
        usage(stdout);
        return 0;
    }

    const fs::path dir = fs::temp_directory_path() / ("zirbelon-audio-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    struct DirRemove {
        fs::path dir;
        ~DirRemove() { fs::remove_all(dir); }
    } dir_remove{dir};

    // A tune longer than the measurement, so that it never reaches its end.
    const std::string wav = (dir / "tune.wav").string(), mp3 = (dir / "tune.mp3").string();
    const std::string make = "sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth " +
                             std::to_string(int(options->seconds) + 10) + " sine 441 gain -12 && " +
                             "lame --quiet -q 2 -b 192 '" + wav + "' '" + mp3 + "'";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "audio_clock_bench: sox and lame could not make the tune\n");
        return 1;
    }

    NullSink sink;
    if (options->null_sink) {
        std::fprintf(stderr, "starting a PulseAudio null sink...\n");
        if (!null_sink_start(sink, dir)) {
            std::fprintf(stderr, "audio_clock_bench: no PulseAudio null sink (try --sink dummy)\n");
            return 1;
        }
    } else {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }

    const Clock::time_point start = Clock::now();
    if (!audio_init(AUDIO_DEFAULT_DEVICE, FREQUENCY)) {
        std::fprintf(stderr, "audio_clock_bench: no output device\n");
        return 1;
    }
    const AudioStream stream = audio_stream_create_file(mp3.c_str(), AUDIO_STREAM_PRESCAN);
    if (!stream) {
        std::fprintf(stderr, "audio_clock_bench: the tune does not open\n");
        audio_free();
        return 1;
    }
    audio_start();
    audio_channel_play(stream, false);
    const Clock::time_point play = Clock::now();
    std::fprintf(stderr, "measuring for %.1f s...\n", options->seconds);

    // Poll until the position first moves, then for the measured seconds.
    std::vector<Sample> samples;
    samples.reserve(size_t(options->seconds * 5000) + 1000);
    double first_advance_ms = -1.0, from_start_ms = -1.0, from_play_ms = -1.0;
    const auto give_up = Clock::now() + std::chrono::seconds(10);
    int preempted = 0;
    while (Clock::now() < give_up) {
        const double before = ms_since(launch) / 1000.0;
        const double seconds = audio_channel_bytes_to_seconds(stream, audio_channel_get_position(stream));
        const double after = ms_since(launch) / 1000.0;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        // A poll interrupted by the scheduler has no definite time; leave it out.
        if (after - before > 50e-6) {
            ++preempted;
            continue;
        }
        const double at = (before + after) / 2.0;
        if (first_advance_ms < 0.0 && seconds > 0.0) {
            first_advance_ms = at * 1000.0;
            from_start_ms = ms_since(start);
            from_play_ms = ms_since(play);
        }
        if (first_advance_ms >= 0.0) {
            samples.push_back({at, seconds});
            if (at * 1000.0 - first_advance_ms >= options->seconds * 1000.0) break;
        }
    }
    audio_stream_free(stream);
    audio_free();
    if (samples.size() < 2) {
        std::fprintf(stderr, "audio_clock_bench: the position never moved\n");
        return 1;
    }

    // Steps between successive polls, backward steps, and the least-squares line
    // through all polls.
    std::vector<double> steps;
    int backward = 0;
    double jump = 0.0;
    double sum_t = 0, sum_s = 0, sum_tt = 0, sum_ts = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        sum_t += s.at;
        sum_s += s.seconds;
        sum_tt += s.at * s.at;
        sum_ts += s.at * s.seconds;
        if (i == 0) continue;
        const double step = s.seconds - samples[i - 1].seconds;
        if (step < 0) ++backward;
        if (step > 0) steps.push_back(step * 1000.0);
        // How far a step outruns the time between its polls: a jump.
        jump = std::max(jump, (step - (s.at - samples[i - 1].at)) * 1000.0);
    }
    const double n = double(samples.size());
    const double slope = (n * sum_ts - sum_t * sum_s) / (n * sum_tt - sum_t * sum_t);
    const double offset = (sum_s - slope * sum_t) / n;
    double largest = 0.0, squares = 0.0;
    for (const Sample& s : samples) {
        const double distance = std::abs(s.seconds - (offset + slope * s.at)) * 1000.0;
        largest = std::max(largest, distance);
        squares += distance * distance;
    }
    std::sort(steps.begin(), steps.end());
    if (!options->trace.empty()) {
        FILE* trace = std::fopen(options->trace.c_str(), "w");
        if (!trace) {
            std::fprintf(stderr, "audio_clock_bench: cannot write %s\n", options->trace.c_str());
            return 1;
        }
        for (const Sample& s : samples)
            std::fprintf(trace, "%.6f %.6f %.4f\n", s.at, s.seconds, (s.seconds - (offset + slope * s.at)) * 1000.0);
        std::fclose(trace);
    }

    std::printf("sink                         %s\n", options->null_sink ? "PulseAudio null sink" : "SDL dummy driver");
    std::printf("polls                        %zu over %.2f s (one every %.3f ms)\n", samples.size(),
                samples.back().at - samples.front().at,
                (samples.back().at - samples.front().at) * 1000.0 / (n - 1));
    std::printf("polls left out               %d (interrupted for over 50 us)\n", preempted);
    std::printf("step size                    median %.3f ms, largest %.3f ms (one frame is %.4f ms)\n",
                steps.empty() ? 0.0 : steps[steps.size() / 2], steps.empty() ? 0.0 : steps.back(),
                1000.0 / FREQUENCY);
    std::printf("largest jump                 %.3f ms beyond the time between its polls\n", jump);
    std::printf("distance from straight line  largest %.3f ms, rms %.3f ms\n", largest, std::sqrt(squares / n));
    std::printf("backward steps               %d\n", backward);
    std::printf("pace against monotonic clock %.5f\n", slope);
    std::printf("first advance                %.1f ms after launch, %.1f ms after audio_init, %.1f ms after play\n",
                first_advance_ms, from_start_ms, from_play_ms);
    return 0;
}
