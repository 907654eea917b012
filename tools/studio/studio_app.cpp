// The studio's window, its frame loop and the commands that touch the files,
// the sound and the GL: everything between SDL and the models.
#include <SDL2/SDL.h>
#include <GL/gl.h>
#include <imgui.h>
#include <imgui_impl_opengl2.h>
#include <imgui_impl_sdl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "presentation/frame.h"
#include "presentation/presentation.h"
#include "tools/common/cli.h"
#include "tools/common/files.h"
#include "tools/render/png.h"
#include "tools/studio/studio_app.h"
#include "tools/studio/studio_keys.h"
#include "tools/studio/studio_ui.h"
#include "tracks/track_file.h"

namespace {

constexpr int64_t WATCH_PERIOD_NS = 100'000'000;  // files are looked at ten times a second
constexpr uint64_t SHADER_BYTES_MAX = 16u << 20;
constexpr double SILENT_LENGTH = 120.0;  // the timeline without a tune

double milliseconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

Waveform waveform_of(const TunePcm& tune) {
    Waveform waveform;
    const size_t frames = tune.samples.size() / 2;
    const size_t per_row = size_t(double(tune.frequency) / ROWS_PER_SECOND);
    for (size_t start = 0; start < frames; start += per_row) {
        float low = 0.0f, high = 0.0f;
        for (size_t frame = start; frame < std::min(frames, start + per_row); ++frame) {
            const float sample = (float(tune.samples[2 * frame]) + float(tune.samples[2 * frame + 1])) / 65536.0f;
            low = std::min(low, sample);
            high = std::max(high, sample);
        }
        waveform.low.push_back(low);
        waveform.high.push_back(high);
    }
    return waveform;
}

CameraTracks camera_of(const EditModel& model) {
    CameraTracks camera;
    for (const EditTrack& track : model.tracks) {
        if (track.document.name == CAMERA_DIST_TRACK) camera.cam_dist = &track.track;
        if (track.document.name == CAMERA_ROT_TRACK) camera.cam_rot = &track.track;
    }
    return camera;
}

void watches_start(StudioState& state) {
    state.shader_watches = {file_watch_start(state.options.landscape_shader),
                            file_watch_start(state.options.title_shader)};
    state.track_watches.clear();
    for (const EditTrack& track : state.model.tracks) {
        state.track_watches.push_back(file_watch_start(track.text_path));
        state.track_watches.push_back(file_watch_start(track.binary_path));
    }
}

// Tracks changed on disk by another program reload, unless they hold edits.
void watches_poll(StudioState& state, int64_t now_ns) {
    if (now_ns < state.next_watch_ns) return;
    state.next_watch_ns = now_ns + WATCH_PERIOD_NS;
    bool shaders = false;
    for (FileWatch& watch : state.shader_watches) shaders |= !watch.path.empty() && file_watch_changed(watch);
    if (shaders) studio_shaders_reload(state);
    for (size_t i = 0; i < state.track_watches.size(); ++i) {
        if (state.track_watches[i].path.empty() || !file_watch_changed(state.track_watches[i])) continue;
        const size_t track = i / 2;
        const bool is_text = i % 2 == 0;
        // A binary with a text beside it is made from the text: the text rules.
        if (!is_text && !state.model.tracks[track].text_path.empty()) continue;
        std::string error;
        if (edit_model_reload(state.model, track, error)) {
            ++state.edits;
            state.message = "reloaded " + state.model.tracks[track].document.name + ", changed on disk";
        } else {
            state.message = error.empty() ? state.model.message : error;
        }
    }
}

std::string shader_text(const std::string& path, const char* builtin, std::string& error) {
    if (path.empty()) return builtin;
    std::string text;
    if (!input_read_text(path, SHADER_BYTES_MAX, text, error)) return {};
    return text;
}

void scene_render(StudioState& state) {
    const bool playing = state.transport.playing;
    const RenderSize size = render_size_next(state.size_rule, playing, state.scene_ms);
    const bool changed = state.row != state.drawn_row || state.view.generation != state.drawn_generation ||
                         state.edits != state.edits_seen || size.width != state.drawn.width ||
                         size.height != state.drawn.height;
    if (!changed) return;
    const RowFrame shown = row_frame(camera_of(state.model), state.row);
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    if (!scene_view_draw(state.view, shown.scene, shown.values, size.width, size.height, error)) {
        state.message = error;
        return;
    }
    glFinish();
    state.scene_ms = milliseconds_since(start);
    state.drawn = size;
    state.drawn_row = state.row;
    state.drawn_generation = state.view.generation;
    state.edits_seen = state.edits;
}

bool window_open(StudioState& state, std::string& error) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        error = std::string("no display: ") + SDL_GetError();
        return false;
    }
    // The title's program has no vertex stage of its own: it needs the
    // fixed-function one of a compatibility context.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    const int display = std::min(state.options.display, std::max(SDL_GetNumVideoDisplays() - 1, 0));
    const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI |
                         (state.options.fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    state.window = SDL_CreateWindow("zirbelon-studio", SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                                    SDL_WINDOWPOS_CENTERED_DISPLAY(display), state.options.width,
                                    state.options.height, flags);
    if (!state.window) {
        error = std::string("cannot open a window: ") + SDL_GetError();
        return false;
    }
    SDL_GLContext context = SDL_GL_CreateContext(state.window);
    if (!context || SDL_GL_MakeCurrent(state.window, context) != 0) {
        error = std::string("no OpenGL compatibility context: ") + SDL_GetError();
        return false;
    }
    if (!gl_context_check(error)) return false;
    // The window's rate is what the studio measures: never wait for a vertical blank.
    SDL_GL_SetSwapInterval(0);
    state.renderer_name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    state.view.gl = {[](const char* name) { return SDL_GL_GetProcAddress(name); },
                     [](int32_t x1, int32_t y1, int32_t x2, int32_t y2) { glRecti(x1, y1, x2, y2); }};

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;  // the layout is the program's, not a file's
    ImGui::StyleColorsDark();
    ImGui_ImplSDL2_InitForOpenGL(state.window, context);
    ImGui_ImplOpenGL2_Init();
    return true;
}

