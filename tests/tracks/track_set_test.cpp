// The track set: finding and creating tracks, composing their paths, reading
// track files (whole, short, odd) and releasing everything.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "presentation/presentation.h"
#include "tests/tracks/fake_files.h"
#include "tracks/tracks.h"

using namespace std::string_literals;

namespace {

class TrackSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake_fs_reset();
        set = trackset_create("sync");
        ASSERT_TRUE(set);
        set->file_ops = fake_file_ops();
    }
    void TearDown() override {
        trackset_destroy(std::move(set));
        EXPECT_EQ(fake_fs_open_count(), 0) << "a track file was left open";
    }
    void put(const std::string& path, Bytes bytes) { fake_fs().files[path] = std::move(bytes); }

    TrackSetPtr set;
};

using TrackLoadTest = TrackSetTest;
using TrackPathTest = TrackSetTest;

void expect_key(const Keyframe& key, int32_t row, float value, int32_t kind) {
    EXPECT_EQ(key.row, row);
    EXPECT_EQ(std::bit_cast<uint32_t>(key.value), std::bit_cast<uint32_t>(value));
    EXPECT_EQ(key.kind, kind);
}

TEST_F(TrackSetTest, SameNameGivesSameTrackAndReadsItsFileOnce) {
    put("sync_cam.rot.track", bytes_join({count_field_bytes(1), key_bytes(4, 2.5f, 1)}));
    Track* first = trackset_get_track(*set, "cam.rot");
    Track* again = trackset_get_track(*set, "cam.rot");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, again);
    EXPECT_EQ(first->name, "cam.rot");
    ASSERT_EQ(first->keys.size(), 1u);
    EXPECT_EQ(set->tracks.size(), 1u);
    EXPECT_EQ(fake_fs().opened_paths, std::vector<std::string>{"sync_cam.rot.track"});
    EXPECT_EQ(fake_fs().open_modes, std::vector<std::string>{"rb"});
    EXPECT_EQ(fake_fs().close_calls, 1);
}

TEST_F(TrackSetTest, MissingFileGivesEmptyTrackThatStaysEmpty) {
    Track* track = trackset_get_track(*set, "clear.r");
    ASSERT_NE(track, nullptr);
    EXPECT_TRUE(track->keys.empty());
    EXPECT_EQ(track_value(*track, 12.5), 0.0);
    EXPECT_EQ(fake_fs().close_calls, 0);

    // The file appearing later changes nothing: tracks load once.
    put("sync_clear.r.track", bytes_join({count_field_bytes(1), key_bytes(0, 1.0f, 0)}));
    EXPECT_EQ(trackset_get_track(*set, "clear.r"), track);
    EXPECT_TRUE(track->keys.empty());
    EXPECT_EQ(fake_fs().opened_paths.size(), 1u);
}

TEST_F(TrackSetTest, NamesMatchOnlyWhenEqualByteForByte) {
    put("sync_cam.track", bytes_join({count_field_bytes(1), key_bytes(0, 1.0f, 0)}));
    put("sync_Cam.track", bytes_join({count_field_bytes(1), key_bytes(0, 2.0f, 0)}));
    Track* lower = trackset_get_track(*set, "cam");
    Track* upper = trackset_get_track(*set, "Cam");
    Track* longer = trackset_get_track(*set, "cam.rot");
    Track* spaced = trackset_get_track(*set, "cam ");
    ASSERT_TRUE(lower && upper && longer && spaced);
    EXPECT_NE(lower, upper);
    EXPECT_NE(lower, longer);
    EXPECT_NE(lower, spaced);
    EXPECT_EQ(track_value(*lower, 0), 1.0);
    EXPECT_EQ(track_value(*upper, 0), 2.0);
    EXPECT_EQ(trackset_get_track(*set, "cam"), lower);
    EXPECT_EQ(trackset_get_track(*set, "Cam"), upper);
    EXPECT_EQ(set->tracks.size(), 4u);
}

