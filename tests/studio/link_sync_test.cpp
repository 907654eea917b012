// What the studio sends its players: key diffs that a player applying them as
// docs/link.md says ends up with the studio's keys bit for bit, tracks and
// shaders sent only when they changed, the whole state in the connect
// sequence's order, and the transport in rows.
#include "tools/studio/model/link_sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int64_t SECOND = 1'000'000'000;
constexpr int64_t T0 = 987'654 * SECOND;

float nan_with(uint32_t payload) { return std::bit_cast<float>(0x7fc00000u | payload); }

// A player's tracks, changed as docs/link.md tells a player to.
using PlayerTracks = std::map<std::string, std::vector<Keyframe>>;

void player_apply(PlayerTracks& tracks, const LinkMessage& message) {
    if (const auto* track = std::get_if<LinkTrack>(&message)) {
        tracks[track->name] = track->keys;
    } else if (const auto* set = std::get_if<LinkKeySet>(&message)) {
        std::vector<Keyframe>& keys = tracks[set->track];
        const auto at = std::lower_bound(keys.begin(), keys.end(), set->key.row,
                                         [](const Keyframe& k, int32_t row) { return k.row < row; });
        if (at != keys.end() && at->row == set->key.row)
            *at = set->key;
        else
            keys.insert(at, set->key);
    } else if (const auto* gone = std::get_if<LinkKeyDelete>(&message)) {
        std::erase_if(tracks[gone->track], [&](const Keyframe& k) { return k.row == gone->row; });
    } else {
        ADD_FAILURE() << "a key diff holds only tracks, key sets and key deletes";
    }
}

// The same keys by their bits, as a track file would hold them.
::testing::AssertionResult same_keys(const std::vector<Keyframe>& got, const std::vector<Keyframe>& want) {
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << got.size() << " keys, not " << want.size();
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i].row != want[i].row ||
            std::bit_cast<uint32_t>(got[i].value) != std::bit_cast<uint32_t>(want[i].value) ||
            got[i].kind != want[i].kind)
            return ::testing::AssertionFailure() << "key " << i << " differs (row " << got[i].row << ")";
    return ::testing::AssertionSuccess();
}

std::vector<LinkMessage> diff(const std::vector<Keyframe>& from, const std::vector<Keyframe>& to) {
    std::vector<LinkMessage> out;
    link_keys_diff("cam.dist", from, to, out);
    return out;
}

std::vector<Keyframe> applied(const std::vector<Keyframe>& from, const std::vector<LinkMessage>& messages) {
    PlayerTracks tracks{{"cam.dist", from}};
    for (const LinkMessage& message : messages) player_apply(tracks, message);
    EXPECT_EQ(tracks.size(), 1u) << "every message names the diffed track";
    return tracks["cam.dist"];
}

size_t count_of(const std::vector<LinkMessage>& messages, LinkKind kind) {
    return size_t(std::count_if(messages.begin(), messages.end(),
                                [&](const LinkMessage& m) { return link_message_kind(m) == kind; }));
}

const std::vector<Keyframe> TEN = {{0, 1.0f, 0},  {10, 2.0f, 1}, {20, 3.0f, 2}, {30, 4.0f, 3}, {40, 5.0f, 0},
                                   {50, 6.0f, 1}, {60, 7.0f, 2}, {70, 8.0f, 3}, {80, 9.0f, 0}, {90, 0.5f, 1}};

std::vector<Keyframe> with(std::vector<Keyframe> keys, size_t at, Keyframe key) {
    keys[at] = key;
    return keys;
}

