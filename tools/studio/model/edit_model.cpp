// The studio's edits of its track documents, each one undoable.
#include "tools/studio/model/edit_model.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <span>
#include <system_error>
#include <utility>

#include "presentation/frame.h"
#include "presentation/presentation.h"
#include "tools/common/files.h"
#include "tracks/track_file.h"
#include "tracks/track_text.h"

namespace fs = std::filesystem;

namespace {

// As zirbelon-tracks build allows: far more than any track needs.
constexpr uint64_t TEXT_BYTES_MAX = uint64_t(1) << 30;

struct Block {
    size_t first_track = 0;
    size_t last_track = 0;
    int32_t first_row = 0;
    int32_t last_row = 0;
};

using Changes = std::vector<std::pair<size_t, TrackDocument>>;

bool refuse(EditModel& model, std::string message) {
    model.message = std::move(message);
    return false;
}

std::string count_text(size_t count, std::string_view thing) {
    return std::to_string(count) + " " + std::string(thing) + (count == 1 ? "" : "s");
}

const std::string& track_name(const EditModel& model, size_t track) { return model.tracks[track].document.name; }

bool row_in(const Block& block, int32_t row) { return row >= block.first_row && row <= block.last_row; }

// Selections come from dragging, so either corner may come first.
bool block_of(EditModel& model, const EditSelection& selection, Block& block) {
    block.first_track = std::min(selection.first_track, selection.last_track);
    block.last_track = std::max(selection.first_track, selection.last_track);
    block.first_row = std::min(selection.first_row, selection.last_row);
    block.last_row = std::max(selection.first_row, selection.last_row);
    if (block.last_track >= model.tracks.size())
        return refuse(model, "the selection reaches past the last track");
    return true;
}

size_t block_key_count(const EditModel& model, const Block& block) {
    size_t count = 0;
    for (size_t t = block.first_track; t <= block.last_track; ++t)
        for (const Keyframe& key : model.tracks[t].track.keys) count += row_in(block, key.row);
    return count;
}

// The block of a selection that holds keys, and how many; refused otherwise.
bool block_with_keys(EditModel& model, const EditSelection& selection, Block& block, size_t& count) {
    if (!block_of(model, selection, block)) return false;
    count = block_key_count(model, block);
    if (count == 0) return refuse(model, "the selection holds no keys");
    return true;
}

bool track_exists(EditModel& model, size_t track) {
    if (track < model.tracks.size()) return true;
    return refuse(model, "there is no track " + std::to_string(track));
}

void track_refresh(EditTrack& track) {
    track.track.name = track.document.name;
    track.track.keys = track_document_keys(track.document);
    track.dirty = track.binary_stale || track_document_text(track.document) != track.saved_text;
}

// Puts the changed documents in place as one step of the history; documents
// that came out the same are left out of it, and a command that changed
// nothing leaves no step to undo.
bool edit_commit(EditModel& model, Changes changes, std::string message) {
    EditStep step;
    for (auto& [index, document] : changes) {
        EditTrack& track = model.tracks[index];
        if (track_document_equal(track.document, document)) continue;
        step.changes.push_back(
            {index, track_document_diff(document, track.document), track_document_diff(track.document, document)});
        track.document = std::move(document);
        track_refresh(track);
    }
    model.message = std::move(message);
    if (!step.changes.empty()) {
        model.undo.push_back(std::move(step));
        model.redo.clear();
    }
    return true;
}

bool edit_commit_keys(EditModel& model, size_t track, const std::vector<Keyframe>& keys, std::string message) {
    TrackDocument document = model.tracks[track].document;
    track_document_set_keys(document, keys);
    Changes changes;
    changes.emplace_back(track, std::move(document));
    return edit_commit(model, std::move(changes), std::move(message));
}

// Takes the last step of one history (undo's or redo's), takes the tracks
// back before it (undoing) or on past it (redoing), and hands the step to the
// other history.
EditResult history_step(EditModel& model, std::vector<EditStep>& from, std::vector<EditStep>& to, bool redoing) {
    if (from.empty()) return refuse(model, redoing ? "nothing to redo" : "nothing to undo");
    EditStep step = std::move(from.back());
    from.pop_back();
    std::string names;
    for (const EditStep::Change& change : step.changes) {
        EditTrack& track = model.tracks[change.track];
        track_document_patch(track.document, redoing ? change.on : change.back);
        track_refresh(track);
        names += (names.empty() ? "" : ", ") + track_name(model, change.track);
    }
    model.message = (redoing ? "redid an edit of " : "undid an edit of ") + names;
    to.push_back(std::move(step));
    return true;
}

std::optional<size_t> key_index(const std::vector<Keyframe>& keys, int32_t row) {
    const auto key = std::lower_bound(keys.begin(), keys.end(), row,
                                      [](const Keyframe& k, int32_t r) { return k.row < r; });
    if (key == keys.end() || key->row != row) return std::nullopt;
    return size_t(key - keys.begin());
}

std::string row_text(const EditModel& model, size_t track, int32_t row) {
    return track_name(model, track) + " row " + std::to_string(row);
}

// Changes the key at the row through change; refused where there is none.
template <typename Change>
EditResult key_edit(EditModel& model, size_t track, int32_t row, Change change) {
    if (!track_exists(model, track)) return false;
    std::vector<Keyframe> keys = model.tracks[track].track.keys;
    const auto index = key_index(keys, row);
    if (!index) return refuse(model, row_text(model, track, row) + " holds no key");
    const std::string what = change(keys[*index]);
    return edit_commit_keys(model, track, keys, row_text(model, track, row) + ": " + what);
}

// The fewest decimals (up to 6) that write the float; 7 when it needs more.
int decimals_of(float value) {
    for (int decimals = 0; decimals <= 6; ++decimals) {
        const double scale = std::pow(10.0, decimals);
        if (float(std::round(double(value) * scale) / scale) == value) return decimals;
    }
    return 7;
}

// value + step on the decimals of both, so that nudges add up to what they
// say (0 and 200 nudges of 0.01 make 2, not 1.9999...), within a float's range.
float nudged(float value, float step) {
    const double sum = std::clamp(double(value) + double(step), -double(FLT_MAX), double(FLT_MAX));
    const int decimals = std::max(decimals_of(value), decimals_of(step));
    if (decimals > 6) return float(sum);
    const double scale = std::pow(10.0, decimals);
    return float(std::clamp(std::round(sum * scale) / scale, -double(FLT_MAX), double(FLT_MAX)));
}

bool block_copy(EditModel& model, const Block& block, EditClipboard& clipboard, size_t& count) {
    clipboard.tracks.clear();
    count = 0;
    for (size_t t = block.first_track; t <= block.last_track; ++t) {
        std::vector<Keyframe>& copied = clipboard.tracks.emplace_back();
        for (const Keyframe& key : model.tracks[t].track.keys) {
            if (!row_in(block, key.row)) continue;
            const int64_t offset = int64_t(key.row) - block.first_row;
            // A block this tall could be pasted nowhere but where it stands.
            if (offset > INT32_MAX)
                return refuse(model, "the selection spans more rows than a paste can place");
            copied.push_back({int32_t(offset), key.value, key.kind});
            ++count;
        }
    }
    if (count == 0) return refuse(model, "the selection holds no keys");
    return true;
}

bool block_delete(EditModel& model, const Block& block, size_t& count) {
    count = block_key_count(model, block);
    if (count == 0) return refuse(model, "the selection holds no keys");
    Changes changes;
    for (size_t t = block.first_track; t <= block.last_track; ++t) {
        std::vector<Keyframe> keys = model.tracks[t].track.keys;
        std::erase_if(keys, [&](const Keyframe& key) { return row_in(block, key.row); });
        TrackDocument document = model.tracks[t].document;
        track_document_set_keys(document, keys);
        changes.emplace_back(t, std::move(document));
    }
    return edit_commit(model, std::move(changes), "deleted " + count_text(count, "key"));
}

std::string text_path_of(const std::string& text_dir, const std::string& name) {
    return (fs::path(text_dir) / (name + ".txt")).string();
}

// Where the presentation in binary_dir reads the track: the set's file name for
// it, in that folder. Every name here has one (the presentation's, or one read
// from such a file's name).
std::string binary_path_of(const std::string& binary_dir, const std::string& name) {
    const std::optional<std::string> file = track_file_path(TRACKSET_BASE_NAME, name);
    return file ? (fs::path(binary_dir) / *file).string() : std::string();
}

bool path_exists(const std::string& path) {
    std::error_code error;
    // A dangling link still names the text the maker means, so it is read and fails.
    return fs::exists(fs::symlink_status(path, error));
}

bool document_read_text(const std::string& name, const std::string& path, TrackDocument& document,
                        std::string& error) {
    std::string text;
    if (!input_read_text(path, TEXT_BYTES_MAX, text, error)) return false;
    if (track_document_parse(name, text, document, error)) return true;
    // The parse names the file alone; the folder tells the maker which copy.
    const std::string folder = fs::path(path).parent_path().string();
    if (!folder.empty()) error = folder + "/" + error;
    return false;
}

// A track file the presentation finds missing is an empty track; so is it here.
bool document_read_binary(std::string name, const std::string& path, TrackDocument& document,
                          std::string& error) {
    document = TrackDocument{};
    document.name = std::move(name);
    if (!path_exists(path)) return true;
    TrackFileContents contents;
    if (!track_file_load(path, contents, error)) return false;
    for (size_t i = 1; i < contents.keys.size(); ++i)
        if (contents.keys[i].row <= contents.keys[i - 1].row) {
            error = path + ": rows do not ascend at key " + std::to_string(i) + " (row " +
                    std::to_string(contents.keys[i].row) + "); the studio edits only ascending tracks";
            return false;
        }
    track_document_set_keys(document, contents.keys);
    return true;
}

bool track_read(EditTrack& track, std::string& error) {
    return track.text_path.empty()
               ? document_read_binary(track.document.name, track.binary_path, track.document, error)
               : document_read_text(track.document.name, track.text_path, track.document, error);
}

bool other_track_names(const std::string& binary_dir, std::vector<std::string>& names, std::string& error) {
    std::error_code code;
    for (fs::directory_iterator entry(binary_dir.empty() ? "." : binary_dir, code), end; !code && entry != end;
         entry.increment(code)) {
        const auto name = track_file_track_name(TRACKSET_BASE_NAME, entry->path().filename().string());
        if (!name) continue;
        std::error_code kind_code;
        if (!entry->is_regular_file(kind_code)) continue;
        if (std::find(std::begin(TRACK_NAMES), std::end(TRACK_NAMES), *name) == std::end(TRACK_NAMES))
            names.push_back(*name);
    }
    if (code) {
        error = binary_dir + ": " + code.message();
        return false;
    }
    std::sort(names.begin(), names.end());
    return true;
}

std::span<const uint8_t> text_bytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Another program wrote the text since the studio read or saved it.
bool text_changed_on_disk(const EditTrack& track) {
    std::string on_disk, ignored;
    return input_read_text(track.text_path, TEXT_BYTES_MAX, on_disk, ignored) && on_disk != track.saved_text;
}

// The track file holds exactly these keys, as the codec writes them.
bool binary_holds(const std::string& path, const std::vector<Keyframe>& keys) {
    std::vector<uint8_t> bytes;
    std::string ignored;
    return input_read(path, TRACK_FILE_BYTES_MAX, bytes, ignored) && bytes == track_file_encode(keys);
}

// Puts what the track's file holds in place of its keys, as an edit of its
// own, and rebuilds the track file of a text that another program changed,
// since the presentation reads only that.
bool track_take_file(EditModel& model, size_t track, std::string& error) {
    EditTrack& taken = model.tracks[track];
    EditTrack fresh;
    fresh.document.name = taken.document.name;
    fresh.text_path = taken.text_path;
    fresh.binary_path = taken.binary_path;
    if (!track_read(fresh, error)) {
        model.message = error;
        return false;
    }
    taken.saved_text = track_document_text(fresh.document);
    taken.conflict = false;
    taken.binary_stale = false;
    Changes changes;
    changes.emplace_back(track, std::move(fresh.document));
    edit_commit(model, std::move(changes), "reloaded " + taken.document.name);
    track_refresh(taken);
    if (taken.text_path.empty() || binary_holds(taken.binary_path, taken.track.keys)) return true;
    if (!output_write_path(taken.binary_path, track_file_encode(taken.track.keys), error)) {
        taken.binary_stale = true;
        track_refresh(taken);
        model.message = "reloaded " + taken.document.name + ", but its track file is not rebuilt: " + error;
        return false;
    }
    model.message += " and rebuilt its track file";
    return true;
}

}  // namespace

