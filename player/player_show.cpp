// The player's tracks, texts and clock, changed by the studio's messages.
#include "player/player_show.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "shaders/programs.h"

namespace {

// The set's track of that name, created empty (not read from a file: the
// studio's keys are the truth once linked) when the set has none.
Track* track_named(TrackSet& set, const std::string& name) {
    for (const std::unique_ptr<Track>& track : set.tracks)
        if (track->name == name) return track.get();
    auto track = std::make_unique<Track>();
    track->name = name;
    set.tracks.push_back(std::move(track));
    return set.tracks.back().get();
}

std::vector<Keyframe>::iterator key_at_or_after(std::vector<Keyframe>& keys, int32_t row) {
    return std::lower_bound(keys.begin(), keys.end(), row,
                            [](const Keyframe& key, int32_t wanted) { return key.row < wanted; });
}

// A track the studio made may be one of the camera's.
void camera_refresh(PlayerShow& show) {
    show.camera = {};
    for (const std::unique_ptr<Track>& track : show.tracks->tracks) camera_tracks_take(show.camera, *track);
}

}  // namespace

PlayerShow player_show_create(const std::string& folder, double row, int64_t now_ns) {
    PlayerShow show;
    show.tracks = trackset_create(folder.empty() ? std::string(TRACKSET_BASE_NAME) : folder + "/" + TRACKSET_BASE_NAME);
    if (show.tracks) show.camera = camera_tracks_request(*show.tracks);
    show.landscape = landscape_glsl;
    show.title = title_glsl;
    show.clock.anchor_row = row;
    show.clock.anchor_ns = now_ns;
    return show;
}

bool player_show_apply(PlayerShow& show, const LinkMessage& message, int64_t now_ns) {
    if (const auto* track = std::get_if<LinkTrack>(&message)) {
        if (!show.tracks) return false;
        track_named(*show.tracks, track->name)->keys = track->keys;
        camera_refresh(show);
    } else if (const auto* set = std::get_if<LinkKeySet>(&message)) {
        if (!show.tracks) return false;
        std::vector<Keyframe>& keys = track_named(*show.tracks, set->track)->keys;
        const auto at = key_at_or_after(keys, set->key.row);
        if (at != keys.end() && at->row == set->key.row)
            *at = set->key;
        else
            keys.insert(at, set->key);
        camera_refresh(show);
    } else if (const auto* erase = std::get_if<LinkKeyDelete>(&message)) {
        if (!show.tracks) return false;
        std::vector<Keyframe>& keys = track_named(*show.tracks, erase->track)->keys;
        const auto at = key_at_or_after(keys, erase->row);
        if (at != keys.end() && at->row == erase->row) keys.erase(at);
    } else if (const auto* shader = std::get_if<LinkShader>(&message)) {
        (shader->scene == LinkScene::landscape ? show.landscape : show.title) = shader->text;
    } else if (const auto* transport = std::get_if<LinkTransport>(&message)) {
        PlayerClock& clock = show.clock;
        clock.playing = transport->playing;
        clock.speed = transport->speed;
        clock.loop = transport->loop;
        clock.loop_in = transport->loop_in;
        clock.loop_out = transport->loop_out;
        clock.anchor_row = transport->row;
        clock.anchor_ns = now_ns;
    } else {
        return false;
    }
    ++show.changes;
    return true;
}

double player_clock_wrap(const PlayerClock& clock, double from, double to) {
    const double span = clock.loop_out - clock.loop_in;
    if (!clock.loop || span <= 0.0 || from >= clock.loop_out || to < clock.loop_out) return to;
    return clock.loop_in + std::fmod(to - clock.loop_in, span);
}

double player_clock_row(const PlayerClock& clock, int64_t now_ns) {
    if (!clock.playing) return clock.anchor_row;
    const double run = double(now_ns - clock.anchor_ns) * 1e-9 * ROWS_PER_SECOND * clock.speed;
    return player_clock_wrap(clock, clock.anchor_row, clock.anchor_row + run);
}