TEST(LinkKeysDiff, ApplyingItToTheOldKeysGivesTheNewOnes) {
    std::vector<Keyframe> moved = TEN;
    moved.erase(moved.begin() + 3);
    moved.insert(moved.begin() + 5, Keyframe{55, 4.0f, 3});  // row 30 moved to 55
    std::vector<Keyframe> deleted = TEN;
    deleted.erase(deleted.begin() + 9);
    deleted.erase(deleted.begin());
    std::vector<Keyframe> inserted = TEN;
    inserted.insert(inserted.begin() + 1, Keyframe{5, -1.0f, 0});
    inserted.push_back(Keyframe{1'000'000, 3.0f, 2});
    std::vector<Keyframe> negative_rows = {{-20, 1.0f, 0}, {-5, 2.0f, 1}};
    negative_rows.insert(negative_rows.end(), TEN.begin(), TEN.end());
    const struct {
        const char* what;
        std::vector<Keyframe> from, to;
    } cases[] = {
        {"nothing changed", TEN, TEN},
        {"a value", TEN, with(TEN, 4, {40, 5.25f, 0})},
        {"0 to -0: only the sign bit", TEN, with(TEN, 2, {20, -0.0f, 2})},
        {"a kind", TEN, with(TEN, 6, {60, 7.0f, 0})},
        {"a kind the tools do not know", TEN, with(TEN, 6, {60, 7.0f, 9})},
        {"a key moved", TEN, moved},
        {"the first and last keys deleted", TEN, deleted},
        {"keys inserted at the front and far on", TEN, inserted},
        {"keys before row 0", TEN, negative_rows},
        {"from nothing", {}, TEN},
        {"to nothing", TEN, {}},
        {"every key shifted by a row", TEN, [] {
             std::vector<Keyframe> shifted = TEN;
             for (Keyframe& key : shifted) ++key.row;
             return shifted;
         }()},
        {"a NaN's payload", with(TEN, 1, {10, nan_with(1), 1}), with(TEN, 1, {10, nan_with(2), 1})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<LinkMessage> messages = diff(c.from, c.to);
        EXPECT_TRUE(same_keys(applied(c.from, messages), c.to));
    }
}

TEST(LinkKeysDiff, AFewChangesGoAsKeysAndManyAsTheWholeTrack) {
    EXPECT_TRUE(diff(TEN, TEN).empty());
    const std::vector<Keyframe> nan_track = with(TEN, 1, {10, nan_with(7), 1});
    EXPECT_TRUE(diff(nan_track, nan_track).empty()) << "a NaN equals itself by its bits";

    const std::vector<LinkMessage> one = diff(TEN, with(TEN, 4, {40, 5.25f, 0}));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], LinkMessage(LinkKeySet{"cam.dist", {40, 5.25f, 0}}));

    std::vector<Keyframe> moved = TEN;
    moved[3].row = 35;
    const std::vector<LinkMessage> move = diff(TEN, moved);
    EXPECT_EQ(count_of(move, LinkKind::key_delete), 1u);
    EXPECT_EQ(count_of(move, LinkKind::key_set), 1u);
    EXPECT_EQ(move.size(), 2u);

    std::vector<Keyframe> most = TEN;
    for (size_t i = 0; i < 6; ++i) most[i].value += 1.0f;
    const std::vector<LinkMessage> whole = diff(TEN, most);
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0], LinkMessage(LinkTrack{"cam.dist", most}));

    std::vector<Keyframe> half = TEN;
    for (size_t i = 0; i < 5; ++i) half[i].value += 1.0f;
    EXPECT_EQ(count_of(diff(TEN, half), LinkKind::key_set), 5u) << "half of the keys still go one by one";
}

TEST(LinkKeysDiff, ANaNGoesWithItsOwnBits) {
    const std::vector<LinkMessage> messages = diff(TEN, with(TEN, 0, {0, nan_with(0x1234), 0}));
    ASSERT_EQ(messages.size(), 1u);
    const auto* set = std::get_if<LinkKeySet>(&messages[0]);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(std::bit_cast<uint32_t>(set->key.value), 0x7fc01234u);
}

EditModel model_of(std::vector<Track> tracks) {
    EditModel model;
    for (Track& track : tracks) {
        EditTrack edit;
        edit.document.name = track.name;
        edit.track = std::move(track);
        model.tracks.push_back(std::move(edit));
    }
    return model;
}

TEST(LinkTracksSync, SendsEachTrackWholeOnceThenItsChanges) {
    EditModel model = model_of({{"clear.r", {{0, 0.1f, 0}}}, {"cam.dist", TEN}, {"cam.rot", {}}});
    LinkSent sent;
    std::vector<LinkMessage> out;
    link_tracks_sync(sent, model, out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], LinkMessage(LinkTrack{"clear.r", {{0, 0.1f, 0}}}));
    EXPECT_EQ(out[1], LinkMessage(LinkTrack{"cam.dist", TEN}));
    EXPECT_EQ(out[2], LinkMessage(LinkTrack{"cam.rot", {}})) << "an empty track goes too: the player's is emptied";

    out.clear();
    link_tracks_sync(sent, model, out);
    EXPECT_TRUE(out.empty()) << "nothing changed";

    model.tracks[1].track.keys[2].value = 42.0f;
    model.tracks[2].track.keys.push_back({7, 1.0f, 1});
    model.tracks[2].track.keys.push_back({9, 2.0f, 1});
    model.tracks[2].track.keys.push_back({12, 3.0f, 1});
    link_tracks_sync(sent, model, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], LinkMessage(LinkKeySet{"cam.dist", {20, 42.0f, 2}}));
    EXPECT_EQ(out[1], LinkMessage(LinkTrack{"cam.rot", model.tracks[2].track.keys}));
    ASSERT_EQ(sent.tracks.size(), 3u);
    EXPECT_TRUE(same_keys(sent.tracks[1].keys, model.tracks[1].track.keys));
    EXPECT_TRUE(same_keys(sent.tracks[2].keys, model.tracks[2].track.keys));
}