bool edit_model_load(EditModel& model, const std::string& text_dir, const std::string& binary_dir,
                     std::string& error) {
    std::vector<std::string> others;
    if (!other_track_names(binary_dir, others, error)) return false;
    std::vector<std::string> names(std::begin(TRACK_NAMES), std::end(TRACK_NAMES));
    names.insert(names.end(), others.begin(), others.end());
    std::vector<EditTrack> tracks;
    for (const std::string& name : names) {
        EditTrack& track = tracks.emplace_back();
        track.document.name = name;
        const std::string text_path = text_path_of(text_dir, name);
        if (path_exists(text_path)) track.text_path = text_path;
        track.binary_path = binary_path_of(binary_dir, name);
        if (!track_read(track, error)) return false;
        track.saved_text = track_document_text(track.document);
        track_refresh(track);
    }
    model.tracks = std::move(tracks);
    model.undo.clear();
    model.redo.clear();
    model.message = "loaded " + count_text(model.tracks.size(), "track");
    return true;
}

EditResult edit_insert_key(EditModel& model, size_t track, int32_t row) {
    if (!track_exists(model, track)) return false;
    const Track& evaluated = model.tracks[track].track;
    if (key_index(evaluated.keys, row)) return refuse(model, row_text(model, track, row) + " already holds a key");
    std::vector<Keyframe> keys = evaluated.keys;
    const auto next = std::lower_bound(keys.begin(), keys.end(), row,
                                       [](const Keyframe& k, int32_t r) { return k.row < r; });
    const int32_t kind = next == keys.begin() ? int32_t(INTERP_HOLD) : std::prev(next)->kind;
    keys.insert(next, {row, float(track_value(evaluated, row)), kind});
    return edit_commit_keys(model, track, keys, row_text(model, track, row) + ": key inserted");
}

