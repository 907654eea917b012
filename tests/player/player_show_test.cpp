// The player's show: the studio's messages on its tracks and texts, its
// clock's loop rules, the letterbox and the command line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "player/player_link.h"
#include "player/player_options.h"
#include "player/player_screen.h"
#include "player/player_show.h"
#include "tests/support/scratch_folder.h"
#include "tools/common/cli.h"
#include "tracks/track_file.h"

namespace {

constexpr int64_t SECOND = 1'000'000'000;

std::vector<int32_t> rows_of(const Track& track) {
    std::vector<int32_t> rows;
    for (const Keyframe& key : track.keys) rows.push_back(key.row);
    return rows;
}

const Track* find_track(const PlayerShow& show, std::string_view name) {
    for (const auto& track : show.tracks->tracks)
        if (track->name == name) return track.get();
    return nullptr;
}

std::optional<int> parse(std::vector<std::string_view> args, PlayerOptions& options) {
    return player_options_parse(args, options);
}

}  // namespace

TEST(PlayerShow, KeysFromTheStudioReplaceInsertAndDeleteInRowOrder) {
    PlayerShow show = player_show_create(scratch_folder("player").string(), 0.0, 0);
    ASSERT_TRUE(show.tracks);
    EXPECT_EQ(frame_values(show.camera, 10.0).y, 0.0f);  // no files: every track at 0

    ASSERT_TRUE(player_show_apply(show, LinkTrack{"cam.dist", {{0, 1.0f, INTERP_LINEAR}, {20, 3.0f, INTERP_HOLD}}}, 0));
    EXPECT_FLOAT_EQ(frame_values(show.camera, 10.0).y, 2.0f);

    player_show_apply(show, LinkKeySet{"cam.dist", {10, 5.0f, INTERP_HOLD}}, 0);
    player_show_apply(show, LinkKeySet{"cam.dist", {-5, 7.0f, INTERP_HOLD}}, 0);
    player_show_apply(show, LinkKeySet{"cam.dist", {20, 4.0f, INTERP_HOLD}}, 0);  // same row: replaced
    EXPECT_EQ(rows_of(*find_track(show, "cam.dist")), (std::vector<int32_t>{-5, 0, 10, 20}));
    EXPECT_FLOAT_EQ(frame_values(show.camera, 15.0).y, 5.0f);
    EXPECT_FLOAT_EQ(frame_values(show.camera, 30.0).y, 4.0f);

    player_show_apply(show, LinkKeyDelete{"cam.dist", 10}, 0);
    player_show_apply(show, LinkKeyDelete{"cam.dist", 11}, 0);  // no key there: nothing
    EXPECT_EQ(rows_of(*find_track(show, "cam.dist")), (std::vector<int32_t>{-5, 0, 20}));

    // A track the folder never had is made, and kept though nothing reads it.
    player_show_apply(show, LinkKeySet{"fog.density", {3, 0.5f, INTERP_LINEAR}}, 0);
    ASSERT_NE(find_track(show, "fog.density"), nullptr);
    EXPECT_EQ(find_track(show, "fog.density")->keys.size(), 1u);
}

