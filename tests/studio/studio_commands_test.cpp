// The studio's commands and key table without a window: every binding of the
// table pressed on a session in a known state reaches its command (seen by
// what that command does), the table that F1 shows is the one the keys use,
// and the keys' modifiers pick bindings as the help says.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "presentation/presentation.h"
#include "tests/support/scratch_folder.h"
#include "tools/studio/studio_bindings.h"
#include "tools/studio/studio_commands.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t TRACK = 1;     // clear.g: the cursor's track, with one track either side
constexpr int32_t ROW = 80;     // the cursor's row, on a key
constexpr double LENGTH = 60.0;

// What one press did: the session before and after, and what it asked of
// the world around it.
struct Press {
    StudioSession before;
    StudioSession after;
    int shots = 0;
    int videos = 0;
    int saves = 0;
    int sound_follows = 0;
};

using Expectation = std::function<void(const Press&)>;

double row_now(const StudioSession& session) { return transport_seconds(session.transport, 0) * ROWS_PER_SECOND; }

const Keyframe* key_at(const StudioSession& session, int32_t row) { return edit_key_at(session.model, TRACK, row); }

class StudioCommandsTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = scratch_folder("studio_commands");
        fs::create_directories(dir_ / "texts");
        for (const char* name : TRACK_NAMES) std::ofstream(dir_ / "texts" / (std::string(name) + ".txt")) << "";
        std::ofstream(dir_ / "texts" / "clear.g.txt") << "40 1 linear\n80 2 hold\n160 3 hold\n";
        std::string error;
        ASSERT_TRUE(edit_model_load(session_.model, (dir_ / "texts").string(), dir_.string(), error)) << error;
        session_.cursor_track = TRACK;
        session_.transport = transport_create(LENGTH);
        place(ROW);
        session_.bookmarks.path = (dir_ / "bookmarks.txt").string();
        bookmarks_set(session_.bookmarks, 20, "intro");
        bookmarks_set(session_.bookmarks, 200, "drop");
        effects_.now = [] { return int64_t(0); };
        effects_.shot = [this](StudioSession&) { ++shots_; };
        effects_.video = [this](StudioSession&) { ++videos_; };
        effects_.saved = [this](const std::vector<std::string>&) { ++saves_; };
        effects_.sound_follow = [this](const Transport&, int64_t) { ++sound_follows_; };
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Where the picture is, as the window's frame sets it.
    void place(int32_t row) {
        transport_seek(session_.transport, row / ROWS_PER_SECOND, 0);
        session_.seconds = row / ROWS_PER_SECOND;
        session_.row = double(row);
    }

    Press press(SDL_Scancode key, uint8_t modifiers) {
        shots_ = videos_ = saves_ = sound_follows_ = 0;
        Press result;
        result.before = session_;
        studio_key_press(session_, effects_, key, modifiers);
        result.after = session_;
        result.shots = shots_;
        result.videos = videos_;
        result.saves = saves_;
        result.sound_follows = sound_follows_;
        return result;
    }

    fs::path dir_;
    StudioSession session_;
    StudioEffects effects_;
    int shots_ = 0, videos_ = 0, saves_ = 0, sound_follows_ = 0;
};

Expectation seeks_by(double rows) {
    return [rows](const Press& p) {
        EXPECT_DOUBLE_EQ(row_now(p.after), ROW + rows);
        EXPECT_EQ(p.sound_follows, 1);
    };
}

Expectation nudges_by(float step) {
    return [step](const Press& p) { EXPECT_FLOAT_EQ(key_at(p.after, ROW)->value, key_at(p.before, ROW)->value + step); };
}

Expectation moves_key_by(int32_t rows) {
    return [rows](const Press& p) {
        EXPECT_EQ(key_at(p.after, ROW), nullptr);
        ASSERT_NE(key_at(p.after, ROW + rows), nullptr);
        EXPECT_EQ(key_at(p.after, ROW + rows)->value, 2.0f);
        EXPECT_DOUBLE_EQ(row_now(p.after), ROW + rows) << "the cursor goes with the keys";
    };
}

Expectation typing_for(Typing purpose) {
    return [purpose](const Press& p) {
        EXPECT_TRUE(p.after.typing);
        EXPECT_EQ(p.after.typing_for, purpose);
    };
}