EditResult edit_set_value(EditModel& model, size_t track, int32_t row, float value) {
    return key_edit(model, track, row, [&](Keyframe& key) {
        key.value = value;
        return "value set";
    });
}

EditResult edit_nudge_value(EditModel& model, size_t track, int32_t row, float step) {
    return key_edit(model, track, row, [&](Keyframe& key) {
        key.value = nudged(key.value, step);
        return "value nudged";
    });
}

EditResult edit_cycle_kind(EditModel& model, size_t track, int32_t row) {
    return key_edit(model, track, row, [](Keyframe& key) {
        key.kind = key.kind >= INTERP_HOLD && key.kind < INTERP_QUADRATIC ? key.kind + 1 : int32_t(INTERP_HOLD);
        return "kind " + std::string(*interp_kind_name(key.kind));
    });
}

EditResult edit_delete(EditModel& model, const EditSelection& selection) {
    Block block;
    if (!block_of(model, selection, block)) return false;
    size_t count = 0;
    return block_delete(model, block, count);
}

EditResult edit_move(EditModel& model, const EditSelection& selection, int32_t rows) {
    Block block;
    size_t count = 0;
    if (!block_with_keys(model, selection, block, count)) return false;
    Changes changes;
    for (size_t t = block.first_track; t <= block.last_track; ++t) {
        TrackDocument document = model.tracks[t].document;
        KeyMoveRefusal refusal{};
        if (!track_document_move_keys(document, block.first_row, block.last_row, rows, &refusal))
            return refuse(model, "cannot move: " + row_text(model, t, refusal.row) +
                                     (refusal.reason == KeyMoveRefusal::leaves_rows
                                          ? " would leave the 32-bit rows"
                                          : " holds a key outside the selection"));
        changes.emplace_back(t, std::move(document));
    }
    return edit_commit(model, std::move(changes),
                       "moved " + count_text(count, "key") + " by " + std::to_string(rows) +
                           (rows == 1 || rows == -1 ? " row" : " rows"));
}

