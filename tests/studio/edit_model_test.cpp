// The studio's edit model on real folders: loading, every command with its
// undo and redo, refusals, and saves that equal what zirbelon-tracks build
// makes of the same text.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "presentation/presentation.h"
#include "tools/studio/model/edit_model.h"
#include "tracks/track_text.h"
#include "tracks/track_file.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t CLEAR_R = 0;
constexpr size_t CLEAR_G = 1;
constexpr size_t CAM_ROT = 3;
constexpr size_t CAM_DIST = 4;

std::string file_text(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<uint8_t> file_bytes(const fs::path& path) {
    const std::string text = file_text(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void file_write(const fs::path& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), std::streamsize(bytes.size()));
}

void binary_write(const fs::path& path, const std::vector<Keyframe>& keys) {
    const std::vector<uint8_t> bytes = track_file_encode(keys);
    file_write(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string text_of(const EditModel& model, size_t track) { return track_document_text(model.tracks[track].document); }

// The keys as rows, values and kinds, for comparisons that print well.
std::string keys_of(const EditModel& model, size_t track) {
    return track_text_format(model.tracks[track].track.keys);
}

void expect_track_follows_document(const EditModel& model) {
    for (const EditTrack& track : model.tracks) {
        EXPECT_EQ(track.track.name, track.document.name);
        EXPECT_EQ(track_text_format(track.track.keys), track_text_format(track_document_keys(track.document)))
            << track.document.name;
    }
}

// What the lines of a text that are not keys are, in order.
std::vector<std::string> comment_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        if (line.empty() || line[0] == '#') lines.push_back(line);
        start = end == text.npos ? text.size() : end + 1;
    }
    return lines;
}

EditSelection block(size_t first_track, size_t last_track, int32_t first_row, int32_t last_row) {
    return {first_track, last_track, first_row, last_row};
}

class EditModelTest : public testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::path(testing::TempDir()) / ("zirbelon_studio_model_" + std::to_string(random()));
        texts_ = dir_ / "texts";
        bin_ = dir_ / "bin";
        fs::create_directories(texts_);
        fs::create_directories(bin_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void copy_shipped() {
        for (const auto& entry : fs::directory_iterator(fs::path(ZIRBELON_ASSETS_DIR) / "tracks"))
            if (entry.path().extension() == ".txt") fs::copy_file(entry.path(), texts_ / entry.path().filename());
    }

    // Small texts with comments, one per presentation track.
    void write_small() {
        file_write(texts_ / "clear.r.txt", "# red\n0 0 hold\n");
        file_write(texts_ / "clear.g.txt", "# green\n0 0 hold\n");
        file_write(texts_ / "clear.b.txt", "# blue\n0 0 hold\n");
        file_write(texts_ / "cam.rot.txt", "# the dolly\n\n# in\n0 -8 smoothstep\n10 3 smoothstep  # out\n20 -10 hold\n");
        file_write(texts_ / "cam.dist.txt", "# the clock\n0 0 hold\n10 10 linear  # the rise\n20 0 hold\n# end\n");
    }

    EditModel load() {
        EditModel model;
        std::string error;
        EXPECT_TRUE(edit_model_load(model, texts_.string(), bin_.string(), error)) << error;
        return model;
    }

    std::vector<uint8_t> tool_build(const fs::path& text) {
        const fs::path out = dir_ / "built.track";
        const std::string command =
            std::string("'") + ZIRBELON_TRACKS + "' build '" + text.string() + "' -o '" + out.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return file_bytes(out);
    }

    fs::path dir_;
    fs::path texts_;
    fs::path bin_;
};

TEST_F(EditModelTest, LoadsThePresentationsTracksThenOthersByName) {
    copy_shipped();
    binary_write(bin_ / "sync_zeta.track", {{0, 1.0f, 1}, {10, 2.0f, 0}});
    binary_write(bin_ / "sync_alpha.track", {{0, 5.0f, 0}});
    file_write(texts_ / "alpha.txt", "# alpha\n0 7 hold\n");
    binary_write(bin_ / "sync_cam.dist.track", {{0, 99.0f, 0}});
    binary_write(bin_ / "other.track", {{0, 1.0f, 0}});
    fs::create_directories(bin_ / "sync_folder.track");

    const EditModel model = load();
    std::vector<std::string> names;
    for (const EditTrack& track : model.tracks) names.push_back(track.document.name);
    EXPECT_EQ(names, (std::vector<std::string>{"clear.r", "clear.g", "clear.b", "cam.rot", "cam.dist", "alpha",
                                               "zeta"}));
    for (size_t i = 0; i < std::size(TRACK_NAMES); ++i) {
        EXPECT_EQ(model.tracks[i].text_path, (texts_ / (std::string(TRACK_NAMES[i]) + ".txt")).string());
        EXPECT_EQ(keys_of(model, i), track_text_format(track_text_parse(file_text(model.tracks[i].text_path)).keys));
    }
    EXPECT_EQ(model.tracks[5].text_path, (texts_ / "alpha.txt").string());
    EXPECT_EQ(keys_of(model, 5), "0 7 0\n");
    EXPECT_EQ(model.tracks[6].text_path, "");
    EXPECT_EQ(model.tracks[6].binary_path, (bin_ / "sync_zeta.track").string());
    EXPECT_EQ(keys_of(model, 6), "0 1 1\n10 2 0\n");
    EXPECT_FALSE(edit_model_dirty(model));
    expect_track_follows_document(model);
    // The evaluated track is the presentation's: halfway up the linear interval.
    EXPECT_FLOAT_EQ(float(track_value(model.tracks[6].track, 5.0)), 1.5f);
}

TEST_F(EditModelTest, ATrackWithNoTextNorFileIsEmpty) {
    const EditModel model = load();
    ASSERT_EQ(model.tracks.size(), std::size(TRACK_NAMES));
    for (const EditTrack& track : model.tracks) {
        EXPECT_TRUE(track.track.keys.empty());
        EXPECT_EQ(track.text_path, "");
    }
}

TEST_F(EditModelTest, LoadFailuresNameTheFileAndLeaveTheModel) {
    write_small();
    EditModel model = load();
    const std::string before = text_of(model, CAM_ROT);
    std::string error;

    file_write(texts_ / "cam.rot.txt", "0 1 hold\n0 2 hold\n");
    EXPECT_FALSE(edit_model_load(model, texts_.string(), bin_.string(), error));
    EXPECT_EQ(error, (texts_ / "cam.rot.txt").string() + ":2: row 0 does not ascend from row 0 on line 1");
    EXPECT_EQ(text_of(model, CAM_ROT), before);

    write_small();
    binary_write(bin_ / "sync_zeta.track", {{10, 1.0f, 0}, {5, 1.0f, 0}});
    EXPECT_FALSE(edit_model_load(model, texts_.string(), bin_.string(), error));
    EXPECT_NE(error.find("sync_zeta.track: rows do not ascend at key 1"), error.npos) << error;

    EXPECT_FALSE(edit_model_load(model, texts_.string(), (dir_ / "missing").string(), error));
    EXPECT_NE(error.find("missing"), error.npos) << error;
    EXPECT_EQ(model.tracks.size(), std::size(TRACK_NAMES));
}

TEST_F(EditModelTest, InsertTakesTheValueAndKindOfItsInterval) {
    write_small();
    EditModel model = load();
    const std::string original = text_of(model, CAM_DIST);

    ASSERT_TRUE(edit_insert_key(model, CAM_DIST, 15));
    EXPECT_EQ(text_of(model, CAM_DIST), "# the clock\n0 0 hold\n10 10 linear  # the rise\n15 5 linear\n20 0 hold\n# end\n");
    ASSERT_TRUE(edit_insert_key(model, CAM_DIST, -5));  // before the first: its value, held
    ASSERT_TRUE(edit_insert_key(model, CAM_DIST, 30));  // after the last: its value and kind
    EXPECT_EQ(keys_of(model, CAM_DIST), "-5 0 0\n0 0 0\n10 10 1\n15 5 1\n20 0 0\n30 0 0\n");
    EXPECT_TRUE(model.tracks[CAM_DIST].dirty);
    expect_track_follows_document(model);

    ASSERT_TRUE(edit_insert_key(model, CAM_ROT, 5));
    const Keyframe* key = edit_key_at(model, CAM_ROT, 5);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->kind, INTERP_SMOOTHSTEP);
    EXPECT_FLOAT_EQ(key->value, -2.5f);  // smoothstep's middle is the middle value

    const size_t steps = model.undo.size();
    EXPECT_FALSE(edit_insert_key(model, CAM_DIST, 10));
    EXPECT_NE(model.message.find("already holds a key"), model.message.npos) << model.message;
    EXPECT_FALSE(edit_insert_key(model, 99, 0));
    EXPECT_EQ(model.undo.size(), steps);

    for (int i = 0; i < 4; ++i) ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(text_of(model, CAM_DIST), original);
    EXPECT_FALSE(edit_model_dirty(model));
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 15), nullptr);
    EXPECT_FALSE(edit_undo(model));
    EXPECT_EQ(model.message, "nothing to undo");

    ASSERT_TRUE(edit_redo(model));
    EXPECT_NE(edit_key_at(model, CAM_DIST, 15), nullptr);
    EXPECT_TRUE(model.tracks[CAM_DIST].dirty);
    expect_track_follows_document(model);
}

