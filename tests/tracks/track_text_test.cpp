// Track text and track file bytes as zirbelon-tracks converts them: exact
// round trips through the track set's own loader, and errors that name the line.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <limits>

#include "tests/tracks/fake_files.h"
#include "tracks/track_text.h"
#include "tracks/track_file.h"

namespace {

uint32_t bits_of(float value) { return std::bit_cast<uint32_t>(value); }

void expect_same_keys(const std::vector<Keyframe>& got, const std::vector<Keyframe>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].row, want[i].row) << "key " << i;
        EXPECT_EQ(bits_of(got[i].value), bits_of(want[i].value)) << "key " << i;
        EXPECT_EQ(got[i].kind, want[i].kind) << "key " << i;
    }
}

// Keys whose values and kinds are hard to carry through text.
std::vector<Keyframe> awkward_keys() {
    return {
        {INT32_MIN, 0.1f, -128},
        {-1, -0.0f, -1},
        {0, std::numeric_limits<float>::denorm_min(), 0},
        {1, FLT_MAX, 1},
        {2, -FLT_MAX, 2},
        {8, 16777217.0f, 1},
        {INT32_MAX, 1.0f / 3.0f, 1},
    };
}

// Values a file may hold but a maker may not give a key.
std::vector<Keyframe> non_finite_keys() {
    return {
        {2, -std::numeric_limits<float>::infinity(), 2},
        {3, std::numeric_limits<float>::infinity(), 3},
        {4, std::bit_cast<float>(0x7fc00000u), 4},
        {5, std::bit_cast<float>(0xffc00000u), 127},
        {6, std::bit_cast<float>(0x7f800001u), 0},
        {7, std::bit_cast<float>(0xffffffffu), 0},
    };
}

TEST(TrackTextTest, ReadsNamesNumbersCommentsAndBlankLines) {
    const TrackText parsed = track_text_parse(
        "# camera distance\n"
        "\n"
        "  0   0      linear   # start\r\n"
        "\t10\t+2.5\tsmoothstep\n"
        "20 -1e3 quadratic\n"
        "30 3.4e38 hold\n"
        "+40 5 -7\n"
        "50 -0 99");
    ASSERT_EQ(parsed.error_line, 0) << parsed.error;
    expect_same_keys(parsed.keys, {{0, 0.0f, 1},
                                   {10, 2.5f, 2},
                                   {20, -1000.0f, 3},
                                   {30, 3.4e38f, 0},
                                   {40, 5.0f, -7},
                                   {50, -0.0f, 99}});
    EXPECT_TRUE(track_text_parse("").keys.empty());
    EXPECT_EQ(track_text_parse("# nothing\n\n").error_line, 0);
}

TEST(TrackTextTest, ErrorsNameTheirLine) {
    struct Case {
        const char* text;
        int line;
        const char* says;
    };
    const Case cases[] = {
        {"0 0 1\n10 1 1\n5 2 1\n", 3, "row 5 does not ascend from row 10 on line 2"},
        {"0 0 1\n# gap\n\n0 1 1\n", 4, "does not ascend"},
        {"0 0\n", 1, "found 2 fields"},
        {"0 0 1 1\n", 1, "found 4 fields"},
        {"1.5 0 1\n", 1, "row '1.5'"},
        {"\n2147483648 0 1\n", 2, "row '2147483648'"},
        {"x 0 1\n", 1, "row 'x'"},
        {"0 1e39 1\n", 1, "value '1e39' is beyond a float's range"},
        {"0 -1e39 1\n", 1, "value '-1e39' is beyond a float's range"},
        {"0 zero 1\n", 1, "value 'zero' is not a float"},
        {"0 NaN 1\n", 1, "value 'NaN'"},
        {"0 nan(0x3f800000) 1\n", 1, "value 'nan(0x3f800000)'"},
        {"0 0 1\n10 inf 1\n", 2, "value 'inf' is not a finite number"},
        {"0 -inf 1\n", 1, "value '-inf' is not a finite number"},
        {"0 INF 1\n", 1, "value 'INF' is not a finite number"},
        {"0 Infinity 1\n", 1, "value 'Infinity' is not a finite number"},
        {"0 NaN 1\n", 1, "value 'NaN' is not a finite number"},
        {"0 nan 1\n", 1, "value 'nan' is not a finite number"},
        {"0 -nan(0x7fc00123) 1\n", 1, "value '-nan(0x7fc00123)'"},
        {"0 nan(0x7fc00123) 1\n", 1, "value 'nan(0x7fc00123)' is not a finite number"},
        {"0 0 128\n", 1, "kind '128'"},
        {"0 0 -129\n", 1, "kind '-129'"},
        {"0 0 Linear\n", 1, "kind 'Linear'"},
    };
    for (const Case& c : cases) {
        const TrackText parsed = track_text_parse(c.text);
        EXPECT_EQ(parsed.error_line, c.line) << c.text;
        EXPECT_NE(parsed.error.find(c.says), std::string::npos) << c.text << " gave: " << parsed.error;
        EXPECT_TRUE(parsed.keys.empty());
    }
}