namespace {

// Changes the value of every key of the block through change; refused where
// a value would not be a finite float.
template <typename Change>
EditResult block_values_change(EditModel& model, const EditSelection& selection, std::string_view verb,
                               std::string_view done, Change change) {
    Block block;
    size_t count = 0;
    if (!block_with_keys(model, selection, block, count)) return false;
    Changes changes;
    for (size_t t = block.first_track; t <= block.last_track; ++t) {
        std::vector<Keyframe> keys = model.tracks[t].track.keys;
        for (Keyframe& key : keys) {
            if (!row_in(block, key.row)) continue;
            const double value = change(double(key.value));
            if (!(std::abs(value) <= double(FLT_MAX)))
                return refuse(model, "cannot " + std::string(verb) + ": " + row_text(model, t, key.row) +
                                         " would leave a float's range");
            key.value = float(value);
        }
        TrackDocument document = model.tracks[t].document;
        track_document_set_keys(document, keys);
        changes.emplace_back(t, std::move(document));
    }
    return edit_commit(model, std::move(changes), std::string(done) + " " + count_text(count, "value"));
}

}  // namespace

EditResult edit_scale_values(EditModel& model, const EditSelection& selection, double factor) {
    return block_values_change(model, selection, "scale", "scaled", [factor](double value) { return value * factor; });
}