TEST_F(TrackSetTest, TracksKeepTheirPlaceWhileTheSetGrows) {
    std::vector<Track*> handed_out;
    for (int i = 0; i < 200; ++i) handed_out.push_back(trackset_get_track(*set, "track" + std::to_string(i)));
    ASSERT_EQ(set->tracks.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        ASSERT_NE(handed_out[i], nullptr);
        EXPECT_EQ(handed_out[i]->name, "track" + std::to_string(i));
        EXPECT_EQ(set->tracks[i].get(), handed_out[i]) << "tracks are kept in order of first request";
        EXPECT_EQ(trackset_get_track(*set, "track" + std::to_string(i)), handed_out[i]);
    }
}

TEST_F(TrackSetTest, DestroyReleasesTracksWhoseLoadsAllFailed) {
    for (const char* name : TRACK_NAMES)
        EXPECT_NE(trackset_get_track(*set, name), nullptr);
    trackset_destroy(std::move(set));  // the sanitizer build sees any leak or double release
    trackset_destroy(nullptr);
}

TEST_F(TrackLoadTest, ReadsLittleEndianKeysAndIgnoresTheCountFieldsHighHalf) {
    put("sync_t.track", {
        0x02, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,  // 2 keys; the high half is ignored
        0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x3F, 0x01,  // row 10, 1.5, linear
        0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0xC0, 0xFF,  // row 2^31-1, -2.0, kind -1
    });
    Track track{"t", {}};
    EXPECT_EQ(track_load(*set, track), 0);
    ASSERT_EQ(track.keys.size(), 2u);
    expect_key(track.keys[0], 10, 1.5f, INTERP_LINEAR);
    expect_key(track.keys[1], INT32_MAX, -2.0f, -1);
}

TEST_F(TrackLoadTest, KindBytesWidenWithTheirSign) {
    put("sync_t.track", bytes_join({count_field_bytes(4), key_bytes(-8, 0.0f, 0x7F), key_bytes(-7, 0.0f, 0x80),
                                    key_bytes(-6, 0.0f, 0xFE), key_bytes(-5, 0.0f, 0x03)}));
    Track track{"t", {}};
    ASSERT_EQ(track_load(*set, track), 0);
    ASSERT_EQ(track.keys.size(), 4u);
    EXPECT_EQ(track.keys[0].kind, 127);
    EXPECT_EQ(track.keys[1].kind, -128);
    EXPECT_EQ(track.keys[2].kind, -2);
    EXPECT_EQ(track.keys[3].kind, INTERP_QUADRATIC);
    EXPECT_EQ(track.keys[0].row, -8);
}

TEST_F(TrackLoadTest, ZeroOrNegativeCountReadsNoKeys) {
    const Bytes keys = bytes_join({key_bytes(0, 1.0f, 1), key_bytes(5, 2.0f, 1)});
    for (uint64_t field : {0x0ull, 0xFFFFFFFFull, 0x80000000ull, 0x0000000100000000ull}) {
        SCOPED_TRACE(field);
        put("sync_t.track", bytes_join({count_field_bytes(field), keys}));
        Track track{"t", {}};
        EXPECT_EQ(track_load(*set, track), 0);
        EXPECT_TRUE(track.keys.empty());
        EXPECT_EQ(track_value(track, 3.0), 0.0);
    }
}

TEST_F(TrackLoadTest, BytesAfterTheLastKeyAreIgnored) {
    put("sync_t.track", bytes_join({count_field_bytes(1), key_bytes(3, 7.0f, 2), key_bytes(9, 8.0f, 2), {0xAA}}));
    Track track{"t", {}};
    ASSERT_EQ(track_load(*set, track), 0);
    ASSERT_EQ(track.keys.size(), 1u);
    expect_key(track.keys[0], 3, 7.0f, INTERP_SMOOTHSTEP);
}

// A file cut anywhere inside a key keeps exactly the keys before the cut.
TEST_F(TrackLoadTest, ShortFileKeepsTheKeysReadWhole) {
    const Bytes whole = bytes_join({count_field_bytes(3), key_bytes(1, 10.0f, 1), key_bytes(2, 20.0f, 1),
                                    key_bytes(3, 30.0f, 1)});
    for (size_t cut = 8 + 9; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        put("sync_t.track", Bytes(whole.begin(), whole.begin() + cut));
        Track track{"t", {}};
        EXPECT_EQ(track_load(*set, track), 0);
        const size_t expected = (cut - 8) / 9;
        ASSERT_EQ(track.keys.size(), expected);
        for (size_t i = 0; i < expected; ++i) expect_key(track.keys[i], int32_t(i + 1), 10.0f * (i + 1), 1);
    }
}

