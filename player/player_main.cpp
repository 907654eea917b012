// zirbelon-player: the presentation's frames and tune, in a window of any size
// or on the whole screen, from any position, following a studio over the live
// link when told to. The loop: what the studio sent, where the music is, the
// frame, and what the studio should know of it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "platform/audio.h"
#include "platform/net.h"
#include "platform/player_window.h"
#include "player/player_link.h"
#include "player/player_options.h"
#include "player/player_screen.h"
#include "player/player_show.h"
#include "tools/common/cli.h"

namespace {

// Paused with nothing new, the loop looks for news this often.
constexpr auto IDLE_WAIT = std::chrono::milliseconds(4);
constexpr int64_t FRAME_TIME_PERIOD_NS = 1'000'000'000;

int64_t monotonic_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The tune, when there is one and a device plays it.
struct PlayerSound {
    AudioStream stream = 0;
    bool started = false;
};

PlayerSound sound_open(const std::string& folder) {
    PlayerSound sound;
    if (!audio_init(AUDIO_DEFAULT_DEVICE, AUDIO_FREQUENCY)) {
        std::fprintf(stderr, "zirbelon-player: no sound device: the show runs silent on its own clock\n");
        return sound;
    }
    const std::string path = (std::filesystem::path(folder) / TUNE_FILE).string();
    sound.stream = audio_stream_create_file(path.c_str(), AUDIO_STREAM_PRESCAN);
    if (!sound.stream)
        std::fprintf(stderr, "zirbelon-player: cannot play %s: the show runs silent on its own clock\n",
                     path.c_str());
    return sound;
}

// The tune leads while it plays at its own speed; otherwise the clock does.
bool sound_leads(const PlayerSound& sound, const PlayerClock& clock) {
    return sound.stream && clock.playing && clock.speed == 1.0;
}

double sound_row(const PlayerSound& sound) {
    const double seconds =
        audio_channel_bytes_to_seconds(sound.stream, audio_channel_get_position(sound.stream));
    return seconds * ROWS_PER_SECOND;
}

// The tune goes where the clock is: played from its row while it leads,
// stopped otherwise.
void sound_follow(PlayerSound& sound, const PlayerClock& clock, double row) {
    if (!sound.stream) return;
    audio_channel_set_position(sound.stream,
                               audio_channel_seconds_to_bytes(sound.stream, std::max(row, 0.0) / ROWS_PER_SECOND));
    if (sound_leads(sound, clock)) {
        if (!sound.started) sound.started = audio_start();
        audio_channel_play(sound.stream, false);
    } else {
        audio_channel_pause(sound.stream);
    }
}

LinkHello hello_of(const PlayerScreen& screen, int32_t width, int32_t height) {
    LinkHello hello;
    hello.program = "zirbelon-player " + std::string(cli_version());
    hello.os = player_system_name();
    hello.gl_renderer = player_screen_renderer(screen);
    hello.gl_version = player_screen_version(screen);
    hello.screen_width = width;
    hello.screen_height = height;
    for (std::string* text : {&hello.program, &hello.os, &hello.gl_renderer, &hello.gl_version})
        if (text->size() > LINK_TEXT_MAX) text->resize(LINK_TEXT_MAX);
    return hello;
}

// Builds a scene's program from the show's text; tells the studio how it went,
// and stderr when it failed.
void scene_build(PlayerScreen& screen, PlayerLink* link, bool landscape, const std::string& text) {
    const PlayerBuild build = player_screen_build(screen, landscape, text);
    if (!build.built)
        std::fprintf(stderr, "zirbelon-player: the %s's shader does not build; it goes on with the last one "
                             "that did:\n%s%s",
                     landscape ? "landscape" : "title", build.log.c_str(),
                     build.log.empty() || build.log.back() != '\n' ? "\n" : "");
    if (link) {
        std::string log = build.log;
        if (log.size() > LINK_SHADER_LOG_BYTES_MAX) log.resize(LINK_SHADER_LOG_BYTES_MAX);
        player_link_send(*link, LinkShaderLog{landscape ? LinkScene::landscape : LinkScene::title, build.built,
                                              std::move(log)});
    }
}

}  // namespace