EditResult edit_offset_values(EditModel& model, const EditSelection& selection, double offset) {
    return block_values_change(model, selection, "offset", "offset", [offset](double value) { return value + offset; });
}

EditResult edit_stretch(EditModel& model, const EditSelection& selection, double factor) {
    Block block;
    size_t count = 0;
    if (!block_with_keys(model, selection, block, count)) return false;
    if (!(factor > 0.0 && std::isfinite(factor))) return refuse(model, "cannot stretch by a factor that is not above 0");
    Changes changes;
    for (size_t t = block.first_track; t <= block.last_track; ++t) {
        std::vector<Keyframe> keys;
        std::vector<Keyframe> stretched;
        for (const Keyframe& key : model.tracks[t].track.keys) {
            if (!row_in(block, key.row)) {
                keys.push_back(key);
                continue;
            }
            const double row = double(block.first_row) + std::round(double(key.row - int64_t(block.first_row)) * factor);
            if (!(row >= double(INT32_MIN) && row <= double(INT32_MAX)))
                return refuse(model, "cannot stretch: " + row_text(model, t, key.row) + " would leave the 32-bit rows");
            if (!stretched.empty() && stretched.back().row == int32_t(row))
                return refuse(model, "cannot stretch: two keys of " + track_name(model, t) + " would share row " +
                                         std::to_string(int32_t(row)));
            stretched.push_back({int32_t(row), key.value, key.kind});
        }
        for (const Keyframe& key : stretched)
            if (key_index(keys, key.row))
                return refuse(model, "cannot stretch: " + row_text(model, t, key.row) +
                                         " holds a key outside the selection");
        keys.insert(keys.end(), stretched.begin(), stretched.end());
        std::sort(keys.begin(), keys.end(), [](const Keyframe& a, const Keyframe& b) { return a.row < b.row; });
        TrackDocument document = model.tracks[t].document;
        track_document_set_keys(document, keys);
        changes.emplace_back(t, std::move(document));
    }
    char factor_text[32];
    std::snprintf(factor_text, sizeof factor_text, "%g", factor);
    return edit_commit(model, std::move(changes), "stretched " + count_text(count, "key") + " by " + factor_text);
}