TEST_F(EditModelTest, SetAndNudgeValuesKeepTheLinesComment) {
    write_small();
    EditModel model = load();
    const std::string original = text_of(model, CAM_DIST);

    ASSERT_TRUE(edit_set_value(model, CAM_DIST, 10, 4.0f));
    ASSERT_TRUE(edit_nudge_value(model, CAM_DIST, 10, 0.5f));
    EXPECT_EQ(text_of(model, CAM_DIST), "# the clock\n0 0 hold\n10 4.5 linear  # the rise\n20 0 hold\n# end\n");
    EXPECT_FLOAT_EQ(float(track_value(model.tracks[CAM_DIST].track, 10.0)), 4.5f);
    EXPECT_NE(model.message.find("cam.dist row 10"), model.message.npos) << model.message;

    EXPECT_FALSE(edit_set_value(model, CAM_DIST, 3, 1.0f));
    EXPECT_NE(model.message.find("holds no key"), model.message.npos) << model.message;
    EXPECT_FALSE(edit_nudge_value(model, CAM_DIST, 3, 1.0f));
    EXPECT_EQ(model.undo.size(), 2u);

    ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 10)->value, 4.0f);
    ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(text_of(model, CAM_DIST), original);
    ASSERT_TRUE(edit_redo(model));
    ASSERT_TRUE(edit_redo(model));
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 10)->value, 4.5f);
    EXPECT_FALSE(edit_redo(model));
}

