// How many key presses the studio's commands take a second, without a window:
// Down (a seek, which moves the cursor at once), and nudges of a key's value
// (an edit with its undo step) on the shipped tracks (Google Benchmark).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "presentation/presentation.h"
#include "tools/studio/studio_bindings.h"
#include "tools/studio/studio_commands.h"

namespace fs = std::filesystem;

namespace {

StudioSession session_shipped() {
    StudioSession session;
    std::string error;
    if (!edit_model_load(session.model, ZIRBELON_ASSETS_DIR "/tracks", fs::temp_directory_path().string(), error))
        std::abort();
    session.transport = transport_create(100.0);
    session.cursor_track = 4;
    return session;
}

void KeyDown(benchmark::State& state) {
    StudioSession session = session_shipped();
    const StudioEffects effects;
    for (auto _ : state) {
        studio_key_press(session, effects, SDL_SCANCODE_DOWN, MOD_NONE);
        if (session.row > 1000.0) studio_key_press(session, effects, SDL_SCANCODE_HOME, MOD_NONE);
    }
}
BENCHMARK(KeyDown);

void KeyNudge(benchmark::State& state) {
    StudioSession session = session_shipped();
    const StudioEffects effects;
    for (auto _ : state) studio_key_press(session, effects, SDL_SCANCODE_EQUALS, MOD_NONE);
}
BENCHMARK(KeyNudge);

}  // namespace

BENCHMARK_MAIN();