void edit_copy(EditModel& model, const EditSelection& selection) {
    Block block;
    if (!block_of(model, selection, block)) return;
    EditClipboard clipboard;
    size_t count = 0;
    // A copy of nothing would lose what the clipboard held.
    if (!block_copy(model, block, clipboard, count)) return;
    model.clipboard = std::move(clipboard);
    model.message = "copied " + count_text(count, "key");
}

EditResult edit_cut(EditModel& model, const EditSelection& selection) {
    Block block;
    if (!block_of(model, selection, block)) return false;
    EditClipboard clipboard;
    size_t count = 0;
    if (!block_copy(model, block, clipboard, count) || !block_delete(model, block, count)) return false;
    model.clipboard = std::move(clipboard);
    model.message = "cut " + count_text(count, "key");
    return true;
}

EditResult edit_paste(EditModel& model, size_t track, int32_t row) {
    if (!track_exists(model, track)) return false;
    size_t pasted = 0;
    size_t replaced = 0;
    size_t dropped = 0;
    Changes changes;
    for (size_t i = 0; i < model.clipboard.tracks.size(); ++i) {
        const std::vector<Keyframe>& clip = model.clipboard.tracks[i];
        if (track + i >= model.tracks.size()) {
            dropped += clip.size();
            continue;
        }
        if (clip.empty()) continue;
        const size_t target = track + i;
        std::vector<Keyframe> placed;
        for (const Keyframe& key : clip) {
            const int64_t at = int64_t(row) + key.row;
            if (at < INT32_MIN || at > INT32_MAX)
                return refuse(model, "cannot paste: a key would land past the 32-bit rows");
            placed.push_back({int32_t(at), key.value, key.kind});
        }
        std::sort(placed.begin(), placed.end(), [](const Keyframe& a, const Keyframe& b) { return a.row < b.row; });
        for (size_t k = 1; k < placed.size(); ++k)
            if (placed[k].row == placed[k - 1].row)
                return refuse(model, "cannot paste: the clipboard holds two keys for one row");

        const std::vector<Keyframe>& existing = model.tracks[target].track.keys;
        std::vector<Keyframe> keys;
        size_t old = 0;
        for (const Keyframe& key : placed) {
            while (old < existing.size() && existing[old].row < key.row) keys.push_back(existing[old++]);
            if (old < existing.size() && existing[old].row == key.row) {
                ++replaced;
                ++old;
            }
            keys.push_back(key);
        }
        keys.insert(keys.end(), existing.begin() + ptrdiff_t(old), existing.end());
        pasted += placed.size();
        TrackDocument document = model.tracks[target].document;
        track_document_set_keys(document, keys);
        changes.emplace_back(target, std::move(document));
    }
    const std::string dropped_text =
        dropped == 0 ? "" : count_text(dropped, "key") + " past the last track dropped";
    if (pasted == 0)
        return refuse(model, dropped == 0 ? "the clipboard is empty" : "nothing pasted: " + dropped_text);
    std::string message = "pasted " + count_text(pasted, "key");
    if (replaced != 0) message += ", merged: " + count_text(replaced, "key") + " on the same rows replaced";
    if (dropped != 0) message += "; " + dropped_text;
    return edit_commit(model, std::move(changes), std::move(message));
}