TEST_F(EditModelTest, CycleKindGoesThroughTheFourKinds) {
    write_small();
    binary_write(bin_ / "sync_odd.track", {{0, 1.0f, 99}, {1, 1.0f, -3}});
    EditModel model = load();
    const size_t odd = 5;
    std::vector<int32_t> kinds;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(edit_cycle_kind(model, CAM_DIST, 0));
        kinds.push_back(edit_key_at(model, CAM_DIST, 0)->kind);
    }
    EXPECT_EQ(kinds, (std::vector<int32_t>{INTERP_LINEAR, INTERP_SMOOTHSTEP, INTERP_QUADRATIC, INTERP_HOLD}));
    EXPECT_NE(model.message.find("hold"), model.message.npos) << model.message;

    ASSERT_TRUE(edit_cycle_kind(model, odd, 0));
    ASSERT_TRUE(edit_cycle_kind(model, odd, 1));
    EXPECT_EQ(keys_of(model, odd), "0 1 0\n1 1 0\n");
    EXPECT_FALSE(edit_cycle_kind(model, CAM_DIST, 5));

    ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(edit_key_at(model, odd, 1)->kind, -3);
}

TEST_F(EditModelTest, DeleteTakesTheBlockAcrossTracksInOneStep) {
    write_small();
    EditModel model = load();
    const std::string rot = text_of(model, CAM_ROT);
    const std::string dist = text_of(model, CAM_DIST);

    // Corners given either way round.
    ASSERT_TRUE(edit_delete(model, block(CAM_DIST, CAM_ROT, 15, 5)));
    EXPECT_EQ(model.message, "deleted 2 keys");
    EXPECT_EQ(keys_of(model, CAM_ROT), "0 -8 2\n20 -10 0\n");
    EXPECT_EQ(keys_of(model, CAM_DIST), "0 0 0\n20 0 0\n");
    EXPECT_EQ(model.undo.size(), 1u);
    expect_track_follows_document(model);

    EXPECT_FALSE(edit_delete(model, block(CAM_ROT, CAM_DIST, 11, 19)));
    EXPECT_EQ(model.message, "the selection holds no keys");
    EXPECT_FALSE(edit_delete(model, block(CAM_DIST, CAM_DIST + 1, 0, 20)));
    EXPECT_NE(model.message.find("past the last track"), model.message.npos) << model.message;
    EXPECT_EQ(model.undo.size(), 1u);

    ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(text_of(model, CAM_ROT), rot);
    EXPECT_EQ(text_of(model, CAM_DIST), dist);
    EXPECT_FALSE(edit_model_dirty(model));
}

