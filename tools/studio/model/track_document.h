// One track's text as its maker wrote it, for editing: the keys, and every
// other line (comments, blank lines) attached to the key that follows it, so
// that a saved text keeps each comment where it stands relative to the keys,
// and a text saved with no edit is the same bytes. The text is the format that
// `zirbelon-tracks build` reads (tracks/track_text.h), read by its parser.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tracks/tracks.h"

struct DocumentKey {
    Keyframe key;                        // as it stands now
    std::vector<std::string> lines_before;  // the comment and blank lines just above it
    // The line it was read from and its key then, so that an unchanged key
    // keeps its own spelling ("0 0.3 smoothstep  # intro"); empty for a new key.
    std::string line;
    std::optional<Keyframe> read;
    size_t fields_first = 0;  // the columns of the line that its fields cover
    size_t fields_end = 0;
};

struct TrackDocument {
    std::string name;                  // the track's name, e.g. "cam.dist"
    std::vector<DocumentKey> keys;     // rows strictly ascending
    std::vector<std::string> lines_after;  // below the last key
    bool final_newline = true;         // the text ended with '\n'
    bool crlf = false;                 // its lines end in "\r\n", so new key lines do too
};

// Reads a text; false with "NAME.txt:LINE: reason" in error, as build says it.
bool track_document_parse(std::string_view name, std::string_view text, TrackDocument& document,
                          std::string& error);

// The text: every line in its place, an unchanged key as it was written, a
// changed or new key as "ROW VALUE KIND" (KIND by name for the four kinds,
// VALUE the shortest text that reads back to the same float), with the old
// line's trailing comment kept.
std::string track_document_text(const TrackDocument& document);

// The keys alone, in order, as the track set would hold them.
std::vector<Keyframe> track_document_keys(const TrackDocument& document);

// Puts keys in place of the document's (ascending rows): a key on a row that
// had one keeps that row's comments and spelling (when unchanged), a key on a
// new row gets none, and the comments above a key that is gone move down to
// the next key that stays (or below the last).
// The lines above the first key up to its last blank line are the text's
// opening and stay at the top whatever key comes first.
void track_document_set_keys(TrackDocument& document, const std::vector<Keyframe>& keys);

// Why keys cannot move: the first key that would leave the 32-bit rows, or the
// row of a key that is not moved where a moved one would land.
struct KeyMoveRefusal {
    int32_t row;
    enum { leaves_rows, row_held } reason;
};

// Moves the keys on rows first_row to last_row (both included) by rows, each
// with its own comment block (the lines just above it, below the last blank
// line there) and its trailing comment; the rest stays in place. False, with
// the document untouched and the refusal (when asked for) saying why, when a
// moved key would leave the 32-bit rows or land on the row of a key that is
// not moved.
bool track_document_move_keys(TrackDocument& document, int32_t first_row, int32_t last_row, int32_t rows,
                              KeyMoveRefusal* refusal = nullptr);

// The same row, value bits and kind: a NaN equals itself, -0 differs from 0.
bool keyframe_same(const Keyframe& a, const Keyframe& b);
// The same key, lines and spelling.
bool document_key_same(const DocumentKey& a, const DocumentKey& b);
// The same keys, lines and spelling.
bool track_document_equal(const TrackDocument& a, const TrackDocument& b);

// What turns one state of a document into another: the keys from `first` on,
// `replaced` of them, give way to `keys`, and the lines below the last key and
// the line ends become these. It holds only the keys that differ, so that an
// edit's undo costs memory in proportion to what the edit changed.
struct DocumentPatch {
    size_t first = 0;
    size_t replaced = 0;
    std::vector<DocumentKey> keys;
    std::vector<std::string> lines_after;
    bool final_newline = true;
    bool crlf = false;
};

// The patch that makes `from` into `to`: the keys between their longest
// common start and end.
DocumentPatch track_document_diff(const TrackDocument& from, const TrackDocument& to);
// Applies a patch made from this state of the document.
void track_document_patch(TrackDocument& document, const DocumentPatch& patch);
