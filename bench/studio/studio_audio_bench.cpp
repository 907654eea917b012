// Measures the studio's sound against a steady silent sink. Two figures matter
// to a maker watching the picture while the music plays:
//  - how far the audible position strays from a straight line while playing,
//    at each speed (the picture follows it every frame);
//  - how soon after a seek the device is handed samples from the new position:
//    the audible position holds at the seek until that request, then moves.
//
// The sink is a PulseAudio null sink started by the bench on a private socket
// (it paces like a sound card), or SDL's dummy driver, which paces by sleeping
// one buffer's time per request and so runs a little fast.
//
// Under AddressSanitizer run it with LSAN_OPTIONS=suppressions=tests/sanitizers/lsan.supp:
// SDL's PulseAudio backend leaves a small libpulse request behind.
#include "bench/support/null_sink.h"
#include "tools/studio/studio_audio.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fs = std::filesystem;


namespace {

constexpr uint32_t FREQUENCY = 44100;
constexpr double TUNE_SECONDS = 60.0;
// A poll longer than this was interrupted by the scheduler: its time is vague.
constexpr int64_t POLL_MOST_NS = 50'000;
constexpr int SEEKS = 40;

struct Options {
    bool help = false;
    bool null_sink = true;
    double seconds = 5.0;
};

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: studio_audio_bench [--sink null|dummy] [--seconds S]\n"
                 "Plays a tune through the studio's sound and measures its audible position for\n"
                 "S seconds (default 5) at speed 1, S/2 at speeds 2 and 0.5, then %d seeks,\n"
                 "against a PulseAudio null sink (default) or SDL's dummy driver.\n",
                 SEEKS);
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
        } else if (arg == "--seconds") {
            char* end = nullptr;
            options.seconds = std::strtod(argv[i], &end);
            if (*end != '\0' || !(options.seconds > 0.0 && options.seconds <= 25.0)) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// A quiet sine, long enough that no measurement reaches its end.
TunePcm sine_tune() {
    TunePcm tune;
    tune.frequency = FREQUENCY;
    const size_t frames = size_t(TUNE_SECONDS * FREQUENCY);
    tune.samples.resize(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const auto sample = int16_t(4000.0 * std::sin(2.0 * std::numbers::pi * 441.0 * double(i) / FREQUENCY));
        tune.samples[2 * i] = sample;
        tune.samples[2 * i + 1] = sample;
    }
    return tune;
}

struct Sample {
    double at;       // seconds of the monotonic clock
    double seconds;  // the audible position
};

// One poll of the audible position, or nothing when the scheduler interrupted it.
std::optional<Sample> poll(StudioAudio& audio, const Transport& transport) {
    const int64_t before = studio_monotonic_ns();
    const double seconds = studio_audio_seconds(audio, transport, before);
    const int64_t after = studio_monotonic_ns();
    if (after - before > POLL_MOST_NS) return std::nullopt;
    return Sample{double(before) * 1e-9, seconds};
}

struct LineFit {
    size_t polls = 0;
    double slope = 0.0;
    double largest_ms = 0.0;
    double rms_ms = 0.0;
    int backward = 0;
};

LineFit line_fit(const std::vector<Sample>& samples) {
    LineFit fit;
    fit.polls = samples.size();
    if (samples.size() < 2) return fit;
    // About the first sample, so that the squares keep their precision.
    const double t0 = samples.front().at, s0 = samples.front().seconds;
    double sum_t = 0, sum_s = 0, sum_tt = 0, sum_ts = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = samples[i].at - t0, s = samples[i].seconds - s0;
        sum_t += t;
        sum_s += s;
        sum_tt += t * t;
        sum_ts += t * s;
        if (i > 0 && samples[i].seconds < samples[i - 1].seconds) ++fit.backward;
    }
    const double n = double(samples.size());
    fit.slope = (n * sum_ts - sum_t * sum_s) / (n * sum_tt - sum_t * sum_t);
    const double offset = (sum_s - fit.slope * sum_t) / n;
    double squares = 0.0;
    for (const Sample& sample : samples) {
        const double line = offset + fit.slope * (sample.at - t0);
        const double distance = std::abs(sample.seconds - s0 - line) * 1000.0 / std::max(fit.slope, 1e-9);
        fit.largest_ms = std::max(fit.largest_ms, distance);
        squares += distance * distance;
    }
    fit.rms_ms = std::sqrt(squares / n);
    return fit;
}

