// The track-file codec: decoding a file's bytes gives exactly what the track
// set loads from them, encoding gives bytes that decode back, file names are
// composed as the set composes them, and tools load only regular files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/tracks/fake_files.h"
#include "tracks/track_file.h"
#include "tracks/tracks.h"

namespace {

using namespace std::string_literals;

std::vector<Keyframe> keys_loaded_by_the_set(const Bytes& bytes) {
    fake_fs_reset();
    fake_fs().files["sync_t.track"] = bytes;
    TrackSetPtr set = trackset_create("sync");
    set->file_ops = fake_file_ops();
    std::vector<Keyframe> keys = trackset_get_track(*set, "t")->keys;
    trackset_destroy(std::move(set));
    return keys;
}

void expect_same_keys(const std::vector<Keyframe>& a, const std::vector<Keyframe>& b, const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].row, b[i].row) << what << " key " << i;
        EXPECT_EQ(std::bit_cast<uint32_t>(a[i].value), std::bit_cast<uint32_t>(b[i].value)) << what << " key " << i;
        EXPECT_EQ(a[i].kind, b[i].kind) << what << " key " << i;
    }
}

TEST(TrackFile, DecodingGivesWhatTheTrackSetLoads) {
    const Bytes two_keys = bytes_join({count_field_bytes(2), key_bytes(-5, 1.5f, 0x80), key_bytes(7, NAN, 3)});
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"two keys", two_keys},
        {"the count's high half set", bytes_join({count_field_bytes(0xFFFFFFFF00000002ull), key_bytes(1, 2.0f, 1),
                                                  key_bytes(2, 3.0f, 0)})},
        {"a negative count", bytes_join({count_field_bytes(0x80000000u), key_bytes(1, 2.0f, 1)})},
        {"trailing bytes", bytes_join({two_keys, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}})},
        {"a key cut short", Bytes(two_keys.begin(), two_keys.end() - 3)},
        {"a count cut short", Bytes(two_keys.begin(), two_keys.begin() + 5)},
        {"nothing", {}},
        {"a huge count", bytes_join({count_field_bytes(0x7FFFFFFF), key_bytes(9, 4.0f, 2)})},
    };
    for (const auto& [what, bytes] : files) {
        const TrackFileContents contents = track_file_decode(bytes);
        expect_same_keys(contents.keys, keys_loaded_by_the_set(bytes), what);
        EXPECT_EQ(contents.size, bytes.size()) << what;
        EXPECT_EQ(contents.has_count, bytes.size() >= TRACK_FILE_COUNT_BYTES) << what;
    }
    EXPECT_EQ(track_file_decode(files[1].second).count, 2);
    EXPECT_EQ(track_file_decode(files[2].second).count, INT32_MIN);
}

TEST(TrackFile, EncodedKeysDecodeBackBitForBit) {
    const std::vector<Keyframe> keys = {{INT32_MIN, -0.0f, -128}, {0, std::bit_cast<float>(0x7f800001u), 127},
                                        {INT32_MAX, 3.5f, INTERP_QUADRATIC}};
    const std::vector<uint8_t> bytes = track_file_encode(keys);
    EXPECT_EQ(bytes.size(), TRACK_FILE_COUNT_BYTES + keys.size() * TRACK_FILE_KEY_BYTES);
    expect_same_keys(track_file_decode(bytes).keys, keys, "round trip");
}

TEST(TrackFile, PathsAreComposedAsTheSetComposesThemOrRefused) {
    EXPECT_EQ(track_file_path("sync", "cam.rot"), "sync_cam.rot.track");
    const std::string longest(TRACK_PATH_MAX - "sync_.track"s.size(), 'n');
    EXPECT_EQ(track_file_path("sync", longest)->size(), TRACK_PATH_MAX);
    EXPECT_FALSE(track_file_path("sync", longest + "n"));
    EXPECT_FALSE(track_file_path("sync", "cam\0rot"s));
    EXPECT_FALSE(track_file_path("sy\0nc"s, "cam"));
}

TEST(TrackFile, ToolsLoadRegularFilesOnly) {
    std::random_device random;
    const auto dir = std::filesystem::path(testing::TempDir()) / ("zirbelon_track_file_" + std::to_string(random()));
    std::filesystem::create_directories(dir / "sync_folder.track");
    const std::vector<uint8_t> bytes = track_file_encode(std::vector<Keyframe>{{0, 1.0f, 1}, {10, 2.0f, 0}});
    std::ofstream(dir / "sync_t.track", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_EQ(mkfifo((dir / "sync_fifo.track").c_str(), 0644), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "sync_zero.track");
    alarm(30);  // a blocked open ends the test instead of hanging it

    TrackFileContents contents;
    std::string error;
    ASSERT_TRUE(track_file_load((dir / "sync_t.track").string(), contents, error)) << error;
    EXPECT_EQ(contents.keys.size(), 2u);
    for (const char* name : {"sync_folder.track", "sync_fifo.track", "sync_zero.track", "sync_absent.track"}) {
        EXPECT_FALSE(track_file_load((dir / name).string(), contents, error)) << name;
        EXPECT_NE(error.find(name), std::string::npos) << error;
    }
    alarm(0);
    std::filesystem::remove_all(dir);
}

}  // namespace