TEST_F(TrackLoadTest, FileShorterThanItsCountFieldHasNoKeys) {
    const Bytes field = count_field_bytes(2);
    for (size_t size = 0; size < field.size(); ++size) {
        put("sync_t.track", Bytes(field.begin(), field.begin() + size));
        Track track{"t", {}};
        EXPECT_EQ(track_load(*set, track), 0);
        EXPECT_TRUE(track.keys.empty()) << size << " bytes";
    }
}

TEST_F(TrackLoadTest, ReadsThatFallShortMidFileEndTheKeys) {
    put("sync_t.track", bytes_join({count_field_bytes(3), key_bytes(1, 1.0f, 0), key_bytes(2, 2.0f, 0),
                                    key_bytes(3, 3.0f, 0)}));
    fake_fs().read_limit = 8 + 9 + 5;  // the device fails inside the second key
    Track track{"t", {}};
    EXPECT_EQ(track_load(*set, track), 0);
    ASSERT_EQ(track.keys.size(), 1u);
    expect_key(track.keys[0], 1, 1.0f, 0);
}

TEST_F(TrackLoadTest, HugeCountInATinyFileLoadsItsWholeKeys) {
    // 20 bytes: the count field, one key and three bytes of another.
    put("sync_t.track", bytes_join({count_field_bytes(0x7FFFFFFF), key_bytes(5, 4.0f, 1), {1, 2, 3}}));
    Track track{"t", {}};
    EXPECT_EQ(track_load(*set, track), 0);
    ASSERT_EQ(track.keys.size(), 1u);
    expect_key(track.keys[0], 5, 4.0f, 1);
}

TEST_F(TrackLoadTest, UnopenableFileGivesMinusOneAndNoKeys) {
    Track track{"gone", {}};
    EXPECT_EQ(track_load(*set, track), -1);
    EXPECT_TRUE(track.keys.empty());
    EXPECT_EQ(fake_fs().opened_paths, std::vector<std::string>{"sync_gone.track"});
    EXPECT_EQ(fake_fs().close_calls, 0);
}

TEST_F(TrackPathTest, PathOf259CharactersOpensWhole) {
    const std::string name(259 - "sync_"s.size() - ".track"s.size(), 'n');
    put("sync_" + name + ".track", bytes_join({count_field_bytes(1), key_bytes(0, 6.0f, 0)}));
    Track* track = trackset_get_track(*set, name);
    ASSERT_NE(track, nullptr);
    ASSERT_EQ(fake_fs().opened_paths.size(), 1u);
    EXPECT_EQ(fake_fs().opened_paths[0].size(), 259u);
    EXPECT_EQ(track->keys.size(), 1u);
}

// A cut-down path names another file, which must not be read in its place.
TEST_F(TrackPathTest, LongerPathIsNeverOpenedCutDown) {
    const std::string name(260 - "sync_"s.size() - ".track"s.size(), 'n');
    const std::string full = "sync_" + name + ".track";
    put(full, bytes_join({count_field_bytes(1), key_bytes(0, 6.0f, 0)}));
    put(full.substr(0, 259), bytes_join({count_field_bytes(1), key_bytes(0, 9.0f, 0)}));

    Track* track = trackset_get_track(*set, name);
    ASSERT_NE(track, nullptr);
    EXPECT_TRUE(track->keys.empty());
    EXPECT_TRUE(fake_fs().opened_paths.empty());
    EXPECT_EQ(track_load(*set, *track), -1);
    EXPECT_TRUE(track->keys.empty());

    TrackSetPtr long_base = trackset_create(std::string(300, 'b'));
    ASSERT_TRUE(long_base);
    long_base->file_ops = fake_file_ops();
    Track* other = trackset_get_track(*long_base, "x");
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(fake_fs().opened_paths.empty());
    trackset_destroy(std::move(long_base));
}