// Plays from the tune's start at the speed for the seconds, polling the
// audible position from its first move; the distance is in milliseconds of
// the monotonic clock, so speeds compare.
void speed_measure(StudioAudio& audio, double speed, double seconds) {
    Transport transport = transport_create(TUNE_SECONDS);
    const int64_t now = studio_monotonic_ns();
    transport_set_speed(transport, speed, now);
    transport_play(transport, now);
    studio_audio_follow(audio, transport, now);
    std::vector<Sample> all;
    int left_out = 0;
    const int64_t give_up = now + int64_t((seconds + 10.0) * 1e9);
    double moved_at = -1.0;
    while (studio_monotonic_ns() < give_up) {
        const std::optional<Sample> sample = poll(audio, transport);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (!sample) {
            ++left_out;
            continue;
        }
        if (moved_at < 0.0 && sample->seconds > 0.0) moved_at = sample->at;
        if (moved_at < 0.0) continue;
        all.push_back(*sample);
        if (sample->at - moved_at >= seconds) break;
    }
    std::vector<Sample> settled;
    for (const Sample& sample : all)
        if (sample.at - moved_at >= 1.0) settled.push_back(sample);
    const LineFit whole = line_fit(all), later = line_fit(settled);
    std::printf("speed %-4g  polls %zu (%d left out)  pace %.5f  backward steps %d\n", speed, whole.polls,
                left_out, whole.slope / speed, whole.backward);
    std::printf("            distance from a straight line: largest %.3f ms, rms %.3f ms;"
                " from 1 s on: largest %.3f ms, rms %.3f ms\n",
                whole.largest_ms, whole.rms_ms, later.largest_ms, later.rms_ms);
    transport_pause(transport, studio_monotonic_ns());
    studio_audio_follow(audio, transport, studio_monotonic_ns());
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

// Seeks while playing, at times unrelated to the device's requests, and times
// each from the seek until the audible position leaves where the seek put it
// (the target on the nearest frame).
void seeks_measure(StudioAudio& audio) {
    Transport transport = transport_create(TUNE_SECONDS);
    transport_play(transport, studio_monotonic_ns());
    studio_audio_follow(audio, transport, studio_monotonic_ns());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::vector<double> latencies;
    int unheld = 0;
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (int i = 0; i < SEEKS; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const double unit = double(state >> 11) / double(1ull << 53);
        std::this_thread::sleep_for(std::chrono::microseconds(50'000 + int64_t(unit * 97'000)));
        const double target = 1.0 + unit * 40.0;
        double held = 0.0;
        latencies.push_back(studio_audio_seek_heard_ms(audio, transport, target, held));
        if (std::abs(held - target) > 1.0 / FREQUENCY) ++unheld;
    }
    transport_pause(transport, studio_monotonic_ns());
    studio_audio_follow(audio, transport, studio_monotonic_ns());
    std::printf("seeks %d     seek to first samples handed: min %.2f ms, median %.2f ms, 90%% %.2f ms, "
                "largest %.2f ms (one buffer is %.2f ms)\n",
                SEEKS, percentile(latencies, 0.0), percentile(latencies, 0.5), percentile(latencies, 0.9),
                percentile(latencies, 1.0), 1000.0 * STUDIO_AUDIO_BUFFER_FRAMES / FREQUENCY);
    std::printf("            position off the target right after the seek: %d\n", unheld);
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = options_parse(argc, argv);
    if (!options) {
        usage(stderr);
        return 2;
    }
    if (options->help) {
        usage(stdout);
        return 0;
    }

    const fs::path dir = fs::temp_directory_path() / ("zirbelon-studio-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    struct DirRemove {
        fs::path dir;
        ~DirRemove() { fs::remove_all(dir); }
    } dir_remove{dir};

    NullSink sink;
    if (options->null_sink) {
        std::fprintf(stderr, "starting a PulseAudio null sink...\n");
        if (!null_sink_start(sink, dir)) {
            std::fprintf(stderr, "studio_audio_bench: no PulseAudio null sink (try --sink dummy)\n");
            return 1;
        }
    } else {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }

    std::string error;
    StudioAudioPtr audio = studio_audio_open(sine_tune(), error);
    if (!audio) {
        std::fprintf(stderr, "studio_audio_bench: %s\n", error.c_str());
        return 1;
    }
    std::printf("sink        %s\n", options->null_sink ? "PulseAudio null sink" : "SDL dummy driver");
    std::fprintf(stderr, "measuring...\n");
    speed_measure(*audio, 1.0, options->seconds);
    speed_measure(*audio, 2.0, options->seconds / 2.0);
    speed_measure(*audio, 0.5, options->seconds / 2.0);
    seeks_measure(*audio);
    audio.reset();
    return 0;
}