TEST_F(EditModelTest, MovedKeysMayPassEachOtherButNotLandOnOthers) {
    file_write(texts_ / "cam.dist.txt", "0 0 hold\n10 1 linear\n20 2 hold\n30 3 hold\n");
    file_write(texts_ / "cam.rot.txt", "0 5 hold\n10 6 hold\n");
    EditModel model = load();
    const std::string original = text_of(model, CAM_DIST);

    // Row 0 lands where row 10 stood, and row 10 passes row 20.
    ASSERT_TRUE(edit_move(model, block(CAM_DIST, CAM_DIST, 0, 10), 15));
    EXPECT_EQ(keys_of(model, CAM_DIST), "15 0 0\n20 2 0\n25 1 1\n30 3 0\n");
    EXPECT_EQ(model.message, "moved 2 keys by 15 rows");
    expect_track_follows_document(model);
    ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(text_of(model, CAM_DIST), original);

    const size_t steps = model.undo.size();
    EXPECT_FALSE(edit_move(model, block(CAM_DIST, CAM_DIST, 0, 10), 10));
    EXPECT_EQ(model.message, "cannot move: cam.dist row 20 holds a key outside the selection");
    EXPECT_FALSE(edit_move(model, block(CAM_ROT, CAM_DIST, 0, 10), 20));
    EXPECT_EQ(model.message, "cannot move: cam.dist row 20 holds a key outside the selection");
    EXPECT_FALSE(edit_move(model, block(CAM_DIST, CAM_DIST, 30, 30), INT32_MAX));
    EXPECT_NE(model.message.find("32-bit rows"), model.message.npos) << model.message;
    EXPECT_FALSE(edit_move(model, block(CAM_DIST, CAM_DIST, 1, 9), 1));
    EXPECT_EQ(model.undo.size(), steps);
    EXPECT_EQ(text_of(model, CAM_DIST), original);

    // Keys of another track on the rows landed on are no obstacle.
    ASSERT_TRUE(edit_move(model, block(CAM_ROT, CAM_ROT, 0, 10), 20));
    EXPECT_EQ(keys_of(model, CAM_ROT), "20 5 0\n30 6 0\n");
    ASSERT_TRUE(edit_undo(model));

    ASSERT_TRUE(edit_move(model, block(CAM_ROT, CAM_DIST, 0, 10), -100));
    EXPECT_EQ(keys_of(model, CAM_ROT), "-100 5 0\n-90 6 0\n");
    EXPECT_EQ(keys_of(model, CAM_DIST), "-100 0 0\n-90 1 1\n20 2 0\n30 3 0\n");
    ASSERT_TRUE(edit_undo(model));
    EXPECT_FALSE(edit_model_dirty(model));
    ASSERT_TRUE(edit_redo(model));
    EXPECT_EQ(keys_of(model, CAM_ROT), "-100 5 0\n-90 6 0\n");
}

TEST_F(EditModelTest, PasteLandsAcrossTracksAndDropsThosePastTheLast) {
    write_small();
    EditModel model = load();
    edit_copy(model, block(CAM_ROT, CAM_DIST, 5, 25));
    EXPECT_EQ(model.message, "copied 4 keys");
    ASSERT_EQ(model.clipboard.tracks.size(), 2u);
    EXPECT_EQ(track_text_format(model.clipboard.tracks[0]), "5 3 2\n15 -10 0\n");
    EXPECT_EQ(track_text_format(model.clipboard.tracks[1]), "5 10 1\n15 0 0\n");

    ASSERT_TRUE(edit_paste(model, CLEAR_R, 100));
    EXPECT_EQ(model.message, "pasted 4 keys");
    EXPECT_EQ(keys_of(model, CLEAR_R), "0 0 0\n105 3 2\n115 -10 0\n");
    EXPECT_EQ(keys_of(model, CLEAR_G), "0 0 0\n105 10 1\n115 0 0\n");
    expect_track_follows_document(model);
    ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(keys_of(model, CLEAR_R), "0 0 0\n");
    EXPECT_EQ(keys_of(model, CLEAR_G), "0 0 0\n");

    ASSERT_TRUE(edit_paste(model, CAM_DIST, 100));
    EXPECT_EQ(model.message, "pasted 2 keys; 2 keys past the last track dropped");
    EXPECT_EQ(keys_of(model, CAM_DIST), "0 0 0\n10 10 1\n20 0 0\n105 3 2\n115 -10 0\n");

    model.clipboard.tracks = {{}, {{0, 1.0f, 0}}};
    EXPECT_FALSE(edit_paste(model, CAM_DIST, 0));
    EXPECT_EQ(model.message, "nothing pasted: 1 key past the last track dropped");
    EXPECT_FALSE(edit_paste(model, CAM_DIST + 1, 0));
}

TEST_F(EditModelTest, PasteMergesAndSaysHowManyKeysItReplaced) {
    write_small();
    EditModel model = load();
    const std::string original = text_of(model, CAM_DIST);
    model.clipboard.tracks = {{{0, 7.0f, 1}, {5, 8.0f, 1}, {10, 9.0f, 3}}};
    ASSERT_TRUE(edit_paste(model, CAM_DIST, 10));
    EXPECT_EQ(model.message, "pasted 3 keys, merged: 2 keys on the same rows replaced");
    EXPECT_EQ(keys_of(model, CAM_DIST), "0 0 0\n10 7 1\n15 8 1\n20 9 3\n");
    // The replaced keys keep their lines' comments.
    EXPECT_EQ(text_of(model, CAM_DIST), "# the clock\n0 0 hold\n10 7 linear  # the rise\n15 8 linear\n20 9 quadratic\n# end\n");
    ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(text_of(model, CAM_DIST), original);

    EXPECT_FALSE(edit_paste(model, CAM_DIST, INT32_MAX - 5));
    EXPECT_NE(model.message.find("32-bit rows"), model.message.npos) << model.message;
    model.clipboard.tracks.clear();
    EXPECT_FALSE(edit_paste(model, CAM_DIST, 0));
    EXPECT_EQ(model.message, "the clipboard is empty");
    EXPECT_TRUE(model.redo.size() == 1u) << "a refused paste clears no redo";
}