TEST_F(TrackPathTest, ZeroByteInANameNeverOpensTheShorterPath) {
    put("sync_cam", bytes_join({count_field_bytes(1), key_bytes(0, 9.0f, 0)}));
    put("sync_cam.track", bytes_join({count_field_bytes(1), key_bytes(0, 9.0f, 0)}));
    Track* track = trackset_get_track(*set, "cam\0.rot"s);
    ASSERT_NE(track, nullptr);
    EXPECT_TRUE(track->keys.empty());
    EXPECT_TRUE(fake_fs().opened_paths.empty());
    EXPECT_NE(trackset_get_track(*set, "cam"), track);
}

// The C library's operations, on real files in a scratch folder.
class TrackFilesOnDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir = std::filesystem::path(::testing::TempDir()) /
              ("zirbelon_tracks_" + std::to_string(random()) + "_" + std::to_string(random()));
        std::filesystem::create_directories(dir / "sync_sub");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void write(const std::filesystem::path& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::filesystem::path dir;
};

TEST_F(TrackFilesOnDiskTest, CreatedSetReadsThroughTheCLibrary) {
    write(dir / "sync_cam.dist.track", bytes_join({count_field_bytes(2), key_bytes(0, 0.0f, 1), key_bytes(10, 10.0f, 0)}));
    write(dir / "sync_sub" / "deep.track", bytes_join({count_field_bytes(1), key_bytes(0, 3.0f, 0)}));
    TrackSetPtr set = trackset_create((dir / "sync").string());
    ASSERT_TRUE(set);
    const Track* dist = trackset_get_track(*set, "cam.dist");
    const Track* deep = trackset_get_track(*set, "sub/deep");  // a separator in the name reaches into a folder
    const Track* missing = trackset_get_track(*set, "cam.rot");
    ASSERT_TRUE(dist && deep && missing);
    EXPECT_EQ(dist->keys.size(), 2u);
    EXPECT_DOUBLE_EQ(track_value(*dist, 5.5), 5.5);
    EXPECT_EQ(track_value(*deep, 100.0), 3.0);
    EXPECT_TRUE(missing->keys.empty());
    trackset_destroy(std::move(set));
}

TEST_F(TrackFilesOnDiskTest, AFolderIsAMissingTrack) {
    std::filesystem::create_directory(dir / "sync_folder.track");
    TrackSetPtr set = trackset_create((dir / "sync").string());
    ASSERT_TRUE(set);
    const Track* folder = trackset_get_track(*set, "folder");
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->keys.empty());
    Track probe{"folder", {}};
    EXPECT_EQ(track_load(*set, probe), -1);
    trackset_destroy(std::move(set));
}

#ifndef _WIN32
TEST_F(TrackFilesOnDiskTest, ASymlinkToATrackFileReadsThatFile) {
    write(dir / "real.track", bytes_join({count_field_bytes(1), key_bytes(0, 3.0f, 0)}));
    std::filesystem::create_symlink(dir / "real.track", dir / "sync_linked.track");
    TrackSetPtr set = trackset_create((dir / "sync").string());
    ASSERT_TRUE(set);
    const Track* linked = trackset_get_track(*set, "linked");
    ASSERT_TRUE(linked);
    EXPECT_EQ(linked->keys.size(), 1u);
    trackset_destroy(std::move(set));
}

// Opening a FIFO for reading waits for a writer; behind the presentation's
// fullscreen window nothing could end that wait. The load runs in a child that
// an alarm kills if it waits.
TEST_F(TrackFilesOnDiskTest, FifoIsAMissingTrackAndNeverWaitedOn) {
    ASSERT_EQ(mkfifo((dir / "sync_cam.dist.track").c_str(), 0600), 0);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto load_ends = [&] {
        alarm(5);
        TrackSetPtr set = trackset_create((dir / "sync").string());
        const Track* dist = set ? trackset_get_track(*set, "cam.dist") : nullptr;
        Track probe{"cam.dist", {}};
        const bool missing =
            dist && dist->keys.empty() && track_value(*dist, 10.0) == 0.0 && track_load(*set, probe) == -1;
        std::exit(missing ? 0 : 1);
    };
    EXPECT_EXIT(load_ends(),
        ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
