// The studio's state turned into link messages, and the record of what the
// players hold, so that an edit costs a message per key it changed.
#include "tools/studio/model/link_sync.h"

#include <algorithm>

#include "presentation/presentation.h"
#include "tools/studio/model/track_document.h"

void link_keys_diff(std::string_view track, std::span<const Keyframe> from, std::span<const Keyframe> to,
                    std::vector<LinkMessage>& out) {
    std::vector<LinkMessage> changes;
    size_t a = 0, b = 0;
    // One walk over both: rows only in from go, rows only in to come, rows in
    // both change when their bits or kind do.
    while (a < from.size() || b < to.size()) {
        if (b == to.size() || (a < from.size() && from[a].row < to[b].row)) {
            changes.push_back(LinkKeyDelete{std::string(track), from[a++].row});
        } else if (a == from.size() || to[b].row < from[a].row) {
            changes.push_back(LinkKeySet{std::string(track), to[b++]});
        } else {
            if (!keyframe_same(from[a], to[b])) changes.push_back(LinkKeySet{std::string(track), to[b]});
            ++a;
            ++b;
        }
    }
    if (2 * changes.size() > std::max(from.size(), to.size())) {
        out.push_back(LinkTrack{std::string(track), std::vector<Keyframe>(to.begin(), to.end())});
        return;
    }
    std::move(changes.begin(), changes.end(), std::back_inserter(out));
}

void link_tracks_sync(LinkSent& sent, const EditModel& model, std::vector<LinkMessage>& out) {
    for (const EditTrack& edit : model.tracks) {
        const Track& track = edit.track;
        const auto held = std::find_if(sent.tracks.begin(), sent.tracks.end(),
                                       [&](const LinkTrack& t) { return t.name == track.name; });
        if (held == sent.tracks.end()) {
            sent.tracks.push_back(LinkTrack{track.name, track.keys});
            out.push_back(sent.tracks.back());
            continue;
        }
        link_keys_diff(track.name, held->keys, track.keys, out);
        held->keys = track.keys;
    }
}

namespace {

void shader_sync(std::string& sent, bool& too_long, LinkScene scene, std::string_view text,
                 std::vector<LinkMessage>& out, std::string& refused) {
    if (sent == text) return;
    if (text.size() > LINK_SHADER_BYTES_MAX) {
        if (!too_long)
            refused = std::string(scene == LinkScene::landscape ? "the landscape's" : "the title's") + " text is " +
                      std::to_string(text.size()) + " bytes, over the link's " +
                      std::to_string(LINK_SHADER_BYTES_MAX) + ": the players keep the last one";
        too_long = true;
        return;
    }
    too_long = false;
    sent = text;
    out.push_back(LinkShader{scene, sent});
}

}  // namespace

void link_shaders_sync(LinkSent& sent, std::string_view landscape, std::string_view title,
                       std::vector<LinkMessage>& out, std::string& refused) {
    shader_sync(sent.landscape, sent.landscape_too_long, LinkScene::landscape, landscape, out, refused);
    shader_sync(sent.title, sent.title_too_long, LinkScene::title, title, out, refused);
}

LinkTransport link_transport_of(const Transport& transport, int64_t now_ns) {
    LinkTransport link;
    link.playing = transport.playing;
    link.row = transport_seconds(transport, now_ns) * ROWS_PER_SECOND;
    link.loop = transport.loop;
    link.loop_in = transport.loop_in * ROWS_PER_SECOND;
    link.loop_out = transport.loop_out * ROWS_PER_SECOND;
    link.speed = transport.speed;
    return link;
}

std::vector<LinkMessage> link_state_messages(const LinkSent& sent, const LinkTransport& transport) {
    std::vector<LinkMessage> state;
    state.reserve(sent.tracks.size() + 3);
    for (const LinkTrack& track : sent.tracks) state.push_back(track);
    state.push_back(LinkShader{LinkScene::landscape, sent.landscape});
    state.push_back(LinkShader{LinkScene::title, sent.title});
    state.push_back(transport);
    return state;
}
