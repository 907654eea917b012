// How fast the shipped landscape text renders 1920x1080 frames on Mesa's
// software GL, beside the march that takes no shortcut, and how many march
// steps a pixel costs in each. Run by hand:
//   landscape_bench [--repeats N]
#include "shaders/programs.h"
#include "tests/landscape/landscape_literal.h"
#include "tests/landscape/landscape_reference.h"
#include "tools/gl/headless_gl.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t WIDTH = 1920;
constexpr int32_t HEIGHT = 1080;
constexpr float YS[] = {0.5f, 1.0f, 3.0f, 10.0f, 25.0f, 35.0f};
constexpr size_t TARGET_FRAMES = 4;  // y = 0.5, 1, 3 and 10
constexpr double TARGET_SPEED_UP = 5.0;
// Steps are counted on the CPU model for every STRIDE-th pixel each way.
constexpr int32_t STRIDE = 4;

struct Timing {
    double wall_ms;
    double cpu_ms;  // all threads of the process, which llvmpipe's are
};

double cpu_ms() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (double(usage.ru_utime.tv_sec) + double(usage.ru_stime.tv_sec)) * 1e3 +
           (double(usage.ru_utime.tv_usec) + double(usage.ru_stime.tv_usec)) * 1e-3;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One warm-up frame (llvmpipe compiles on the first draw), then the medians.
Timing time_frames(HeadlessGl& gl, uint32_t program, float y, int repeats) {
    const GlFunctions functions = headless_gl_functions();
    std::vector<double> wall, cpu;
    for (int i = 0; i <= repeats; ++i) {
        const double cpu_start = cpu_ms();
        const auto start = std::chrono::steady_clock::now();
        program_draw(functions, program, y, 0.0f, float(WIDTH), float(HEIGHT));
        // Reading a pixel waits for the whole frame.
        headless_gl_read_rgba(gl, 0, 0, 1, 1);
        const auto end = std::chrono::steady_clock::now();
        if (i == 0) continue;
        wall.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        cpu.push_back(cpu_ms() - cpu_start);
    }
    return {median(wall), median(cpu)};
}

struct Steps {
    double literal = 0;  // samples tested, each with its ground height
    double tested = 0;   // the shipped text's samples tested the same way
    double passed = 0;   // the shipped text's groups of four samples passed by additions
};

// The shipped text's loops for one pixel, on the model's samples: the march
// ends at the model's hit, or when a rising ray reaches row 12.
void count_shipped(float y, Vec3 o, Vec3 d, int hit, Steps& steps) {
    const float edge = 0.1f * y;
    if (edge == 0.0f) return;
    const bool sinking = edge > 0.0f ? d.y <= 0.0f : d.y >= 0.0f;
    const bool rising = edge > 0.0f ? d.y >= 0.0f : d.y <= 0.0f;
    float p = o.y + d.y;
    int i = 0;
    for (; sinking && i <= 196; i += 4) {
        steps.passed += 1;
        const float q = p + d.y + d.y + d.y;
        if (!(std::floor(q / edge) >= 12.0f)) break;
        p = q + d.y;
    }
    for (; i < 200; ++i) {
        steps.tested += 1;
        if ((rising && std::floor(p / edge) >= 12.0f) || i + 1 == hit) break;
        p += d.y;
    }
}

Steps count_steps(float y) {
    const LandscapeCamera camera = landscape_camera(y, 0.0f);
    Steps steps;
    int64_t pixels = 0;
    for (int32_t row = 0; row < HEIGHT; row += STRIDE)
        for (int32_t column = 0; column < WIDTH; column += STRIDE) {
            const Vec3 d = landscape_direction(camera, float(column) + 0.5f, float(row) + 0.5f,
                                               float(WIDTH), float(HEIGHT));
            const LandscapeMarch march = landscape_march(y, camera.origin, d);
            steps.literal += march.samples;
            count_shipped(y, camera.origin, d, march.hit ? march.samples : 0, steps);
            ++pixels;
        }
    steps.literal /= double(pixels);
    steps.tested /= double(pixels);
    steps.passed /= double(pixels);
    return steps;
}