// What each command does to the session in the fixture's state.
std::map<StudioCommand, Expectation> expectations() {
    using enum StudioCommand;
    return {
        {play_pause, [](const Press& p) { EXPECT_TRUE(p.after.transport.playing); }},
        {row_back, seeks_by(-1)},
        {row_on, seeks_by(1)},
        {beat_back, seeks_by(-ROWS_PER_BEAT)},
        {beat_on, seeks_by(ROWS_PER_BEAT)},
        {bar_back, seeks_by(-ROWS_PER_BAR)},
        {bar_on, seeks_by(ROWS_PER_BAR)},
        {go_start, [](const Press& p) { EXPECT_EQ(row_now(p.after), 0.0); }},
        {go_end, [](const Press& p) { EXPECT_DOUBLE_EQ(row_now(p.after), LENGTH * ROWS_PER_SECOND); }},
        {track_before, [](const Press& p) { EXPECT_EQ(p.after.cursor_track, TRACK - 1); }},
        {track_after, [](const Press& p) { EXPECT_EQ(p.after.cursor_track, TRACK + 1); }},
        {key_insert,
         [](const Press& p) {
             // The fixture's row holds a key: an insert there is refused and says so.
             EXPECT_EQ(p.after.model.message, "clear.g row 80 already holds a key");
             EXPECT_EQ(p.after.edits, p.before.edits);
         }},
        {value_type, [](const Press& p) { EXPECT_TRUE(p.after.typing); }},
        {nudge_up, nudges_by(0.01f)},
        {nudge_down, nudges_by(-0.01f)},
        {nudge_up_whole, nudges_by(1.0f)},
        {nudge_down_whole, nudges_by(-1.0f)},
        {kind_cycle, [](const Press& p) { EXPECT_EQ(key_at(p.after, ROW)->kind, INTERP_LINEAR); }},
        {block_mark, [](const Press& p) { EXPECT_EQ(p.after.anchor, (std::pair<size_t, int32_t>{TRACK, ROW})); }},
        {block_drop, [](const Press& p) { EXPECT_FALSE(p.after.anchor); }},
        {keys_delete, [](const Press& p) { EXPECT_EQ(key_at(p.after, ROW), nullptr); }},
        {move_up, moves_key_by(-1)},
        {move_down, moves_key_by(1)},
        {move_up_beat, moves_key_by(-int32_t(ROWS_PER_BEAT))},
        {move_down_beat, moves_key_by(int32_t(ROWS_PER_BEAT))},
        {copy,
         [](const Press& p) {
             ASSERT_EQ(p.after.model.clipboard.tracks.size(), 1u);
             EXPECT_EQ(p.after.model.clipboard.tracks[0].size(), 1u);
             EXPECT_NE(key_at(p.after, ROW), nullptr);
         }},
        {cut,
         [](const Press& p) {
             EXPECT_EQ(p.after.model.clipboard.tracks.size(), 1u);
             EXPECT_EQ(key_at(p.after, ROW), nullptr);
         }},
        {paste,
         [](const Press& p) {
             // The fixture's clipboard holds one key of value 7.
             ASSERT_NE(key_at(p.after, ROW), nullptr);
             EXPECT_EQ(key_at(p.after, ROW)->value, 7.0f);
         }},
        {undo, [](const Press& p) { EXPECT_EQ(key_at(p.after, ROW)->value, 2.0f); }},
        {redo, [](const Press& p) { EXPECT_EQ(key_at(p.after, ROW)->value, 5.0f); }},
        {save,
         [](const Press& p) {
             EXPECT_EQ(p.saves, 1);
             EXPECT_FALSE(edit_model_dirty(p.after.model));
         }},
        {loop_in,
         [](const Press& p) {
             EXPECT_FALSE(p.after.transport.loop) << "I sets the span; L loops it";
             EXPECT_DOUBLE_EQ(p.after.transport.loop_in, ROW / ROWS_PER_SECOND);
             EXPECT_EQ(p.after.message, "loop span 0:04.000 to 0:04.050 (L loops it)");
         }},
        {loop_out,
         [](const Press& p) {
             EXPECT_FALSE(p.after.transport.loop);
             EXPECT_DOUBLE_EQ(p.after.transport.loop_out, ROW / ROWS_PER_SECOND);
         }},
        {loop_toggle, [](const Press& p) { EXPECT_NE(p.after.transport.loop, p.before.transport.loop); }},
        {speed_cycle, [](const Press& p) { EXPECT_EQ(p.after.transport.speed, 2.0); }},
        {lead_toggle,
         [](const Press& p) {
             EXPECT_TRUE(p.after.studio_leads);
             EXPECT_EQ(p.sound_follows, 1) << "the transport goes out again to whoever follows now";
         }},
        {shot, [](const Press& p) { EXPECT_EQ(p.shots, 1); }},
        {video, [](const Press& p) { EXPECT_EQ(p.videos, 1); }},
        {help_toggle, [](const Press& p) { EXPECT_TRUE(p.after.help); }},
        {quit, [](const Press& p) { EXPECT_TRUE(p.after.quit_asked); }},
        {key_previous, [](const Press& p) { EXPECT_DOUBLE_EQ(row_now(p.after), 40.0); }},
        {key_next, [](const Press& p) { EXPECT_DOUBLE_EQ(row_now(p.after), 160.0); }},
        // The fixture's bookmarks stand at rows 20 and 200.
        {bookmark_previous, [](const Press& p) { EXPECT_DOUBLE_EQ(row_now(p.after), 20.0); }},
        {bookmark_next, [](const Press& p) { EXPECT_DOUBLE_EQ(row_now(p.after), 200.0); }},
        {bookmark_set, typing_for(Typing::bookmark)},
        {values_scale, typing_for(Typing::scale)},
        {values_offset, typing_for(Typing::offset)},
        {keys_stretch, typing_for(Typing::stretch)},
    };
}

}  // namespace