TEST(TrackTextTest, FormatReadsBackToTheSameBits) {
    const std::vector<Keyframe> keys = awkward_keys();
    const std::string text = track_text_format(keys);
    const TrackText parsed = track_text_parse(text);
    ASSERT_EQ(parsed.error_line, 0) << parsed.error << "\n" << text;
    expect_same_keys(parsed.keys, keys);
    EXPECT_EQ(track_text_format(parsed.keys), text);
}

// A file may hold any float, and dump writes each so that it is seen; a key
// read from text must be a finite number.
TEST(TrackTextTest, NonFiniteValuesAreWrittenButNotReadAsKeys) {
    const std::string text = track_text_format(non_finite_keys());
    EXPECT_EQ(text, "2 -inf 2\n3 inf 3\n4 nan 4\n5 -nan 127\n6 nan(0x7f800001) 0\n7 nan(0xffffffff) 0\n");
    for (const Keyframe& key : non_finite_keys()) {
        const std::string spelled = track_value_format(key.value);
        const std::optional<float> back = track_value_parse(spelled);
        ASSERT_TRUE(back) << spelled;
        EXPECT_EQ(bits_of(*back), bits_of(key.value)) << spelled;
        std::string why;
        EXPECT_FALSE(track_key_value_parse(spelled, why)) << spelled;
        EXPECT_NE(why.find("is not a finite number"), std::string::npos) << why;
    }
    EXPECT_EQ(track_text_parse(text).error_line, 1);
}

TEST(TrackTextTest, FormatIsShortAndPlain) {
    EXPECT_EQ(track_text_format(std::vector<Keyframe>{{0, 0.1f, 1}, {10, 10.0f, 0}, {-3, -2.5e-7f, -1}}),
              "0 0.1 1\n10 10 0\n-3 -2.5e-07 -1\n");
    EXPECT_EQ(track_value_format(std::bit_cast<float>(0x7f800001u)), "nan(0x7f800001)");
    EXPECT_EQ(track_value_format(-std::numeric_limits<float>::infinity()), "-inf");
}

TEST(TrackTextTest, EncodedBytesLoadBackThroughTheTrackSet) {
    const std::vector<Keyframe> keys = awkward_keys();
    fake_fs_reset();
    fake_fs().files["sync_t.track"] = track_file_encode(keys);
    EXPECT_EQ(fake_fs().files["sync_t.track"].size(), 8 + 9 * keys.size());
    TrackSetPtr set = trackset_create("sync");
    ASSERT_TRUE(set);
    set->file_ops = fake_file_ops();
    const Track* track = trackset_get_track(*set, "t");
    ASSERT_NE(track, nullptr);
    expect_same_keys(track->keys, keys);
    trackset_destroy(std::move(set));
}

TEST(TrackTextTest, EncodesTheFileLayoutByteForByte) {
    EXPECT_EQ(track_file_encode(std::vector<Keyframe>{{-2, 1.5f, -1}}),
              (Bytes{0x01, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xC0, 0x3F, 0xFF}));
    EXPECT_EQ(track_file_encode({}), Bytes(8, 0));
}

TEST(TrackTextTest, FileNameSplitsAtTheLastUnderscoreOfTheFileItself) {
    struct Case {
        const char* path;
        const char* base;
        const char* name;
    };
    for (const Case& c : {Case{"assets/sync_cam.dist.track", "assets/sync", "cam.dist"},
                          Case{"sync_clear.r.track", "sync", "clear.r"},
                          Case{"my_dir/sync_x.track", "my_dir/sync", "x"},
                          Case{"/tmp/a_b_c.track", "/tmp/a_b", "c"}}) {
        const auto split = track_file_name_split(c.path);
        ASSERT_TRUE(split) << c.path;
        EXPECT_EQ(split->base, c.base);
        EXPECT_EQ(split->name, c.name);
        EXPECT_EQ(split->base + "_" + split->name + ".track", c.path);
    }
    for (const char* path : {"my_dir/sync.track", "sync_x.trk", "sync_x", "a_b/track"})
        EXPECT_FALSE(track_file_name_split(path)) << path;
}

}  // namespace