int usage(FILE* out, int status) {
    std::fprintf(out,
                 "usage: landscape_bench [--repeats N]\n"
                 "Times 1920x1080 landscape frames on Mesa (rot = 0, y = 0.5 to 35): the shipped\n"
                 "text beside the march with no shortcut, the median of N frames (default 5) after\n"
                 "a warm-up, with the mean march steps per pixel counted on the CPU model.\n"
                 "Exits with 1 when the frames at y = 0.5, 1, 3 and 10 are together less than\n"
                 "5 times faster than the literal march.\n");
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) return usage(stdout, 0);
        if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 1 || value > 100) {
                std::fprintf(stderr, "landscape_bench: --repeats wants a count from 1 to 100\n");
                return 2;
            }
            repeats = int(value);
            continue;
        }
        std::fprintf(stderr, "landscape_bench: unknown argument %s\n", argv[i]);
        return usage(stderr, 2);
    }

    std::string error;
    const HeadlessGlPtr gl = headless_gl_create(WIDTH, HEIGHT, error);
    if (!gl) {
        std::fprintf(stderr, "landscape_bench: %s\n", error.c_str());
        return 1;
    }
    const GlFunctions functions = headless_gl_functions();
    const uint32_t shipped =
        programs_build(functions, {vertex_glsl, landscape_glsl, title_glsl}, WIDTH, HEIGHT).landscape;
    const uint32_t literal =
        programs_build(functions, {vertex_glsl, landscape_literal_glsl, title_glsl}, WIDTH, HEIGHT)
            .landscape;
    for (const uint32_t program : {shipped, literal}) {
        if (!headless_gl_program_status(*gl, program, error)) {
            std::fprintf(stderr, "landscape_bench: a landscape text does not build:\n%s", error.c_str());
            return 1;
        }
    }

    std::printf("landscape at %dx%d on Mesa, rot = 0: ms per frame (median of %d after a warm-up),\n"
                "march steps per pixel (CPU model, every %dth pixel each way)\n\n",
                WIDTH, HEIGHT, repeats, STRIDE);
    std::printf("%6s | %10s %10s | %10s %10s | %7s | %13s %13s | %14s\n", "y", "shipped", "cpu",
                "literal", "cpu", "faster", "shipped steps", "+ 4-sample", "literal steps");
    double shipped_sum = 0, literal_sum = 0, shipped_cpu = 0, literal_cpu = 0;
    for (size_t i = 0; i < std::size(YS); ++i) {
        const float y = YS[i];
        const Timing fast = time_frames(*gl, shipped, y, repeats);
        const Timing slow = time_frames(*gl, literal, y, repeats);
        const Steps steps = count_steps(y);
        std::printf("%6.1f | %10.1f %10.1f | %10.1f %10.1f | %6.1fx | %13.2f %13.2f | %14.2f\n", y,
                    fast.wall_ms, fast.cpu_ms, slow.wall_ms, slow.cpu_ms, slow.wall_ms / fast.wall_ms,
                    steps.tested, steps.passed, steps.literal);
        std::fflush(stdout);
        if (i < TARGET_FRAMES) {
            shipped_sum += fast.wall_ms;
            literal_sum += slow.wall_ms;
            shipped_cpu += fast.cpu_ms;
            literal_cpu += slow.cpu_ms;
        }
    }
    const double speed_up = literal_sum / shipped_sum;
    std::printf("\ny = 0.5, 1, 3, 10 together: shipped %.1f ms (cpu %.1f), literal %.1f ms (cpu %.1f): "
                "%.1f times faster (cpu %.1f), target %.0f: %s\n",
                shipped_sum, shipped_cpu, literal_sum, literal_cpu, speed_up, literal_cpu / shipped_cpu,
                TARGET_SPEED_UP, speed_up >= TARGET_SPEED_UP ? "met" : "missed");
    return speed_up >= TARGET_SPEED_UP ? 0 : 1;
}