TEST_F(EditModelTest, CutThenPasteMovesKeysAndBothUndo) {
    write_small();
    EditModel model = load();
    const std::string original = text_of(model, CAM_DIST);
    ASSERT_TRUE(edit_cut(model, block(CAM_DIST, CAM_DIST, 10, 20)));
    EXPECT_EQ(model.message, "cut 2 keys");
    EXPECT_EQ(keys_of(model, CAM_DIST), "0 0 0\n");
    ASSERT_TRUE(edit_paste(model, CAM_DIST, 50));
    EXPECT_EQ(keys_of(model, CAM_DIST), "0 0 0\n50 10 1\n60 0 0\n");
    EXPECT_FALSE(edit_cut(model, block(CAM_DIST, CAM_DIST, 1, 49)));
    EXPECT_EQ(track_text_format(model.clipboard.tracks[0]), "0 10 1\n10 0 0\n") << "a refused cut keeps the clipboard";
    // Copying nothing keeps it too.
    edit_copy(model, block(CAM_DIST, CAM_DIST, 1, 49));
    EXPECT_EQ(model.message, "the selection holds no keys");
    EXPECT_EQ(model.clipboard.tracks.size(), 1u);

    ASSERT_TRUE(edit_undo(model));
    ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(text_of(model, CAM_DIST), original);
}

TEST_F(EditModelTest, UndoHasNoLimitAndANewEditEndsRedo) {
    write_small();
    EditModel model = load();
    const std::string original = text_of(model, CAM_DIST);
    for (int i = 0; i < 500; ++i) ASSERT_TRUE(edit_nudge_value(model, CAM_DIST, 10, 1.0f));
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 10)->value, 510.0f);
    for (int i = 0; i < 500; ++i) ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(text_of(model, CAM_DIST), original);
    EXPECT_FALSE(edit_model_dirty(model));
    for (int i = 0; i < 250; ++i) ASSERT_TRUE(edit_redo(model));
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 10)->value, 260.0f);

    ASSERT_TRUE(edit_set_value(model, CAM_DIST, 20, 1.0f));
    EXPECT_FALSE(edit_redo(model));
    EXPECT_EQ(model.message, "nothing to redo");
    // An edit that changes nothing leaves no step.
    const size_t steps = model.undo.size();
    ASSERT_TRUE(edit_set_value(model, CAM_DIST, 20, 1.0f));
    EXPECT_EQ(model.undo.size(), steps);
}

TEST_F(EditModelTest, SavedFilesAreWhatBuildMakesOfTheText) {
    copy_shipped();
    for (const std::string name : TRACK_NAMES) {
        const std::vector<uint8_t> built = tool_build(texts_ / (name + ".txt"));
        file_write(bin_ / ("sync_" + name + ".track"), {reinterpret_cast<const char*>(built.data()), built.size()});
    }
    const auto untouched = fs::last_write_time(bin_ / "sync_clear.r.track");
    EditModel model = load();
    ASSERT_TRUE(edit_set_value(model, CAM_DIST, 160, 1.25f));
    ASSERT_TRUE(edit_insert_key(model, CAM_ROT, 5));
    std::string error;
    ASSERT_TRUE(edit_model_save(model, error)) << error;
    EXPECT_EQ(model.message, "saved cam.rot, cam.dist");
    EXPECT_FALSE(edit_model_dirty(model));

    for (const size_t track : {CAM_ROT, CAM_DIST}) {
        const fs::path text = model.tracks[track].text_path;
        const fs::path binary = model.tracks[track].binary_path;
        EXPECT_EQ(file_text(text), text_of(model, track));
        const TrackText built = track_text_parse(file_text(text));
        ASSERT_EQ(built.error_line, 0) << built.error;
        EXPECT_EQ(file_bytes(binary), track_file_encode(built.keys));
        EXPECT_EQ(file_bytes(binary), tool_build(text));
    }
    EXPECT_NE(file_text(texts_ / "cam.dist.txt").find("\n160 1.25 linear\n"), std::string::npos);
    // Tracks without edits whose files hold their keys are not written.
    EXPECT_EQ(fs::last_write_time(bin_ / "sync_clear.r.track"), untouched);

    ASSERT_TRUE(edit_model_save(model, error)) << error;
    EXPECT_EQ(model.message, "nothing to save");
}

TEST_F(EditModelTest, ATrackWithoutTextSavesOnlyItsBinary) {
    binary_write(bin_ / "sync_zeta.track", {{0, 1.0f, 1}, {10, 2.0f, 0}});
    EditModel model = load();
    const size_t zeta = 5;
    ASSERT_TRUE(edit_delete(model, block(zeta, zeta, 10, 10)));
    std::string error;
    ASSERT_TRUE(edit_model_save(model, error)) << error;
    EXPECT_EQ(file_bytes(bin_ / "sync_zeta.track"), track_file_encode(std::vector<Keyframe>{{0, 1.0f, 1}}));
    EXPECT_FALSE(fs::exists(texts_ / "zeta.txt"));
}