TEST(LinkShadersSync, SendsAScenesTextOnlyWhenItChanged) {
    LinkSent sent;
    std::vector<LinkMessage> out;
    std::string refused;
    link_shaders_sync(sent, "land 1", "title 1", out, refused);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], LinkMessage(LinkShader{LinkScene::landscape, "land 1"}));
    EXPECT_EQ(out[1], LinkMessage(LinkShader{LinkScene::title, "title 1"}));
    out.clear();
    link_shaders_sync(sent, "land 1", "title 1", out, refused);
    EXPECT_TRUE(out.empty());
    link_shaders_sync(sent, "land 1", "title 2", out, refused);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], LinkMessage(LinkShader{LinkScene::title, "title 2"}));
    EXPECT_EQ(sent.title, "title 2");
    EXPECT_EQ(refused, "");
}

TEST(LinkShadersSync, ATextTooLongForTheLinkIsSaidOnceAndNotSent) {
    LinkSent sent;
    std::vector<LinkMessage> out;
    std::string refused;
    link_shaders_sync(sent, "land", "title", out, refused);
    out.clear();
    const std::string huge(LINK_SHADER_BYTES_MAX + 1, ' ');
    link_shaders_sync(sent, huge, "title", out, refused);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(sent.landscape, "land") << "a player that connects gets the last text that went";
    EXPECT_NE(refused.find("the landscape's text is 1048577 bytes"), std::string::npos) << refused;
    refused.clear();
    link_shaders_sync(sent, huge, "title", out, refused);
    EXPECT_EQ(refused, "") << "said once";

    const std::string longest(LINK_SHADER_BYTES_MAX, ' ');
    link_shaders_sync(sent, longest, "title", out, refused);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], LinkMessage(LinkShader{LinkScene::landscape, longest}));
}

TEST(LinkState, TracksThenLandscapeThenTitleThenTheTransport) {
    LinkSent sent;
    sent.tracks = {{"clear.r", {{0, 0.1f, 0}}}, {"cam.dist", TEN}};
    sent.landscape = "land";
    sent.title = "title";
    LinkTransport transport;
    transport.playing = true;
    transport.row = 321.5;
    const std::vector<LinkMessage> state = link_state_messages(sent, transport);
    ASSERT_EQ(state.size(), 5u);
    EXPECT_EQ(state[0], LinkMessage(sent.tracks[0]));
    EXPECT_EQ(state[1], LinkMessage(sent.tracks[1]));
    EXPECT_EQ(state[2], LinkMessage(LinkShader{LinkScene::landscape, "land"}));
    EXPECT_EQ(state[3], LinkMessage(LinkShader{LinkScene::title, "title"}));
    EXPECT_EQ(state[4], LinkMessage(transport));
}

TEST(LinkTransportOf, RowsAreSecondsTimesTwentyAtTheGivenTime) {
    Transport transport = transport_create(180.0);
    ASSERT_TRUE(transport_set_loop(transport, 10.0, 12.5, T0));
    ASSERT_TRUE(transport_set_speed(transport, 2.0, T0));
    transport_clear_loop(transport, T0);
    transport_seek(transport, 30.0, T0);
    LinkTransport link = link_transport_of(transport, T0 + 5 * SECOND);
    EXPECT_FALSE(link.playing);
    EXPECT_DOUBLE_EQ(link.row, 600.0) << "paused, it stands where it was sought";
    EXPECT_FALSE(link.loop);
    EXPECT_DOUBLE_EQ(link.loop_in, 200.0) << "the span goes while the loop is off";
    EXPECT_DOUBLE_EQ(link.loop_out, 250.0);
    EXPECT_DOUBLE_EQ(link.speed, 2.0);

    transport_play(transport, T0 + 5 * SECOND);
    link = link_transport_of(transport, T0 + 6 * SECOND);
    EXPECT_TRUE(link.playing);
    EXPECT_NEAR(link.row, 640.0, 1e-6) << "one second at twice the speed from 30 s";
}

}  // namespace
