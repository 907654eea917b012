// The main routine: start-up, the frame loop driven by the music clock, shutdown.
#include "intro/intro.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

#include "platform/audio.h"
#include "platform/platform.h"
#include "presentation/frame.h"
#include "tracks/tracks.h"

void show_error(const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    platform_error_box(text);
}

void intro_main(int, char**, char**) {
    const IntroConfig& config = INTRO_CONFIG;
    const float width = float(config.width), height = float(config.height);

    platform_window_ghosting_disable();
    platform_display_set_mode(config.width, config.height);
    platform_window_create();
    platform_window_get_dc();
    platform_pixel_format_choose();
    platform_pixel_format_set();
    platform_gl_context_create();
    platform_gl_make_current();
    platform_cursor_hide();

    const GlFunctions gl{platform_gl_proc, platform_gl_rect};
    const ScenePrograms programs = programs_build(
        gl, {config.vertex_source, config.landscape_source, config.title_source}, width, height);

    if (!audio_init(AUDIO_DEFAULT_DEVICE, AUDIO_FREQUENCY)) show_error("failed to init bass");
    const AudioStream stream = audio_stream_create_file(TUNE_FILE, AUDIO_STREAM_PRESCAN);
    if (!stream) show_error("failed to open tune");

    // Without a set every track stays at 0 and the presentation still runs.
    TrackSetPtr tracks = trackset_create(TRACKSET_BASE_NAME);
    if (!tracks) show_error("out of memory?");
    const CameraTracks camera = tracks ? camera_tracks_request(*tracks) : CameraTracks{};

    audio_start();
    audio_channel_play(stream, false);

    for (;;) {
        const uint64_t position = audio_channel_get_position(stream);
        const double seconds = audio_channel_bytes_to_seconds(stream, position);
        const double row = seconds * config.rows_per_second;
        const Scene scene = scene_for_row(row);
        if (scene != Scene::none)
            frame_draw(gl, programs, scene, frame_values(camera, row), width, height);
        platform_swap_buffers();
        audio_update(0);
        if (platform_escape_pressed()) break;
    }

    trackset_destroy(std::move(tracks));
    audio_stream_free(stream);
    audio_free();
    platform_exit(0);
}