int main(int argc, char** argv) {
    PlayerOptions options;
    const std::vector<std::string_view> args = cli_arguments(argc, argv);
    if (const std::optional<int> done = player_options_parse(args, options)) return *done;
    std::string error;
    if (!options.link_host.empty() && !net_start(error)) {
        std::fprintf(stderr, "zirbelon-player: %s\n", error.c_str());
        return CLI_FAILED;
    }
    if (!player_window_open(options.window, error)) {
        std::fprintf(stderr, "zirbelon-player: %s\n", error.c_str());
        return CLI_FAILED;
    }
    PlayerScreen screen = player_screen_create({player_gl_proc, player_gl_rect});
    PlayerShow show = player_show_create(options.folder, options.from_seconds * ROWS_PER_SECOND, monotonic_ns());
    if (!show.tracks) {
        std::fprintf(stderr, "zirbelon-player: out of memory for the tracks\n");
        return CLI_FAILED;
    }
    scene_build(screen, nullptr, true, show.landscape);
    scene_build(screen, nullptr, false, show.title);
    PlayerSound sound = sound_open(options.folder);
    sound_follow(sound, show.clock, show.clock.anchor_row);

    int32_t width = 0, height = 0;
    player_window_size(width, height);
    PlayerLink link;
    const bool linking = !options.link_host.empty();
    link.host = options.link_host;
    link.port = options.link_port;
    link.hello = hello_of(screen, width, height);

    double row = show.clock.anchor_row;
    double drawn_row = -1.0;
    uint64_t drawn_changes = UINT64_MAX;
    int32_t drawn_width = 0, drawn_height = 0;
    int64_t frames = 0, frames_since_ns = monotonic_ns();
    std::vector<LinkMessage> received;
    while (player_window_poll()) {
        int64_t now = monotonic_ns();
        if (linking) {
            received.clear();
            player_link_update(link, now, received);
            for (const LinkMessage& message : received) {
                if (!player_show_apply(show, message, now)) continue;
                if (const auto* shader = std::get_if<LinkShader>(&message)) {
                    const bool landscape = shader->scene == LinkScene::landscape;
                    scene_build(screen, &link, landscape, landscape ? show.landscape : show.title);
                } else if (std::holds_alternative<LinkTransport>(message)) {
                    sound_follow(sound, show.clock, show.clock.anchor_row);
                }
            }
        }
        now = monotonic_ns();
        const double before = row;
        if (sound_leads(sound, show.clock)) {
            row = player_clock_wrap(show.clock, before, sound_row(sound));
            if (row < before && show.clock.loop) {
                // Ran into the loop's end: the tune starts over at the loop's start.
                show.clock.anchor_row = row;
                show.clock.anchor_ns = now;
                sound_follow(sound, show.clock, row);
            }
        } else {
            row = player_clock_row(show.clock, now);
        }
        player_window_size(width, height);
        const bool changed = row != drawn_row || show.changes != drawn_changes || width != drawn_width ||
                             height != drawn_height;
        if (changed) {
            player_screen_draw(screen, scene_for_row(row), frame_values(show.camera, row), width, height);
            player_window_swap();
            drawn_row = row;
            drawn_changes = show.changes;
            drawn_width = width;
            drawn_height = height;
            ++frames;
            if (show.clock.playing) player_link_send(link, LinkPlayerRow{row});
        } else {
            std::this_thread::sleep_for(IDLE_WAIT);
        }
        // Once a second, drawing or standing paused (a rate of 0: nothing new to draw).
        now = monotonic_ns();
        if (now - frames_since_ns >= FRAME_TIME_PERIOD_NS) {
            const float fps = float(double(frames) * 1e9 / double(now - frames_since_ns));
            player_link_send(link, LinkFrameTime{screen.gpu_ms, fps});
            frames = 0;
            frames_since_ns = now;
        }
    }
    player_link_close(link);
    if (sound.stream) audio_stream_free(sound.stream);
    audio_free();
    player_screen_release(screen);
    player_window_close();
    return CLI_OK;
}
