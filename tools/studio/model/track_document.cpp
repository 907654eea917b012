// A track's text held line by line, so that edits touch only the keys they change.
#include "tools/studio/model/track_document.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <utility>

#include "tracks/track_text.h"

namespace {

constexpr std::string_view BLANKS = " \t\r";

bool line_is_blank(std::string_view line) { return line.find_first_not_of(BLANKS) == line.npos; }

std::string kind_format(int32_t kind) {
    if (const auto name = interp_kind_name(kind)) return std::string(*name);
    return std::to_string(kind);
}

std::string key_line(const TrackDocument& document, const DocumentKey& key) {
    if (!key.line.empty() && key.read && keyframe_same(*key.read, key.key)) return key.line;
    const std::string fields =
        std::to_string(key.key.row) + " " + track_value_format(key.key.value) + " " + kind_format(key.key.kind);
    if (key.line.empty()) return document.crlf ? fields + "\r" : fields;
    // The indent and whatever follows the fields (blanks, a comment, the '\r')
    // are the maker's, and stay.
    return key.line.substr(0, key.fields_first) + fields + key.line.substr(key.fields_end);
}

void lines_prepend(std::vector<std::string>& lines, std::vector<std::string>&& front) {
    lines.insert(lines.begin(), std::make_move_iterator(front.begin()), std::make_move_iterator(front.end()));
}

// The lines of a block through its last blank line: what stands above a key's
// own comment, which is the lines after that.
size_t lines_before_own_comment(const std::vector<std::string>& lines) {
    for (size_t i = lines.size(); i > 0; --i)
        if (line_is_blank(lines[i - 1])) return i;
    return 0;
}

std::vector<std::string> lines_take_front(std::vector<std::string>& lines, size_t count) {
    std::vector<std::string> front(std::make_move_iterator(lines.begin()),
                                   std::make_move_iterator(lines.begin() + ptrdiff_t(count)));
    lines.erase(lines.begin(), lines.begin() + ptrdiff_t(count));
    return front;
}

// With no key yet, every line is the opening: a first key goes below them all.
std::vector<std::string> opening_take(TrackDocument& document) {
    if (document.keys.empty()) return std::exchange(document.lines_after, {});
    std::vector<std::string>& lines = document.keys.front().lines_before;
    return lines_take_front(lines, lines_before_own_comment(lines));
}

void opening_put(TrackDocument& document, std::vector<std::string>&& opening) {
    lines_prepend(document.keys.empty() ? document.lines_after : document.keys.front().lines_before,
                  std::move(opening));
}

}  // namespace

bool keyframe_same(const Keyframe& a, const Keyframe& b) {
    return a.row == b.row && std::bit_cast<uint32_t>(a.value) == std::bit_cast<uint32_t>(b.value) &&
           a.kind == b.kind;
}

bool document_key_same(const DocumentKey& a, const DocumentKey& b) {
    return keyframe_same(a.key, b.key) && a.lines_before == b.lines_before && a.line == b.line &&
           a.read.has_value() == b.read.has_value() && (!a.read || keyframe_same(*a.read, *b.read));
}

bool track_document_equal(const TrackDocument& a, const TrackDocument& b) {
    return a.name == b.name && a.final_newline == b.final_newline && a.crlf == b.crlf &&
           a.lines_after == b.lines_after &&
           std::equal(a.keys.begin(), a.keys.end(), b.keys.begin(), b.keys.end(), document_key_same);
}

DocumentPatch track_document_diff(const TrackDocument& from, const TrackDocument& to) {
    const size_t shorter = std::min(from.keys.size(), to.keys.size());
    size_t start = 0;
    while (start < shorter && document_key_same(from.keys[start], to.keys[start])) ++start;
    size_t end = 0;
    while (end < shorter - start &&
           document_key_same(from.keys[from.keys.size() - 1 - end], to.keys[to.keys.size() - 1 - end]))
        ++end;
    DocumentPatch patch;
    patch.first = start;
    patch.replaced = from.keys.size() - start - end;
    patch.keys.assign(to.keys.begin() + ptrdiff_t(start), to.keys.end() - ptrdiff_t(end));
    patch.lines_after = to.lines_after;
    patch.final_newline = to.final_newline;
    patch.crlf = to.crlf;
    return patch;
}

void track_document_patch(TrackDocument& document, const DocumentPatch& patch) {
    const auto first = document.keys.begin() + ptrdiff_t(patch.first);
    document.keys.insert(document.keys.erase(first, first + ptrdiff_t(patch.replaced)), patch.keys.begin(),
                         patch.keys.end());
    document.lines_after = patch.lines_after;
    document.final_newline = patch.final_newline;
    document.crlf = patch.crlf;
}