TEST_F(EditModelTest, OpenThenSaveWithoutEditsKeepsEveryTextByteForByte) {
    copy_shipped();
    EditModel model = load();
    std::string error;
    ASSERT_TRUE(edit_model_save(model, error)) << error;
    for (EditTrack& track : model.tracks) track.dirty = true;
    ASSERT_TRUE(edit_model_save(model, error)) << error;

    for (const char* name : TRACK_NAMES) {
        const fs::path shipped = fs::path(ZIRBELON_ASSETS_DIR) / "tracks" / (std::string(name) + ".txt");
        EXPECT_EQ(file_text(texts_ / (std::string(name) + ".txt")), file_text(shipped)) << name;
        const std::string binary = std::string(TRACKSET_BASE_NAME) + "_" + name + ".track";
        EXPECT_EQ(file_bytes(bin_ / binary), tool_build(shipped)) << name;
    }
}

TEST_F(EditModelTest, CommentsOutliveEdits) {
    copy_shipped();
    EditModel model = load();
    const std::string original = text_of(model, CAM_DIST);
    ASSERT_TRUE(edit_delete(model, block(CAM_DIST, CAM_DIST, 0, 0)));
    ASSERT_TRUE(edit_set_value(model, CAM_DIST, 160, 1.5f));
    ASSERT_TRUE(edit_cycle_kind(model, CAM_DIST, 320));
    ASSERT_TRUE(edit_insert_key(model, CAM_DIST, 100));
    ASSERT_TRUE(edit_move(model, block(CAM_DIST, CAM_DIST, 400, 479), 5));
    std::string error;
    ASSERT_TRUE(edit_model_save(model, error)) << error;

    const std::string saved = file_text(texts_ / "cam.dist.txt");
    EXPECT_EQ(comment_lines(saved), comment_lines(original));
    // The opening still opens the text.
    EXPECT_EQ(saved.substr(0, 40), original.substr(0, 40));
    const TrackText built = track_text_parse(saved);
    ASSERT_EQ(built.error_line, 0) << built.error;
    EXPECT_EQ(track_text_format(built.keys), keys_of(model, CAM_DIST));
}

TEST_F(EditModelTest, ReloadRefusesWhileEditsAreUnsaved) {
    write_small();
    EditModel model = load();
    ASSERT_TRUE(edit_set_value(model, CAM_DIST, 0, 3.0f));
    file_write(texts_ / "cam.dist.txt", "0 1 hold\n");
    std::string error;
    EXPECT_FALSE(edit_model_reload(model, CAM_DIST, error));
    EXPECT_NE(model.message.find("unsaved edits"), model.message.npos) << model.message;
    EXPECT_NE(model.message.find("kept"), model.message.npos) << model.message;
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 0)->value, 3.0f);

    ASSERT_TRUE(edit_undo(model));
    ASSERT_FALSE(model.tracks[CAM_DIST].dirty);
    ASSERT_TRUE(edit_model_reload(model, CAM_DIST, error)) << error;
    EXPECT_EQ(keys_of(model, CAM_DIST), "0 1 0\n");
    EXPECT_FALSE(model.tracks[CAM_DIST].dirty);
    expect_track_follows_document(model);

    // Undone, the reload gives back what the studio held, now unsaved.
    ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(keys_of(model, CAM_DIST), "0 0 0\n10 10 1\n20 0 0\n");
    EXPECT_TRUE(model.tracks[CAM_DIST].dirty);

    file_write(texts_ / "cam.dist.txt", "5 1 hold\n1 1 hold\n");
    ASSERT_TRUE(edit_redo(model));
    EXPECT_FALSE(edit_model_reload(model, CAM_DIST, error));
    EXPECT_NE(error.find("cam.dist.txt:2:"), error.npos) << error;
    EXPECT_EQ(keys_of(model, CAM_DIST), "0 1 0\n");
}

TEST_F(EditModelTest, AFailedSaveKeepsTheEditsUnsaved) {
    write_small();
    EditModel model = load();
    ASSERT_TRUE(edit_set_value(model, CAM_DIST, 0, 3.0f));
    fs::remove_all(bin_);
    std::string error;
    EXPECT_FALSE(edit_model_save(model, error));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(model.message.find("not saved"), model.message.npos) << model.message;
    EXPECT_TRUE(model.tracks[CAM_DIST].dirty);
}

}  // namespace