EditResult edit_undo(EditModel& model) { return history_step(model, model.undo, model.redo, false); }

EditResult edit_redo(EditModel& model) { return history_step(model, model.redo, model.undo, true); }

bool edit_model_dirty(const EditModel& model) {
    return std::any_of(model.tracks.begin(), model.tracks.end(), [](const EditTrack& t) { return t.dirty; });
}

bool edit_model_save(EditModel& model, std::string& error, std::vector<std::string>* written) {
    std::string saved, rebuilt, conflicts;
    const auto name_add = [](std::string& names, const std::string& name) {
        names += (names.empty() ? "" : ", ") + name;
    };
    for (EditTrack& track : model.tracks) {
        const std::string& name = track.document.name;
        const std::string text = track_document_text(track.document);
        const bool edited = text != track.saved_text;
        if (edited && !track.text_path.empty() && !track.conflict && text_changed_on_disk(track))
            track.conflict = true;
        if (track.conflict) {
            name_add(conflicts, name);
            continue;
        }
        if (edited && !track.text_path.empty()) {
            if (!output_write_path(track.text_path, text_bytes(text), error)) {
                model.message = "not saved: " + error;
                return false;
            }
            if (written) written->push_back(track.text_path);
        }
        if (edited) track.saved_text = text;
        const std::vector<Keyframe> keys = track_document_keys(track.document);
        if (!binary_holds(track.binary_path, keys)) {
            if (!output_write_path(track.binary_path, track_file_encode(keys), error)) {
                track.binary_stale = true;
                track_refresh(track);
                model.message = "not saved: " + error;
                return false;
            }
            if (written) written->push_back(track.binary_path);
            if (!edited && !track.binary_stale) name_add(rebuilt, std::filesystem::path(track.binary_path).filename().string());
        }
        if (edited || track.binary_stale) name_add(saved, name);
        track.binary_stale = false;
        track_refresh(track);
    }
    std::vector<std::string> parts;
    if (!saved.empty()) parts.push_back("saved " + saved);
    if (!rebuilt.empty()) parts.push_back("rebuilt " + rebuilt);
    if (!conflicts.empty())
        parts.push_back("not saved: " + conflicts + " changed on disk while holding edits (keep yours or take theirs)");
    model.message.clear();
    for (const std::string& part : parts) model.message += (model.message.empty() ? "" : "; ") + part;
    if (model.message.empty()) model.message = "nothing to save";
    if (!conflicts.empty()) error = model.message;
    return conflicts.empty();
}

bool edit_model_reload(EditModel& model, size_t track, std::string& error) {
    if (track >= model.tracks.size()) {
        error = "there is no track " + std::to_string(track);
        model.message = error;
        return false;
    }
    EditTrack& edited = model.tracks[track];
    if (edited.dirty) {
        edited.conflict = true;
        error = edited.document.name +
                " changed on disk while it holds unsaved edits: they are kept; keep yours or take theirs";
        model.message = error;
        return false;
    }
    return track_take_file(model, track, error);
}

bool edit_model_keep_mine(EditModel& model, size_t track) {
    if (!track_exists(model, track)) return false;
    EditTrack& kept = model.tracks[track];
    kept.conflict = false;
    // The file's text is now what the edits replace.
    std::string on_disk, ignored;
    if (!kept.text_path.empty() && input_read_text(kept.text_path, TEXT_BYTES_MAX, on_disk, ignored))
        kept.saved_text = on_disk;
    track_refresh(kept);
    model.message = "kept the studio's " + kept.document.name + ": saving writes it over the file";
    return true;
}

bool edit_model_take_theirs(EditModel& model, size_t track, std::string& error) {
    if (!track_exists(model, track)) {
        error = model.message;
        return false;
    }
    return track_take_file(model, track, error);
}

