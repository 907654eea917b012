// What the studio edits: the presentation's tracks (and any other sync_*.track
// found) as documents, a selection of rows across tracks, a clipboard, and
// undo and redo without limit. Free of SDL and ImGui: the interface only draws
// this model and turns input into its commands. Every command keeps the rows
// of every track strictly ascending; one that cannot refuses with a message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "presentation/frame.h"
#include "tools/studio/model/track_document.h"
#include "tracks/tracks.h"

struct EditTrack {
    TrackDocument document;
    Track track;              // the document's keys, evaluated as the presentation does
    std::string text_path;    // the text saved to ("" when the track has no text: saved as binary only)
    std::string binary_path;  // the sync_NAME.track rebuilt on save
    // Edited since load or save: its text differs from saved_text, or its
    // track file was not written when the text was.
    bool dirty = false;
    std::string saved_text;   // the document's text as last loaded or saved, so that undoing back to it is clean
    bool binary_stale = false;  // the last save wrote the text but not the track file
    // Changed on disk by another program while it held edits: it is saved
    // only once the maker has kept theirs or taken the file's.
    bool conflict = false;
};

// A block of rows across adjacent tracks, both ends included.
struct EditSelection {
    size_t first_track = 0;
    size_t last_track = 0;
    int32_t first_row = 0;
    int32_t last_row = 0;
};

// Keys cut or copied: per track of the block, the keys with rows counted from
// the block's first row.
struct EditClipboard {
    std::vector<std::vector<Keyframe>> tracks;
};

// One edit, for undo and redo: for each track it changed, the patches back
// to the state before it and on to the state after it, which hold only the
// keys it changed.
struct EditStep {
    struct Change {
        size_t track;
        DocumentPatch back;
        DocumentPatch on;
    };
    std::vector<Change> changes;
};

struct EditModel {
    std::vector<EditTrack> tracks;
    EditClipboard clipboard;
    std::vector<EditStep> undo;
    std::vector<EditStep> redo;
    std::string message;  // what the last command said: a refusal, a merge, a save
};

// The result of a command: false when it was refused (model.message says why).
using EditResult = bool;

// Loads the tracks: the presentation's, in their request order, then any other
// sync_NAME.track in binary_dir, by name. A track's text is text_dir/NAME.txt
// when it exists; else its keys come from binary_dir/sync_NAME.track. False
// with error when a text does not parse or a file cannot be read.
bool edit_model_load(EditModel& model, const std::string& text_dir, const std::string& binary_dir,
                     std::string& error);

// A key at the row with the track's value there; its kind is that of the
// interval it falls in (hold before the first key). Refused where a key is.
EditResult edit_insert_key(EditModel& model, size_t track, int32_t row);
// The key at the row gets the value; refused where there is no key.
EditResult edit_set_value(EditModel& model, size_t track, int32_t row, float value);
// Adds step to the value on the decimals of both (up to 6), so that nudges
// never gather a float's rounding.
EditResult edit_nudge_value(EditModel& model, size_t track, int32_t row, float step);
// hold, linear, smoothstep, quadratic, hold; any other kind becomes hold.
EditResult edit_cycle_kind(EditModel& model, size_t track, int32_t row);
EditResult edit_delete(EditModel& model, const EditSelection& selection);
// Moves the selection's keys by rows. Refused when a moved key would land on a
// row that a key outside the selection holds, or outside the 32-bit rows.
EditResult edit_move(EditModel& model, const EditSelection& selection, int32_t rows);
// The block's values times factor, or plus offset; refused when a value would
// leave a float's range (or the factor or offset is not finite).
EditResult edit_scale_values(EditModel& model, const EditSelection& selection, double factor);
EditResult edit_offset_values(EditModel& model, const EditSelection& selection, double offset);
// Stretches the block's keys in time by factor (above 0) from its first row:
// each key's distance from it times factor, to the nearest row. Refused when
// two keys would share a row, or a key would land on a key outside the
// block or leave the 32-bit rows.
EditResult edit_stretch(EditModel& model, const EditSelection& selection, double factor);
// A block without keys leaves the clipboard as it was, and model.message says so.
void edit_copy(EditModel& model, const EditSelection& selection);
EditResult edit_cut(EditModel& model, const EditSelection& selection);
// Pastes the clipboard with its first row at `row`, its first track at
// `track`. Merges: a pasted key replaces a key on the same row, and the
// message says how many were replaced. Tracks past the last are dropped.
EditResult edit_paste(EditModel& model, size_t track, int32_t row);
EditResult edit_undo(EditModel& model);
EditResult edit_redo(EditModel& model);

bool edit_model_dirty(const EditModel& model);

// Makes the files hold what the studio holds: the text of each track with
// edits, atomically, then every track file that does not hold its track's keys
// (one missing, one rebuilt by hand, one a failed save left behind). A track
// in conflict is not written, nor is one whose text changed on disk since it
// was read or saved (it is put in conflict). False with error on the first
// failed write, and false when a track is in conflict; model.message names
// what was saved, rebuilt and left in conflict.
// written, when given, receives the paths of the files it wrote.
bool edit_model_save(EditModel& model, std::string& error, std::vector<std::string>* written = nullptr);

// Reloads one track from disk (changed by another program) and rebuilds its
// track file when the text changed. A track that holds unsaved edits is not
// reloaded: it is put in conflict, false, and model.message says that the
// edits are kept until the maker settles it. The reload is an edit of its own,
// so undo brings back what the studio held.
bool edit_model_reload(EditModel& model, size_t track, std::string& error);

// Settles a conflict: keep the studio's edits (the next save writes them over
// the file), or take the file's keys in their place (an edit that undo takes
// back).
bool edit_model_keep_mine(EditModel& model, size_t track);
bool edit_model_take_theirs(EditModel& model, size_t track, std::string& error);

// The track file of a track with a text, changed or removed by another
// program: rebuilt from the text when it no longer holds the text's keys
// and the track holds no edits (a save writes those). True when it was.
bool edit_model_rebuild_file(EditModel& model, size_t track, std::string& error);

// Edits that outlive a studio ended by a signal: each track with edits has
// its text written to a recovery copy beside its text (NAME.txt.recovery, or
// beside its track file when it has no text), never over the text itself;
// false with error on the first failed write.
bool edit_model_recovery_write(const EditModel& model, std::string& error);
// The recovery copy of a track, "" for none on disk.
std::string edit_model_recovery_path(const EditModel& model, size_t track);
// Takes a track's recovery copy in place of its keys (an edit, unsaved until a
// save) and removes the copy; or removes it unused.
bool edit_model_recover(EditModel& model, size_t track, std::string& error);
void edit_model_recovery_discard(EditModel& model, size_t track);

// The camera's two tracks among the model's, as the picture evaluates them.
CameraTracks edit_model_camera(const EditModel& model);

// The key of the track at the row, if there is one.
const Keyframe* edit_key_at(const EditModel& model, size_t track, int32_t row);
// The track's nearest key after or before the row, if there is one.
const Keyframe* edit_key_next(const EditModel& model, size_t track, int32_t row);
const Keyframe* edit_key_previous(const EditModel& model, size_t track, int32_t row);