TEST(PlayerShow, TheFoldersTracksPlayUntilTheStudioSendsItsOwn) {
    const std::filesystem::path folder = scratch_folder("player");
    const Keyframe key{0, 5.0f, INTERP_HOLD};
    const std::vector<uint8_t> file = track_file_encode(std::span(&key, 1));
    std::ofstream(folder / "sync_cam.rot.track", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    PlayerShow show = player_show_create(folder.string(), 0.0, 0);
    EXPECT_FLOAT_EQ(frame_values(show.camera, 100.0).rot, 5.0f);
    player_show_apply(show, LinkTrack{"cam.rot", {{0, 2.0f, INTERP_HOLD}}}, 0);
    EXPECT_FLOAT_EQ(frame_values(show.camera, 100.0).rot, 2.0f);
}

TEST(PlayerShow, ShaderTextsAndTransportCountAsChanges) {
    PlayerShow show = player_show_create("", 0.0, 0);
    const uint64_t before = show.changes;
    player_show_apply(show, LinkShader{LinkScene::title, "void main() {}"}, 0);
    EXPECT_EQ(show.title, "void main() {}");
    player_show_apply(show, LinkTransport{false, 321.5, false, 0.0, 0.0, 1.0}, 0);
    EXPECT_EQ(show.changes, before + 2);
    EXPECT_FALSE(player_show_apply(show, LinkPlayerRow{3.0}, 0));  // not the studio's to send
    EXPECT_EQ(show.changes, before + 2);
}

TEST(PlayerClock, StandsPausedRunsAtSpeedAndWrapsOnlyARunIntoTheLoopsEnd) {
    PlayerShow show = player_show_create("", 0.0, 0);
    player_show_apply(show, LinkTransport{false, 100.0, false, 0.0, 0.0, 1.0}, 0);
    EXPECT_EQ(player_clock_row(show.clock, 10 * SECOND), 100.0);

    player_show_apply(show, LinkTransport{true, 100.0, false, 0.0, 0.0, 2.0}, SECOND);
    EXPECT_DOUBLE_EQ(player_clock_row(show.clock, 2 * SECOND), 140.0);  // 20 rows a second, twice as fast

    // A loop from 110 to 130: a run from 100 reaches 130 after 1.5 s, then starts over at 110.
    player_show_apply(show, LinkTransport{true, 100.0, true, 110.0, 130.0, 1.0}, 0);
    EXPECT_DOUBLE_EQ(player_clock_row(show.clock, SECOND), 120.0);
    EXPECT_DOUBLE_EQ(player_clock_row(show.clock, 2 * SECOND), 120.0);  // 140 wraps to 120
    EXPECT_DOUBLE_EQ(player_clock_row(show.clock, 3 * SECOND), 120.0);

    // Started past the loop's end, it plays on.
    player_show_apply(show, LinkTransport{true, 200.0, true, 110.0, 130.0, 1.0}, 0);
    EXPECT_DOUBLE_EQ(player_clock_row(show.clock, SECOND), 220.0);
}

TEST(PlayerScreen, LetterboxIsTheLargestCentredSixteenByNine) {
    const Letterbox same = letterbox_fit(1920, 1080);
    EXPECT_EQ(same.x, 0);
    EXPECT_EQ(same.width, 1920);
    const Letterbox tall = letterbox_fit(1280, 1024);  // bars above and below
    EXPECT_EQ(tall.width, 1280);
    EXPECT_EQ(tall.height, 720);
    EXPECT_EQ(tall.y, 152);
    const Letterbox wide = letterbox_fit(2560, 1080);  // bars left and right
    EXPECT_EQ(wide.height, 1080);
    EXPECT_EQ(wide.width, 1920);
    EXPECT_EQ(wide.x, 320);
    EXPECT_EQ(letterbox_fit(0, 600).width, 0);
}

TEST(PlayerOptions, WindowStartAndLinkAreReadStrictly) {
    PlayerOptions options;
    EXPECT_EQ(parse({"show", "--size", "1280x720", "--display", "1", "--from", "1:04.5", "--link", "10.0.0.2"},
                    options),
              std::nullopt);
    EXPECT_EQ(options.folder, "show");
    EXPECT_FALSE(options.window.fullscreen);
    EXPECT_EQ(options.window.width, 1280);
    EXPECT_EQ(options.window.display, 1);
    EXPECT_DOUBLE_EQ(options.from_seconds, 64.5);
    EXPECT_EQ(options.link_host, "10.0.0.2");
    EXPECT_EQ(options.link_port, LINK_PORT);

    PlayerOptions fullscreen;
    EXPECT_EQ(parse({}, fullscreen), std::nullopt);
    EXPECT_TRUE(fullscreen.window.fullscreen);
    EXPECT_TRUE(fullscreen.link_host.empty());

    for (std::vector<std::string_view> wrong :
         {std::vector<std::string_view>{"--link", "studio:0"}, {"--link", ":7720"}, {"--link", "studio:65536"},
          {"--size", "0x10"}, {"--from", "-1"}, {"a", "b"}, {"--display", "x"}}) {
        PlayerOptions ignored;
        EXPECT_EQ(parse(wrong, ignored), CLI_USAGE) << wrong[0] << " " << wrong[1];
    }
}

TEST(PlayerLink, AddressTakesAPortOrTheDefault) {
    std::string host, error;
    uint16_t port = 0;
    ASSERT_TRUE(player_link_address("studio.local:7800", host, port, error));
    EXPECT_EQ(host, "studio.local");
    EXPECT_EQ(port, 7800);
    ASSERT_TRUE(player_link_address("127.0.0.1", host, port, error));
    EXPECT_EQ(port, LINK_PORT);
    EXPECT_FALSE(player_link_address("studio:x", host, port, error));
    EXPECT_FALSE(error.empty());
}