void tune_open(StudioState& state) {
    TunePcm tune;
    std::string error;
    if (!tune_decode(std::filesystem::path(state.options.dir) / TUNE_FILE, tune, error)) {
        state.silent_reason = error;
        state.transport = transport_create(SILENT_LENGTH);
        return;
    }
    state.transport = transport_create(tune.seconds());
    state.waveform = waveform_of(tune);
    state.audio = studio_audio_open(tune, error);
    if (!state.audio) state.silent_reason = error;
}

void bench_report(const std::vector<double>& frame_ms, double reload_ms, const StudioState& state) {
    std::vector<double> sorted = frame_ms;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0.0;
    for (double ms : frame_ms) sum += ms;
    const double mean = frame_ms.empty() ? 0.0 : sum / double(frame_ms.size());
    std::printf("zirbelon-studio bench on %s: %zu frames while playing, %.1f frames/s (mean %.1f ms, median %.1f ms, "
                "slowest %.1f ms); scene at %dx%d at the end; shader reload %.1f ms; sound: %s\n",
                state.renderer_name.c_str(), frame_ms.size(), mean > 0.0 ? 1000.0 / mean : 0.0, mean,
                sorted.empty() ? 0.0 : sorted[sorted.size() / 2], sorted.empty() ? 0.0 : sorted.back(),
                state.drawn.width, state.drawn.height, reload_ms,
                state.audio ? "playing" : ("silent: " + state.silent_reason).c_str());
}

}  // namespace

void studio_shaders_reload(StudioState& state) {
    std::string error;
    const SceneTexts texts{shader_text(state.options.landscape_shader, landscape_glsl, error),
                           shader_text(state.options.title_shader, title_glsl, error)};
    if (!error.empty()) {
        state.message = error;
        return;
    }
    if (scene_view_build(state.view, texts))
        state.message = "shaders built";
    else
        state.message = "a shader does not build: the last good programs go on";
}

void studio_seek(StudioState& state, double seconds) {
    const int64_t now = studio_monotonic_ns();
    transport_seek(state.transport, seconds, now);
    if (state.audio) studio_audio_follow(*state.audio, state.transport, now);
}

void studio_shot(StudioState& state) {
    const RowFrame shown = row_frame(camera_of(state.model), state.row);
    std::string error;
    if (!scene_view_draw(state.view, shown.scene, shown.values, SCREEN_WIDTH, SCREEN_HEIGHT, error)) {
        state.message = error;
        return;
    }
    Raster image;
    image.width = SCREEN_WIDTH;
    image.height = SCREEN_HEIGHT;
    image.rgba = scene_view_pixels(state.view);
    const std::string path = (std::filesystem::path(state.options.shots) / ("row-" + cli_number_text(state.row) + ".png")).string();
    state.message = png_write(path, image, error) ? "wrote " + path : error;
    state.drawn_row = -1.0;  // the texture now holds the full-size frame: draw again at the rule's size
}