bool edit_model_rebuild_file(EditModel& model, size_t track, std::string& error) {
    if (!track_exists(model, track)) {
        error = model.message;
        return false;
    }
    EditTrack& rebuilt = model.tracks[track];
    if (rebuilt.text_path.empty() || rebuilt.dirty || binary_holds(rebuilt.binary_path, rebuilt.track.keys))
        return false;
    if (!output_write_path(rebuilt.binary_path, track_file_encode(rebuilt.track.keys), error)) {
        model.message = rebuilt.document.name + ": its track file is not rebuilt: " + error;
        return false;
    }
    model.message = "rebuilt " + std::filesystem::path(rebuilt.binary_path).filename().string() + " from " +
                    std::filesystem::path(rebuilt.text_path).filename().string();
    return true;
}

namespace {

std::string recovery_path_of(const EditTrack& track) {
    return track.text_path.empty() ? track.binary_path + ".recovery.txt" : track.text_path + ".recovery";
}

}  // namespace

bool edit_model_recovery_write(const EditModel& model, std::string& error) {
    for (const EditTrack& track : model.tracks) {
        if (!track.dirty) continue;
        const std::string text = track_document_text(track.document);
        if (!output_write_path(recovery_path_of(track), text_bytes(text), error)) return false;
    }
    return true;
}

std::string edit_model_recovery_path(const EditModel& model, size_t track) {
    if (track >= model.tracks.size()) return {};
    const std::string path = recovery_path_of(model.tracks[track]);
    return path_exists(path) ? path : std::string();
}

bool edit_model_recover(EditModel& model, size_t track, std::string& error) {
    const std::string path = edit_model_recovery_path(model, track);
    if (path.empty()) {
        error = "no recovered edits of track " + std::to_string(track);
        model.message = error;
        return false;
    }
    EditTrack& recovered = model.tracks[track];
    TrackDocument document;
    if (!document_read_text(recovered.document.name, path, document, error)) {
        model.message = error;
        return false;
    }
    Changes changes;
    changes.emplace_back(track, std::move(document));
    edit_commit(model, std::move(changes), "recovered the unsaved edits of " + recovered.document.name);
    std::error_code ignored;
    fs::remove(path, ignored);
    return true;
}

void edit_model_recovery_discard(EditModel& model, size_t track) {
    const std::string path = edit_model_recovery_path(model, track);
    if (path.empty()) return;
    std::error_code ignored;
    fs::remove(path, ignored);
    model.message = "dropped the recovered edits of " + model.tracks[track].document.name;
}

CameraTracks edit_model_camera(const EditModel& model) {
    CameraTracks camera;
    for (const EditTrack& track : model.tracks) camera_tracks_take(camera, track.track);
    return camera;
}

const Keyframe* edit_key_next(const EditModel& model, size_t track, int32_t row) {
    if (track >= model.tracks.size()) return nullptr;
    const std::vector<Keyframe>& keys = model.tracks[track].track.keys;
    const auto next = std::upper_bound(keys.begin(), keys.end(), row,
                                       [](int32_t r, const Keyframe& key) { return r < key.row; });
    return next == keys.end() ? nullptr : &*next;
}

const Keyframe* edit_key_previous(const EditModel& model, size_t track, int32_t row) {
    if (track >= model.tracks.size()) return nullptr;
    const std::vector<Keyframe>& keys = model.tracks[track].track.keys;
    const auto next = std::lower_bound(keys.begin(), keys.end(), row,
                                       [](const Keyframe& key, int32_t r) { return key.row < r; });
    return next == keys.begin() ? nullptr : &*std::prev(next);
}

const Keyframe* edit_key_at(const EditModel& model, size_t track, int32_t row) {
    if (track >= model.tracks.size()) return nullptr;
    const std::vector<Keyframe>& keys = model.tracks[track].track.keys;
    const auto index = key_index(keys, row);
    return index ? &keys[*index] : nullptr;
}