TEST_F(StudioCommandsTest, EveryBindingReachesItsCommand) {
    const auto expected = expectations();
    const StudioSession fresh = session_;
    for (const StudioBinding& binding : studio_bindings()) {
        SCOPED_TRACE(studio_binding_keys(binding));
        session_ = fresh;
        // What some commands need to show what they do: a value edited and
        // undone (for redo), an edit to save (and to ask about on quit), a clipboard.
        const StudioCommand command = binding.command;
        if (command == StudioCommand::undo || command == StudioCommand::redo ||
            command == StudioCommand::save || command == StudioCommand::quit) {
            ASSERT_TRUE(edit_set_value(session_.model, TRACK, ROW, 5.0f));
            if (command == StudioCommand::redo) {
                ASSERT_TRUE(edit_undo(session_.model));
            }
        }
        if (command == StudioCommand::paste) session_.model.clipboard.tracks = {{{0, 7.0f, INTERP_HOLD}}};
        if (command == StudioCommand::block_drop) session_.anchor = std::pair{TRACK, 40};
        if (command == StudioCommand::loop_toggle) {
            ASSERT_TRUE(transport_set_loop(session_.transport, 1.0, 2.0, 0));
        }
        const auto expectation = expected.find(command);
        ASSERT_NE(expectation, expected.end()) << "no expectation for a bound command";
        expectation->second(press(binding.key, binding.modifiers));
    }
}

TEST_F(StudioCommandsTest, EveryCommandHasAKeyAndNoKeyTwoBindings) {
    std::set<StudioCommand> bound;
    std::set<std::pair<int, int>> chords;
    for (const StudioBinding& binding : studio_bindings()) {
        bound.insert(binding.command);
        EXPECT_TRUE(chords.insert({binding.key, binding.modifiers}).second) << studio_binding_keys(binding);
        EXPECT_EQ(studio_binding_find(binding.key, binding.modifiers), &binding) << studio_binding_keys(binding);
    }
    EXPECT_FALSE(studio_bindings().front().does.empty()) << "the first line of F1 has no words";
    EXPECT_EQ(bound.size(), expectations().size());
}

TEST(StudioBindingsTest, ModifiersPickTheBindingTheHelpNames) {
    const auto command_of = [](SDL_Scancode key, uint8_t modifiers) {
        const StudioBinding* binding = studio_binding_find(key, modifiers);
        return binding ? std::optional(binding->command) : std::nullopt;
    };
    // Shift falls back to the plain binding where the key has none with Shift.
    EXPECT_EQ(command_of(SDL_SCANCODE_K, MOD_SHIFT), StudioCommand::key_insert);
    EXPECT_EQ(command_of(SDL_SCANCODE_S, MOD_CTRL | MOD_SHIFT), StudioCommand::save);
    EXPECT_EQ(command_of(SDL_SCANCODE_UP, MOD_CTRL | MOD_SHIFT), StudioCommand::bar_back);
    // Ctrl and Alt are never dropped: Ctrl+K is not K, Alt+S is not S.
    EXPECT_EQ(command_of(SDL_SCANCODE_K, MOD_CTRL), std::nullopt);
    EXPECT_EQ(command_of(SDL_SCANCODE_S, MOD_ALT), std::nullopt);
    EXPECT_EQ(command_of(SDL_SCANCODE_UP, MOD_ALT | MOD_SHIFT), StudioCommand::move_up_beat);
    EXPECT_EQ(studio_modifiers(KMOD_LCTRL | KMOD_RSHIFT), MOD_CTRL | MOD_SHIFT);
    EXPECT_EQ(studio_modifiers(KMOD_NUM | KMOD_CAPS), MOD_NONE);
}