bool track_document_parse(std::string_view name, std::string_view text, TrackDocument& document,
                          std::string& error) {
    const TrackText parsed = track_text_parse(text);
    if (parsed.error_line != 0) {
        error = std::string(name) + ".txt:" + std::to_string(parsed.error_line) + ": " + parsed.error;
        return false;
    }
    TrackDocument result;
    result.name = std::string(name);
    // An empty text has no last line to lack its newline; keys added to it get one.
    result.final_newline = text.empty() || text.back() == '\n';
    result.crlf = text.find('\n') != text.npos && text.substr(0, text.find('\n')).ends_with('\r');

    // Every line that holds no key belongs to the key below it.
    std::vector<std::string> pending;
    size_t next_key = 0;
    for (int line_number = 1; !text.empty(); ++line_number) {
        const size_t newline = text.find('\n');
        const std::string_view line = text.substr(0, newline);
        text = newline == text.npos ? std::string_view() : text.substr(newline + 1);
        if (next_key == parsed.keys.size() || parsed.places[next_key].line != line_number) {
            pending.emplace_back(line);
            continue;
        }
        const Keyframe& key = parsed.keys[next_key];
        const TrackTextPlace& place = parsed.places[next_key++];
        result.keys.push_back({key, std::move(pending), std::string(line), key, place.first, place.end});
        pending.clear();
    }
    result.lines_after = std::move(pending);
    document = std::move(result);
    return true;
}

std::string track_document_text(const TrackDocument& document) {
    std::string text;
    bool first = true;
    auto put = [&](std::string_view line) {
        if (!first) text += '\n';
        text += line;
        first = false;
    };
    for (const DocumentKey& key : document.keys) {
        for (const std::string& line : key.lines_before) put(line);
        put(key_line(document, key));
    }
    for (const std::string& line : document.lines_after) put(line);
    if (!first && document.final_newline) text += '\n';
    return text;
}

std::vector<Keyframe> track_document_keys(const TrackDocument& document) {
    std::vector<Keyframe> keys;
    keys.reserve(document.keys.size());
    for (const DocumentKey& key : document.keys) keys.push_back(key.key);
    return keys;
}

void track_document_set_keys(TrackDocument& document, const std::vector<Keyframe>& keys) {
    std::vector<std::string> opening = opening_take(document);
    std::vector<DocumentKey> result;
    result.reserve(keys.size());
    std::vector<std::string> pending;
    size_t old = 0;
    auto drop = [&](DocumentKey& gone) {
        std::move(gone.lines_before.begin(), gone.lines_before.end(), std::back_inserter(pending));
    };
    for (const Keyframe& key : keys) {
        while (old < document.keys.size() && document.keys[old].key.row < key.row) drop(document.keys[old++]);
        if (old < document.keys.size() && document.keys[old].key.row == key.row) {
            DocumentKey kept = std::move(document.keys[old++]);
            kept.key = key;
            lines_prepend(kept.lines_before, std::move(pending));
            pending.clear();
            result.push_back(std::move(kept));
        } else {
            result.push_back({key, {}, {}, std::nullopt, 0, 0});
        }
    }
    while (old < document.keys.size()) drop(document.keys[old++]);
    lines_prepend(document.lines_after, std::move(pending));
    document.keys = std::move(result);
    opening_put(document, std::move(opening));
}

bool track_document_move_keys(TrackDocument& document, int32_t first_row, int32_t last_row, int32_t rows,
                              KeyMoveRefusal* refusal) {
    auto moves = [&](const DocumentKey& key) { return key.key.row >= first_row && key.key.row <= last_row; };
    auto refuse = [&](KeyMoveRefusal why) {
        if (refusal) *refusal = why;
        return false;
    };
    for (const DocumentKey& key : document.keys) {
        if (!moves(key)) continue;
        const int64_t row = int64_t(key.key.row) + rows;
        if (row < INT32_MIN || row > INT32_MAX) return refuse({key.key.row, KeyMoveRefusal::leaves_rows});
        const auto held = std::lower_bound(document.keys.begin(), document.keys.end(), row,
                                           [](const DocumentKey& other, int64_t r) { return other.key.row < r; });
        if (held != document.keys.end() && held->key.row == row && !moves(*held))
            return refuse({held->key.row, KeyMoveRefusal::row_held});
    }

    std::vector<std::string> opening = opening_take(document);
    std::vector<DocumentKey> staying;
    std::vector<DocumentKey> moving;
    std::vector<std::string> pending;
    for (DocumentKey& key : document.keys) {
        if (moves(key)) {
            // What stands above the key's own comment describes its place, not the key.
            std::vector<std::string> place = lines_take_front(key.lines_before, lines_before_own_comment(key.lines_before));
            std::move(place.begin(), place.end(), std::back_inserter(pending));
            key.key.row += rows;
            moving.push_back(std::move(key));
        } else {
            lines_prepend(key.lines_before, std::move(pending));
            pending.clear();
            staying.push_back(std::move(key));
        }
    }
    lines_prepend(document.lines_after, std::move(pending));
    document.keys.clear();
    std::merge(std::make_move_iterator(staying.begin()), std::make_move_iterator(staying.end()),
               std::make_move_iterator(moving.begin()), std::make_move_iterator(moving.end()),
               std::back_inserter(document.keys),
               [](const DocumentKey& a, const DocumentKey& b) { return a.key.row < b.key.row; });
    opening_put(document, std::move(opening));
    return true;
}
