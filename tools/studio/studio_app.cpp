// The studio's window and its frame loop, and what the commands ask of the
// world (the sound, the picture, the files, the linked players): everything
// between SDL and the session.
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
#include "platform/linux/signal_watch.h"
#include "presentation/presentation.h"
#include "tools/common/cli.h"
#include "tools/common/render_call.h"
#include "tools/pictures/png.h"
#include "tools/studio/studio_app.h"
#include "tools/studio/studio_bindings.h"
#include "tools/studio/ui/studio_ui.h"
#include "tools/studio/studio_window.h"

namespace {

constexpr int64_t WATCH_PERIOD_NS = 100'000'000;  // files are looked at ten times a second
// Waiting idle while players may be linked: their hellos and rows are
// answered within a few milliseconds.
constexpr int LINKED_WAIT_MS = 5;
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

void watches_start(StudioWindow& state) {
    state.shader_watches = {file_watch_start(state.options.shaders.landscape),
                            file_watch_start(state.options.shaders.title)};
    state.track_watches.clear();
    for (const EditTrack& track : state.session.model.tracks) {
        state.track_watches.push_back(file_watch_start(track.text_path));
        state.track_watches.push_back(file_watch_start(track.binary_path));
    }
}

// Rebuilds the scene programs from the shader files; the message says how it
// went (the GL's log stays on the picture until a build works).
void shaders_reload(StudioWindow& state) {
    SceneTexts texts;
    std::string error;
    if (!scene_texts_read(state.options.shaders, texts, error)) {
        state.session.message = error;
        return;
    }
    // The players get the texts whether or not they build here: their logs say how they fare there.
    state.texts = texts;
    if (scene_view_build(state.view, texts))
        state.session.message = "shaders built";
    else
        state.session.message = "a shader does not build: the last good programs go on";
}

// Tracks changed on disk by another program reload, unless they hold edits.
void watches_poll(StudioWindow& state, int64_t now_ns) {
    if (now_ns < state.next_watch_ns) return;
    state.next_watch_ns = now_ns + WATCH_PERIOD_NS;
    bool shaders = false;
    for (FileWatch& watch : state.shader_watches) shaders |= !watch.path.empty() && file_watch_changed(watch);
    if (shaders) shaders_reload(state);
    for (size_t i = 0; i < state.track_watches.size(); ++i) {
        if (state.track_watches[i].path.empty() || !file_watch_changed(state.track_watches[i])) continue;
        const size_t track = i / 2;
        const bool is_text = i % 2 == 0;
        // A track file with a text beside it is made from the text: the text rules.
        if (!is_text && !state.session.model.tracks[track].text_path.empty())
            studio_track_file_changed(state.session, track);
        else
            studio_track_reload(state.session, track);
    }
}

// Draws the picture when what it shows changed; true when it drew.
bool scene_render(StudioWindow& state) {
    const StudioSession& session = state.session;
    const bool playing = session.transport.playing;
    const RenderSize size = render_size_next(state.size_rule, playing, state.scene_ms);
    const bool changed = session.row != state.drawn_row || state.view.generation != state.drawn_generation ||
                         session.edits != state.edits_seen || size.width != state.drawn.width ||
                         size.height != state.drawn.height;
    if (!changed) return false;
    const RowFrame shown = row_frame(edit_model_camera(session.model), session.row);
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    if (!scene_view_draw(state.view, shown.scene, shown.values, size.width, size.height, error)) {
        state.session.message = error;
        return false;
    }
    glFinish();
    state.scene_ms = milliseconds_since(start);
    state.drawn = size;
    state.drawn_row = session.row;
    state.drawn_generation = state.view.generation;
    state.edits_seen = session.edits;
    return true;
}

// A shot's file: named by its row, and never over an earlier one.
std::string shot_path(const std::string& folder, double row) {
    const std::string stem = "row-" + cli_number_text(row);
    std::filesystem::path path = std::filesystem::path(folder) / (stem + ".png");
    std::error_code ignored;
    for (int copy = 2; std::filesystem::exists(std::filesystem::symlink_status(path, ignored)); ++copy)
        path = std::filesystem::path(folder) / (stem + "-" + std::to_string(copy) + ".png");
    return path.string();
}

// The frame at the current row at 1920x1080 as a PNG in the shots folder,
// named by its row.
void shot(StudioWindow& state) {
    StudioSession& session = state.session;
    const RowFrame shown = row_frame(edit_model_camera(session.model), session.row);
    std::string error;
    if (!scene_view_draw(state.view, shown.scene, shown.values, SCREEN_WIDTH, SCREEN_HEIGHT, error)) {
        session.message = error;
        return;
    }
    Raster image;
    image.width = SCREEN_WIDTH;
    image.height = SCREEN_HEIGHT;
    image.rgba = scene_view_pixels(state.view);
    std::error_code ignored;
    std::filesystem::create_directories(state.options.shots, ignored);
    const std::string path = shot_path(state.options.shots, session.row);
    session.message = png_write(path, image, error) ? "wrote " + path : error;
    state.drawn_row = -1.0;  // the texture now holds the full-size frame: draw again at the rule's size
}

// The loop span (or the whole tune) to a video, by the render tool.
void video(StudioWindow& state) {
    StudioSession& session = state.session;
    if (state.options.render_tool.empty()) {
        session.message = "no zirbelon-render found to make the video";
        return;
    }
    const Transport& transport = session.transport;
    RenderVideoCall call;
    call.dir = state.options.dir;
    call.from = transport.loop ? transport.loop_in : 0.0;
    call.to = transport.loop ? transport.loop_out : transport.length;
    call.output = (std::filesystem::path(state.options.shots) /
                   ("loop-" + cli_number_text(call.from) + "-" + cli_number_text(call.to) + ".mp4"))
                      .string();
    call.shaders = state.options.shaders;
    std::string error;
    if (!video_job_start(state.video, state.options.render_tool, render_video_arguments(call), call.output,
                         error)) {
        session.message = error;
        return;
    }
    session.message = edit_model_dirty(session.model)
                          ? "rendering " + call.output + " from the saved tracks (save to include edits)"
                          : "rendering " + call.output;
}

// The sound follows the transport, silent while a linked player leads (the
// player plays the tune: its sound is the one heard).
void sound_follow(StudioWindow& state, const Transport& transport, int64_t now) {
    state.sound_muted = state.link && studio_link_leader(*state.link, state.session);
    if (!state.audio) return;
    Transport heard = transport;
    heard.playing = transport.playing && !state.sound_muted;
    studio_audio_follow(*state.audio, heard, now);
}

// The players: what they said, the edits and texts they are sent, and the
// lead; what happened goes to the log and the message line. True when
// something the players panel shows changed.
bool link_update(StudioWindow& state, int64_t now) {
    if (!state.link) return false;
    StudioSession& session = state.session;
    const bool changed = studio_link_update(*state.link, session, state.texts.landscape, state.texts.title, now);
    for (const std::string& line : state.link->news) {
        std::fprintf(stderr, "zirbelon-studio: %s\n", line.c_str());
        session.message = line;
    }
    state.link->news.clear();
    if (state.sound_muted != (studio_link_leader(*state.link, session) != nullptr))
        sound_follow(state, session.transport, now);
    return changed;
}

// The commands' effects on the window's world.
StudioEffects effects_of(StudioWindow& state) {
    StudioEffects effects;
    effects.now = studio_monotonic_ns;
    effects.sound_follow = [&state](const Transport& transport, int64_t now) {
        sound_follow(state, transport, now);
        if (state.link) studio_link_transport(*state.link, transport, now);
    };
    effects.shot = [&state](StudioSession&) { shot(state); };
    effects.video = [&state](StudioSession&) { video(state); };
    effects.saved = [&state](const std::vector<std::string>& written) {
        for (FileWatch& watch : state.track_watches)
            if (std::find(written.begin(), written.end(), watch.path) != written.end()) file_watch_changed(watch);
    };
    return effects;
}

// Closing the window asks to quit; each key press is a command at once (a tap
// shorter than a frame still counts, which polling the keyboard's state would
// miss), in the order they came, so that text typed after Enter lands in the
// value.
void event_take(StudioWindow& state, const SDL_Event& event) {
    StudioSession& session = state.session;
    if (event.type == SDL_QUIT ||
        (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE))
        studio_command_run(session, state.effects, StudioCommand::quit);
    if (event.type == SDL_KEYDOWN)
        studio_key_press(session, state.effects, event.key.keysym.scancode, studio_modifiers(event.key.keysym.mod));
    if (event.type == SDL_TEXTINPUT) studio_typing_append(session, event.text.text);
}

bool window_open(StudioWindow& state, std::string& error) {
    // A signal ends the studio through its frame loop, which first keeps the
    // unsaved edits aside; SDL would turn SIGINT and SIGTERM into a close.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    signal_watch_start();
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

void tune_open(StudioWindow& state) {
    TunePcm tune;
    std::string error;
    if (!tune_decode(std::filesystem::path(state.options.dir) / TUNE_FILE, tune, error)) {
        state.silent_reason = error;
        state.session.transport = transport_create(SILENT_LENGTH);
        return;
    }
    state.session.transport = transport_create(tune.seconds());
    state.waveform = waveform_of(tune);
    state.audio = studio_audio_open(tune, error);
    if (!state.audio) state.silent_reason = error;
}

// How soon a seek is heard: ten seeks while playing, at times apart from the
// device's requests; none without sound.
std::vector<double> seeks_heard_ms(StudioWindow& state) {
    std::vector<double> heard;
    if (!state.audio) return heard;
    Transport& transport = state.session.transport;
    transport_play(transport, studio_monotonic_ns());
    for (int i = 0; i < 10; ++i) {
        SDL_Delay(Uint32(50 + 13 * i));
        double held = 0.0;
        heard.push_back(studio_audio_seek_heard_ms(*state.audio, transport, 1.0 + 3.7 * i, held));
    }
    std::sort(heard.begin(), heard.end());
    return heard;
}

void bench_report(const std::vector<double>& frame_ms, double reload_ms, StudioWindow& state) {
    std::vector<double> sorted = frame_ms;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0.0;
    for (double ms : frame_ms) sum += ms;
    const double mean = frame_ms.empty() ? 0.0 : sum / double(frame_ms.size());
    const std::vector<double> seeks = seeks_heard_ms(state);
    char seek_text[96] = "no sound to hear it";
    if (!seeks.empty())
        std::snprintf(seek_text, sizeof seek_text, "median %.1f ms, slowest %.1f ms", seeks[seeks.size() / 2],
                      seeks.back());
    std::printf("zirbelon-studio bench on %s: %zu frames while playing, %.1f frames/s (mean %.1f ms, median %.1f ms, "
                "slowest %.1f ms); scene at %dx%d at the end; shader reload %.1f ms; seek to sound %s; sound: %s\n",
                state.renderer_name.c_str(), frame_ms.size(), mean > 0.0 ? 1000.0 / mean : 0.0, mean,
                sorted.empty() ? 0.0 : sorted[sorted.size() / 2], sorted.empty() ? 0.0 : sorted.back(),
                state.drawn.width, state.drawn.height, reload_ms, seek_text,
                state.audio ? "playing" : ("silent: " + state.silent_reason).c_str());
}

}  // namespace

int studio_run(StudioOptions options) {
    StudioWindow state;
    state.options = std::move(options);
    state.effects = effects_of(state);
    StudioSession& session = state.session;
    std::string error;
    if (!edit_model_load(session.model, state.options.tracks_dir, state.options.dir, error) ||
        !bookmarks_load((std::filesystem::path(state.options.dir) / "bookmarks.txt").string(), session.bookmarks,
                        error)) {
        std::fprintf(stderr, "zirbelon-studio: %s\n", error.c_str());
        return CLI_FAILED;
    }
    for (size_t track = 0; track < session.model.tracks.size(); ++track)
        if (!edit_model_recovery_path(session.model, track).empty()) session.recovered.push_back(track);
    if (state.options.listen_port != 0) {
        state.link = std::make_unique<StudioLink>();
        if (!studio_link_listen(*state.link, state.options.listen_address, state.options.listen_port, error)) {
            // The sockets' reason names the address: "cannot listen on ADDR:PORT: Address already in use".
            std::fprintf(stderr, "zirbelon-studio: no live link: %s\n", error.c_str());
            return CLI_FAILED;
        }
    }
    if (!window_open(state, error)) {
        std::fprintf(stderr, "zirbelon-studio: %s\n", error.c_str());
        return CLI_FAILED;
    }
    tune_open(state);
    const auto reload_start = std::chrono::steady_clock::now();
    shaders_reload(state);
    const double reload_ms = milliseconds_since(reload_start);
    watches_start(state);
    Transport& transport = session.transport;
    state.timeline = timeline_view_create(row_from_seconds(transport.length), 800.0);

    int64_t now = studio_monotonic_ns();
    if (state.options.row) transport_seek(transport, *state.options.row / ROWS_PER_SECOND, now);
    if (!state.options.paused || state.options.bench) transport_play(transport, now);
    if (state.audio) studio_audio_follow(*state.audio, transport, now);
    if (state.link) std::fprintf(stderr, "zirbelon-studio: listening for players on %s\n", state.link->address.c_str());

    std::vector<double> bench_frames;
    auto frame_start = std::chrono::steady_clock::now();
    const auto run_start = frame_start;
    bool drew = true;
    int status = CLI_OK;
    while (!session.quit) {
        if (const int caught = signal_caught()) {
            status = cli_signal_status(caught);
            if (!edit_model_recovery_write(session.model, error))
                std::fprintf(stderr, "zirbelon-studio: unsaved edits not kept: %s\n", error.c_str());
            else if (edit_model_dirty(session.model))
                std::fprintf(stderr, "zirbelon-studio: unsaved edits kept beside the texts (*.recovery); the next "
                                     "start offers them\n");
            break;
        }
        SDL_Event event;
        // Paused with nothing new to draw, it waits for an event, or for the
        // files' next look.
        const bool idle = !drew && !transport.playing && !state.video.running && !state.options.bench;
        if (idle) {
            if (!SDL_WaitEventTimeout(&event, state.link ? LINKED_WAIT_MS : int(WATCH_PERIOD_NS / 1'000'000))) {
                // No event: a frame only when a watched file or a player brought news.
                const uint64_t edits = session.edits, generation = state.view.generation;
                const std::string message = session.message;
                watches_poll(state, studio_monotonic_ns());
                const bool heard = link_update(state, studio_monotonic_ns());
                if (!heard && edits == session.edits && generation == state.view.generation &&
                    message == session.message)
                    continue;
            } else {
                ImGui_ImplSDL2_ProcessEvent(&event);
                event_take(state, event);
            }
        }
        while (SDL_PollEvent(&event)) {
            ImGui_ImplSDL2_ProcessEvent(&event);
            event_take(state, event);
        }
        now = studio_monotonic_ns();
        // Before the clock is read: a leading player's row is the play head.
        link_update(state, now);
        transport_update(transport, now);
        const bool heard = state.audio && transport.playing && !state.sound_muted;
        if (heard) studio_audio_sync(*state.audio, transport, now);
        watches_poll(state, now);
        if (video_job_poll(state.video)) session.message = state.video.outcome;
        session.seconds =
            heard ? studio_audio_seconds(*state.audio, transport, now) : transport_seconds(transport, now);
        session.row = row_from_seconds(session.seconds);
        drew = scene_render(state);

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
            if (milliseconds_since(run_start) >= 10'000.0) session.quit = true;
        }
    }
    if (state.options.bench) bench_report(bench_frames, reload_ms, state);

    video_job_stop(state.video);
    state.link.reset();
    state.audio.reset();
    scene_view_release(state.view);
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
    SDL_DestroyWindow(state.window);
    SDL_Quit();
    return status;
}
