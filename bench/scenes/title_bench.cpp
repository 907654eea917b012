// Milliseconds per 1920x1080 title frame on Mesa's software GL for a few clocks:
// one warm-up frame (llvmpipe compiles the program on its first draw), then
// five timed frames, of which the median counts. Run by hand: title_bench.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "shaders/programs.h"
#include "tools/gl/headless_gl.h"

namespace {

constexpr int32_t WIDTH = 1920;
constexpr int32_t HEIGHT = 1080;

struct TitleClock {
    const char* name;
    float y;
};

// The cost per pixel does not depend on the picture, only the clocks differ.
constexpr TitleClock CLOCKS[] = {
    {"strokes", 0.0f}, {"contours", 1.7f}, {"white", 1.5f}, {"varied_width", 6.5f}};

void draw_and_wait(HeadlessGl& gl, uint32_t program, float y) {
    program_draw(headless_gl_functions(), program, y, 0.0f, WIDTH, HEIGHT);
    // Reading one pixel waits for the whole frame.
    benchmark::DoNotOptimize(headless_gl_read_rgba(gl, 0, 0, 1, 1));
}

// CPU time of every thread of the process, llvmpipe's included.
double process_cpu_ms() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-3;
}

// Wall time is the figure; the process CPU time per frame shows how much of it
// the renderer's threads really worked when the machine is shared.
void title_frame(benchmark::State& state, HeadlessGl* gl, uint32_t program, float y) {
    draw_and_wait(*gl, program, y);
    const double start = process_cpu_ms();
    for (auto _ : state) draw_and_wait(*gl, program, y);
    state.counters["process_cpu_ms"] = benchmark::Counter(
        (process_cpu_ms() - start) / double(state.iterations()));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::string error;
    HeadlessGlPtr gl = headless_gl_create(WIDTH, HEIGHT, error);
    if (!gl) {
        std::fprintf(stderr, "title_bench: no headless GL: %s\n", error.c_str());
        return 1;
    }
    const ScenePrograms programs = programs_build(
        headless_gl_functions(), {vertex_glsl, landscape_glsl, title_glsl}, WIDTH, HEIGHT);
    std::string log;
    if (!headless_gl_program_status(*gl, programs.title, log)) {
        std::fprintf(stderr, "title_bench: the title program does not link:\n%s\n", log.c_str());
        return 1;
    }
    for (const TitleClock& clock : CLOCKS) {
        benchmark::RegisterBenchmark((std::string("title_frame/") + clock.name).c_str(), title_frame,
                                     gl.get(), programs.title, clock.y)
            ->Iterations(1)
            ->Repetitions(5)
            ->ReportAggregatesOnly()
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