// An undo step holds what its edit changed, not the track: a nudge on a long
// track keeps one key on either side, a move of a block the keys it moved, and
// undoing and redoing them gives the documents back.
TEST_F(EditModelTest, AnUndoStepHoldsWhatTheEditChanged) {
    write_small();
    std::string text = "# a long track\n";
    for (int32_t row = 0; row < 100'000; ++row) text += std::to_string(row * 2) + " " + std::to_string(row % 7) + " linear\n";
    file_write(texts_ / "cam.dist.txt", text);
    EditModel model = load();
    const TrackDocument loaded = model.tracks[CAM_DIST].document;

    ASSERT_TRUE(edit_nudge_value(model, CAM_DIST, 50'000, 0.5f));
    ASSERT_EQ(model.undo.back().changes.size(), 1u);
    const EditStep::Change& nudge = model.undo.back().changes[0];
    EXPECT_EQ(nudge.back.keys.size(), 1u);
    EXPECT_EQ(nudge.on.keys.size(), 1u);
    EXPECT_EQ(nudge.on.first, 25'000u);

    ASSERT_TRUE(edit_move(model, block(CAM_DIST, CAM_DIST, 1'000, 1'010), 1));
    const EditStep::Change& move = model.undo.back().changes[0];
    EXPECT_LE(move.back.keys.size(), 6u);
    EXPECT_LE(move.on.keys.size(), 6u);
    const TrackDocument edited = model.tracks[CAM_DIST].document;

    ASSERT_TRUE(edit_undo(model));
    ASSERT_TRUE(edit_undo(model));
    EXPECT_TRUE(track_document_equal(model.tracks[CAM_DIST].document, loaded));
    EXPECT_FALSE(model.tracks[CAM_DIST].dirty);
    ASSERT_TRUE(edit_redo(model));
    ASSERT_TRUE(edit_redo(model));
    EXPECT_TRUE(track_document_equal(model.tracks[CAM_DIST].document, edited));
    expect_track_follows_document(model);
}

// The files agree with what the studio holds: a save rebuilds every track file
// that does not hold its text's keys, missing ones too, and a text changed by
// another program rebuilds its track file when it is reloaded.
TEST_F(EditModelTest, SaveAndReloadRebuildTrackFilesThatDisagree) {
    write_small();
    EditModel model = load();
    binary_write(bin_ / "sync_cam.rot.track", {{0, 99.0f, 0}});
    std::string error;
    ASSERT_TRUE(edit_model_save(model, error)) << error;
    EXPECT_EQ(model.message, "rebuilt sync_clear.r.track, sync_clear.g.track, sync_clear.b.track, "
                             "sync_cam.rot.track, sync_cam.dist.track");
    for (size_t track = 0; track < model.tracks.size(); ++track)
        EXPECT_EQ(file_bytes(model.tracks[track].binary_path), tool_build(model.tracks[track].text_path));
    ASSERT_TRUE(edit_model_save(model, error)) << error;
    EXPECT_EQ(model.message, "nothing to save");

    file_write(texts_ / "cam.dist.txt", "0 4 hold\n");
    ASSERT_TRUE(edit_model_reload(model, CAM_DIST, error)) << error;
    EXPECT_EQ(model.message, "reloaded cam.dist and rebuilt its track file");
    EXPECT_EQ(file_bytes(bin_ / "sync_cam.dist.track"), track_file_encode(std::vector<Keyframe>{{0, 4.0f, 0}}));
    EXPECT_FALSE(edit_model_dirty(model));
}

// A track changed on disk while the studio holds edits of it is never written
// over: it is in conflict until the maker keeps the studio's edits (the next
// save writes them) or takes the file's keys (which undo takes back).
TEST_F(EditModelTest, AnOutsideChangeToAnEditedTrackWaitsForTheMaker) {
    write_small();
    EditModel model = load();
    std::string error;
    ASSERT_TRUE(edit_model_save(model, error)) << error;

    // Seen by the watcher: the reload is refused and the track is in conflict.
    ASSERT_TRUE(edit_set_value(model, CAM_DIST, 0, 3.0f));
    file_write(texts_ / "cam.dist.txt", "0 7 hold\n");
    EXPECT_FALSE(edit_model_reload(model, CAM_DIST, error));
    EXPECT_TRUE(model.tracks[CAM_DIST].conflict);
    ASSERT_TRUE(edit_set_value(model, CAM_ROT, 0, 1.0f));
    EXPECT_FALSE(edit_model_save(model, error));
    EXPECT_EQ(file_text(texts_ / "cam.dist.txt"), "0 7 hold\n") << "the outside change was written over";
    EXPECT_NE(file_text(texts_ / "cam.rot.txt").find("0 1 smoothstep"), std::string::npos) << "other tracks save";
    EXPECT_NE(model.message.find("cam.dist changed on disk"), std::string::npos) << model.message;

    ASSERT_TRUE(edit_model_take_theirs(model, CAM_DIST, error)) << error;
    EXPECT_EQ(keys_of(model, CAM_DIST), "0 7 0\n");
    EXPECT_FALSE(model.tracks[CAM_DIST].conflict);
    EXPECT_EQ(file_bytes(bin_ / "sync_cam.dist.track"), track_file_encode(std::vector<Keyframe>{{0, 7.0f, 0}}));
    ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 0)->value, 3.0f) << "undo brings the studio's edits back";

    // Unseen by the watcher (changed between two polls): the save itself finds it.
    file_write(texts_ / "cam.dist.txt", "0 8 hold\n");
    EXPECT_FALSE(edit_model_save(model, error));
    EXPECT_TRUE(model.tracks[CAM_DIST].conflict);
    EXPECT_EQ(file_text(texts_ / "cam.dist.txt"), "0 8 hold\n");

    ASSERT_TRUE(edit_model_keep_mine(model, CAM_DIST));
    ASSERT_TRUE(edit_model_save(model, error)) << error;
    EXPECT_EQ(keys_of(model, CAM_DIST), track_text_format(track_text_parse(file_text(texts_ / "cam.dist.txt")).keys));
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 0)->value, 3.0f);
    EXPECT_FALSE(edit_model_dirty(model));
}