void studio_video(StudioState& state) {
    if (state.options.render_tool.empty()) {
        state.message = "no zirbelon-render found to make the video";
        return;
    }
    const double from = state.transport.loop ? state.transport.loop_in : 0.0;
    const double to = state.transport.loop ? state.transport.loop_out : state.transport.length;
    const std::string output = (std::filesystem::path(state.options.shots) /
                                ("loop-" + cli_number_text(from) + "-" + cli_number_text(to) + ".mp4")).string();
    std::vector<std::string> arguments = {"--dir", state.options.dir, "--from", cli_number_text(from), "--to",
                                          cli_number_text(to), "-o", output};
    if (!state.options.landscape_shader.empty())
        arguments.insert(arguments.end(), {"--shader", "landscape=" + state.options.landscape_shader});
    if (!state.options.title_shader.empty())
        arguments.insert(arguments.end(), {"--shader", "title=" + state.options.title_shader});
    std::string error;
    if (!video_job_start(state.video, state.options.render_tool, arguments, output, error)) {
        state.message = error;
        return;
    }
    state.message = edit_model_dirty(state.model) ? "rendering " + output + " from the saved tracks (save to include edits)"
                                                  : "rendering " + output;
}

void studio_save(StudioState& state) {
    std::string error;
    if (!edit_model_save(state.model, error)) {
        state.message = error;
        return;
    }
    for (FileWatch& watch : state.track_watches) file_watch_changed(watch);
    state.message = state.model.message.empty() ? "saved" : state.model.message;
}

int studio_run(StudioOptions options) {
    StudioState state;
    state.options = std::move(options);
    std::string error;
    if (!edit_model_load(state.model, state.options.tracks_dir, state.options.dir, error)) {
        std::fprintf(stderr, "zirbelon-studio: %s\n", error.c_str());
        return CLI_FAILED;
    }
    if (!window_open(state, error)) {
        std::fprintf(stderr, "zirbelon-studio: %s\n", error.c_str());
        return CLI_FAILED;
    }
    tune_open(state);
    const auto reload_start = std::chrono::steady_clock::now();
    studio_shaders_reload(state);
    const double reload_ms = milliseconds_since(reload_start);
    watches_start(state);
    state.timeline = timeline_view_create(row_from_seconds(state.transport.length), 800.0);

    int64_t now = studio_monotonic_ns();
    if (state.options.row) transport_seek(state.transport, *state.options.row / ROWS_PER_SECOND, now);
    if (!state.options.paused || state.options.bench) transport_play(state.transport, now);
    if (state.audio) studio_audio_follow(*state.audio, state.transport, now);

    std::vector<double> bench_frames;
    auto frame_start = std::chrono::steady_clock::now();
    const auto run_start = frame_start;
    while (!state.quit) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            ImGui_ImplSDL2_ProcessEvent(&event);
            studio_event(state, event);
        }
        now = studio_monotonic_ns();
        transport_update(state.transport, now);
        if (state.audio && state.transport.playing) studio_audio_sync(*state.audio, state.transport, now);
        watches_poll(state, now);
        video_job_poll(state.video);
        state.seconds = state.audio && state.transport.playing
                            ? studio_audio_seconds(*state.audio, state.transport, now)
                            : transport_seconds(state.transport, now);
        state.row = row_from_seconds(state.seconds);
        scene_render(state);

        ImGui_ImplOpenGL2_NewFrame();
        ImGui_ImplSDL2_NewFrame();
        ImGui::NewFrame();
        studio_ui_draw(state);
        ImGui::Render();
        int width = 0, height = 0;
        SDL_GL_GetDrawableSize(state.window, &width, &height);
        glViewport(0, 0, width, height);
        glClearColor(0.08f, 0.08f, 0.09f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
        SDL_GL_SwapWindow(state.window);

        const double frame_ms = milliseconds_since(frame_start);
        // The scene gets what is left of a 34th of a second (a margin under a
        // 30th) once the rest of the window has had its share, never less than
        // a fifth of its budget.
        const double others_ms = std::max(frame_ms - state.scene_ms, 0.0);
        state.size_rule.budget_ms = std::clamp(1000.0 / 34.0 - others_ms, RENDER_BUDGET_MS / 5.0, RENDER_BUDGET_MS);
        frame_start = std::chrono::steady_clock::now();
        state.window_fps = state.window_fps == 0.0 ? 1000.0 / frame_ms : 0.9 * state.window_fps + 100.0 / frame_ms;
        if (state.options.bench) {
            bench_frames.push_back(frame_ms);
            if (milliseconds_since(run_start) >= 10'000.0) state.quit = true;
        }
    }
    if (state.options.bench) bench_report(bench_frames, reload_ms, state);

    video_job_stop(state.video);
    state.audio.reset();
    scene_view_release(state.view);
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
    SDL_DestroyWindow(state.window);
    SDL_Quit();
    return CLI_OK;
}