// Keys that arrive within one frame (a slow one on a software GL, key repeat,
// fast typing) act in order, each on the state the one before left.
TEST_F(StudioCommandsTest, KeysOfOneFrameActInOrder) {
    place(0);
    for (int i = 0; i < 10; ++i) press(SDL_SCANCODE_DOWN, MOD_NONE);
    EXPECT_EQ(studio_cursor_row(session_), 10);
    EXPECT_DOUBLE_EQ(row_now(session_), 10.0);

    place(3);
    press(SDL_SCANCODE_DOWN, MOD_NONE);
    press(SDL_SCANCODE_DOWN, MOD_NONE);
    press(SDL_SCANCODE_K, MOD_NONE);
    EXPECT_EQ(studio_cursor_row(session_), 5);
    EXPECT_NE(key_at(session_, 5), nullptr) << "the key lands on the row the cursor shows";
    EXPECT_EQ(key_at(session_, 4), nullptr);

    press(SDL_SCANCODE_UP, MOD_SHIFT);
    press(SDL_SCANCODE_RIGHT, MOD_NONE);
    press(SDL_SCANCODE_INSERT, MOD_NONE);
    EXPECT_NE(edit_key_at(session_.model, TRACK + 1, 0), nullptr) << "Shift+Up from row 5 stops at row 0";
}

TEST_F(StudioCommandsTest, TypingTakesTheKeysUntilEnterOrEscape) {
    press(SDL_SCANCODE_RETURN, MOD_NONE);
    ASSERT_TRUE(session_.typing);
    studio_typing_append(session_, "4.");
    press(SDL_SCANCODE_T, MOD_NONE);  // a letter's key press is text, not the kind command
    studio_typing_append(session_, "25x");
    press(SDL_SCANCODE_BACKSPACE, MOD_NONE);
    press(SDL_SCANCODE_RETURN, MOD_NONE);
    EXPECT_FALSE(session_.typing);
    EXPECT_EQ(key_at(session_, ROW)->value, 4.25f);
    EXPECT_EQ(key_at(session_, ROW)->kind, INTERP_HOLD);

    for (const char* refused : {"nine", "inf", "-inf", "nan", "1e39"}) {
        press(SDL_SCANCODE_RETURN, MOD_NONE);
        studio_typing_append(session_, refused);
        press(SDL_SCANCODE_RETURN, MOD_NONE);
        EXPECT_EQ(session_.message.find(std::string("not set: '") + refused + "' is "), 0u) << session_.message;
        EXPECT_EQ(key_at(session_, ROW)->value, 4.25f);
    }

    press(SDL_SCANCODE_RETURN, MOD_NONE);
    studio_typing_append(session_, "1");
    press(SDL_SCANCODE_ESCAPE, MOD_NONE);
    EXPECT_FALSE(session_.typing);
    EXPECT_EQ(key_at(session_, ROW)->value, 4.25f);
}

TEST_F(StudioCommandsTest, TheQuestionBeforeQuittingHoldsTheKeysAndSavesFirst) {
    ASSERT_TRUE(edit_set_value(session_.model, TRACK, ROW, 5.0f));
    press(SDL_SCANCODE_Q, MOD_CTRL);
    ASSERT_TRUE(session_.quit_asked);
    EXPECT_FALSE(session_.quit);
    press(SDL_SCANCODE_DELETE, MOD_NONE);
    EXPECT_NE(key_at(session_, ROW), nullptr) << "keys wait while the question is up";
    press(SDL_SCANCODE_ESCAPE, MOD_NONE);
    EXPECT_FALSE(session_.quit_asked);
    EXPECT_FALSE(session_.quit);
    press(SDL_SCANCODE_Q, MOD_CTRL);
    shots_ = videos_ = saves_ = sound_follows_ = 0;
    studio_key_press(session_, effects_, SDL_SCANCODE_RETURN, MOD_NONE);
    EXPECT_TRUE(session_.quit);
    EXPECT_EQ(saves_, 1);
    EXPECT_FALSE(edit_model_dirty(session_.model));
}