// A save that writes the text but not the track file says why, keeps the
// track unsaved, and the next save writes the track file alone.
TEST_F(EditModelTest, APartialSaveIsNamedAndFinishedByTheNext) {
    write_small();
    EditModel model = load();
    ASSERT_TRUE(edit_set_value(model, CAM_DIST, 0, 3.0f));
    fs::create_directories(bin_ / "sync_cam.dist.track");  // a folder where the track file goes
    std::string error;
    EXPECT_FALSE(edit_model_save(model, error));
    EXPECT_NE(model.message.find("not saved: "), std::string::npos) << model.message;
    EXPECT_NE(model.message.find("sync_cam.dist.track"), std::string::npos) << model.message;
    EXPECT_NE(file_text(texts_ / "cam.dist.txt").find("0 3 hold"), std::string::npos) << "the text was written";
    EXPECT_TRUE(model.tracks[CAM_DIST].dirty);

    fs::remove(bin_ / "sync_cam.dist.track");
    ASSERT_TRUE(edit_model_save(model, error)) << error;
    EXPECT_FALSE(model.tracks[CAM_DIST].dirty);
    EXPECT_EQ(file_bytes(bin_ / "sync_cam.dist.track"), tool_build(texts_ / "cam.dist.txt"));
}

// Nudges add up to what they say: 200 of 0.01 from a value of three decimals
// land on that value plus 2, and down again on it.
TEST_F(EditModelTest, NudgesLandOnTheDecimalsOfTheValueAndTheStep) {
    write_small();
    EditModel model = load();
    ASSERT_TRUE(edit_set_value(model, CAM_DIST, 0, 6.708f));
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(edit_nudge_value(model, CAM_DIST, 0, 0.01f));
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 0)->value, 8.708f);
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(edit_nudge_value(model, CAM_DIST, 0, -0.01f));
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 0)->value, 6.708f);
    ASSERT_TRUE(edit_set_value(model, CAM_DIST, 0, -0.25f));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(edit_nudge_value(model, CAM_DIST, 0, 1.0f));
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 0)->value, 2.75f);
    ASSERT_TRUE(edit_set_value(model, CAM_DIST, 0, 3.4028235e38f));
    ASSERT_TRUE(edit_nudge_value(model, CAM_DIST, 0, 1.0f));
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 0)->value, 3.4028235e38f) << "a nudge stays within a float's range";
}

// Edits that outlive a studio ended by a signal go to recovery copies beside
// the texts, never over them; the next start takes them back as unsaved
// edits, or drops them.
TEST_F(EditModelTest, RecoveryCopiesKeepEditsBesideTheTexts) {
    write_small();
    binary_write(bin_ / "sync_zeta.track", {{0, 1.0f, 1}});
    const std::string text_before = file_text(texts_ / "cam.dist.txt");
    {
        EditModel model = load();
        ASSERT_TRUE(edit_set_value(model, CAM_DIST, 10, 4.5f));
        ASSERT_TRUE(edit_insert_key(model, 5, 7));
        std::string error;
        ASSERT_TRUE(edit_model_recovery_write(model, error)) << error;
    }
    EXPECT_EQ(file_text(texts_ / "cam.dist.txt"), text_before) << "the text itself is never written";
    ASSERT_TRUE(fs::exists(texts_ / "cam.dist.txt.recovery"));
    ASSERT_TRUE(fs::exists(bin_ / "sync_zeta.track.recovery.txt"));
    EXPECT_FALSE(fs::exists(texts_ / "cam.rot.txt.recovery")) << "a track without edits has no copy";

    EditModel model = load();
    EXPECT_EQ(edit_model_recovery_path(model, CAM_ROT), "");
    std::string error;
    ASSERT_TRUE(edit_model_recover(model, CAM_DIST, error)) << error;
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 10)->value, 4.5f);
    EXPECT_TRUE(model.tracks[CAM_DIST].dirty);
    EXPECT_FALSE(fs::exists(texts_ / "cam.dist.txt.recovery"));
    EXPECT_NE(text_of(model, CAM_DIST).find("# the rise"), std::string::npos) << "comments come back too";
    ASSERT_TRUE(edit_undo(model));
    EXPECT_EQ(edit_key_at(model, CAM_DIST, 10)->value, 10.0f);

    edit_model_recovery_discard(model, 5);
    EXPECT_FALSE(fs::exists(bin_ / "sync_zeta.track.recovery.txt"));
    EXPECT_EQ(edit_key_at(model, 5, 7), nullptr);
}
