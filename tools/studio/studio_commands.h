// Every command of the studio, whatever asks for it (a key, a button, a click):
// the session they act on, free of the window, and what they ask of the world
// around it (the sound, the picture, the files, a clock), so that tests run
// them on made-up times without a window. The keys reach them through the
// bindings (studio_bindings.h), the interface's buttons directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/studio/model/bookmarks.h"
#include "tools/studio/model/edit_model.h"
#include "tools/studio/model/transport.h"

// What a typed text is for.
enum class Typing { value, bookmark, scale, offset, stretch };

struct StudioSession {
    EditModel model;
    size_t cursor_track = 0;
    std::optional<std::pair<size_t, int32_t>> anchor;  // the other corner of a block selection
    bool typing = false;                               // a text is being typed
    Typing typing_for = Typing::value;
    std::string typed;
    Bookmarks bookmarks;
    std::vector<size_t> recovered;  // tracks whose edits a signal kept aside, found at start, not yet settled

    Transport transport;
    double seconds = 0.0;  // where the picture is this frame
    double row = 0.0;
    uint64_t edits = 0;    // counts edits, undos and reloads
    // While players are linked, the first one that plays leads the clock and
    // the studio is silent; the maker may keep the lead (and the sound).
    bool studio_leads = false;

    bool help = false;
    bool quit_asked = false;
    bool quit = false;
    std::string message;  // the last thing the studio has to say
};

// What commands need beyond the session; each is optional (tests leave out
// what they do not watch).
struct StudioEffects {
    std::function<int64_t()> now;                                // the monotonic clock, in ns
    std::function<void(const Transport&, int64_t now)> sound_follow;  // after the transport changed
    std::function<void(StudioSession&)> shot;                    // the frame at the current row to a file
    std::function<void(StudioSession&)> video;                   // the loop span to a video
    // The files a save wrote, which are no changes made by another program.
    std::function<void(const std::vector<std::string>& written)> saved;
};

enum class StudioCommand {
    play_pause,
    row_back,
    row_on,
    beat_back,
    beat_on,
    bar_back,
    bar_on,
    go_start,
    go_end,
    track_before,
    track_after,
    key_insert,
    value_type,
    nudge_up,
    nudge_down,
    nudge_up_whole,
    nudge_down_whole,
    kind_cycle,
    block_mark,
    block_drop,
    keys_delete,
    move_up,
    move_down,
    move_up_beat,
    move_down_beat,
    copy,
    cut,
    paste,
    undo,
    redo,
    save,
    loop_in,
    loop_out,
    loop_toggle,
    speed_cycle,
    shot,
    video,
    help_toggle,
    quit,
    key_previous,
    key_next,
    bookmark_previous,
    bookmark_next,
    bookmark_set,
    values_scale,
    values_offset,
    keys_stretch,
    lead_toggle,
};

// Runs the command on the session; its message says what it did or why not.
void studio_command_run(StudioSession& session, const StudioEffects& effects, StudioCommand command);

// The row the cursor stands on: the picture's row, down to a whole row (a hair
// below one, as seeking in seconds leaves it, still counts as that row).
int32_t studio_cursor_row(const StudioSession& session);

// The block selection between the anchor and the cursor, if one is set.
std::optional<EditSelection> studio_selection(const StudioSession& session);

// Seeks the transport (and the sound) to a position in seconds, and puts the
// picture's row there at once, for the keys after it in the same frame.
void studio_seek(StudioSession& session, const StudioEffects& effects, double seconds);
// Puts the cursor on a track and a row, as a click in the tracker does.
void studio_cursor_place(StudioSession& session, const StudioEffects& effects, size_t track, int32_t row);

// Typed text: appended, a character taken back, and Enter (which does what
// the typing is for: the value of the key at the cursor, a bookmark's name, a
// factor or an offset for the block) or Escape (which leaves it). A digit or a
// point typed on a row with a key starts typing its value.
void studio_typing_append(StudioSession& session, std::string_view text);
void studio_typing_back(StudioSession& session);
void studio_typing_end(StudioSession& session, bool accept);

// The question before quitting: save and quit (quits only once the save
// worked), quit without saving, or go on.
void studio_quit_save(StudioSession& session, const StudioEffects& effects);
void studio_quit_discard(StudioSession& session);
void studio_quit_cancel(StudioSession& session);

// A track's text (or the track file of a track without one) changed on disk
// by another program: reloaded, or in conflict while it holds edits.
void studio_track_reload(StudioSession& session, size_t track);
// The track file of a track with a text changed on disk: rebuilt from the
// text when it no longer holds the text's keys.
void studio_track_file_changed(StudioSession& session, size_t track);
// A conflict settled: keep the studio's edits, or take the file's keys.
void studio_conflict_settle(StudioSession& session, size_t track, bool keep_mine);
// Edits recovered from a studio a signal ended: taken back, or dropped.
void studio_recovery_settle(StudioSession& session, size_t track, bool take);