TEST_F(StudioCommandsTest, EditCommandsWaitForTracks) {
    session_.model.tracks.clear();
    session_.cursor_track = 0;
    for (const StudioBinding& binding : studio_bindings()) press(binding.key, binding.modifiers);
    EXPECT_EQ(session_.edits, 0u);
    EXPECT_EQ(session_.cursor_track, 0u);
}

// A digit or a point typed on a row with a key starts typing its value; on a
// row without one it does nothing.
TEST_F(StudioCommandsTest, ADigitOnAKeyStartsTypingItsValue) {
    studio_typing_append(session_, "7");
    ASSERT_TRUE(session_.typing);
    studio_typing_append(session_, ".5");
    press(SDL_SCANCODE_RETURN, MOD_NONE);
    EXPECT_EQ(key_at(session_, ROW)->value, 7.5f);
    place(ROW + 1);
    studio_typing_append(session_, "3");
    EXPECT_FALSE(session_.typing);
}

// Typed factors and amounts apply to the block (or the key at the cursor):
// values scaled and offset, keys stretched in time from the block's first row.
TEST_F(StudioCommandsTest, BlocksScaleOffsetAndStretch) {
    session_.anchor = std::pair{TRACK, 40};
    place(160);
    const auto typed = [this](SDL_Scancode key, const char* text) {
        press(key, MOD_CTRL);
        studio_typing_append(session_, text);
        press(SDL_SCANCODE_RETURN, MOD_NONE);
    };
    typed(SDL_SCANCODE_M, "2");
    EXPECT_EQ(key_at(session_, 40)->value, 2.0f);
    EXPECT_EQ(key_at(session_, 160)->value, 6.0f);
    typed(SDL_SCANCODE_A, "-0.5");
    EXPECT_EQ(key_at(session_, 80)->value, 3.5f);
    typed(SDL_SCANCODE_T, "0.5");
    EXPECT_NE(key_at(session_, 60), nullptr) << "80 is 40 rows after the block's start, now 20";
    EXPECT_NE(key_at(session_, 100), nullptr);
    EXPECT_EQ(key_at(session_, 160), nullptr);
    typed(SDL_SCANCODE_M, "1e38");
    EXPECT_NE(session_.message.find("would leave a float's range"), std::string::npos) << session_.message;
    typed(SDL_SCANCODE_T, "0");
    EXPECT_NE(session_.message.find("not above 0"), std::string::npos) << session_.message;
    ASSERT_TRUE(edit_undo(session_.model));
    EXPECT_NE(key_at(session_, 160), nullptr) << "a stretch is one undo step";
}

// Bookmarks are named by typing, kept in the presentation's folder, renamed
// and removed the same way.
TEST_F(StudioCommandsTest, BookmarksAreNamedAndKeptInTheFolder) {
    press(SDL_SCANCODE_B, MOD_CTRL);
    studio_typing_append(session_, "the drop");
    press(SDL_SCANCODE_RETURN, MOD_NONE);
    Bookmarks read;
    std::string error;
    ASSERT_TRUE(bookmarks_load(session_.bookmarks.path, read, error)) << error;
    ASSERT_NE(bookmarks_at(read, ROW), nullptr);
    EXPECT_EQ(bookmarks_at(read, ROW)->name, "the drop");
    EXPECT_EQ(read.marks.size(), 3u);

    press(SDL_SCANCODE_B, MOD_CTRL);
    EXPECT_EQ(session_.typed, "the drop") << "the name to edit";
    for (int i = 0; i < 8; ++i) press(SDL_SCANCODE_BACKSPACE, MOD_NONE);
    press(SDL_SCANCODE_RETURN, MOD_NONE);
    ASSERT_TRUE(bookmarks_load(session_.bookmarks.path, read, error)) << error;
    EXPECT_EQ(bookmarks_at(read, ROW), nullptr) << "an empty name removes it";
    EXPECT_EQ(read.marks.size(), 2u);
}
