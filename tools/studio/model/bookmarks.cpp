// Bookmarks and their file.
#include "tools/studio/model/bookmarks.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <span>
#include <system_error>

#include "tools/common/files.h"
#include "tracks/track_text.h"

namespace {

constexpr uint64_t BOOKMARKS_BYTES_MAX = uint64_t(1) << 24;

std::string_view trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == text.npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

bool bookmarks_load(const std::string& path, Bookmarks& bookmarks, std::string& error) {
    bookmarks = Bookmarks{path, {}};
    std::error_code ignored;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ignored))) return true;
    std::string text;
    if (!input_read_text(path, BOOKMARKS_BYTES_MAX, text, error)) return false;
    int line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const size_t newline = text.find('\n');
        const std::string_view line = trim(std::string_view(text).substr(0, newline));
        const std::string rest = newline == text.npos ? std::string() : text.substr(newline + 1);
        if (!line.empty()) {
            const size_t blank = line.find_first_of(" \t");
            const std::string_view row_text = line.substr(0, blank);
            int32_t row = 0;
            const auto [end, code] = std::from_chars(row_text.data(), row_text.data() + row_text.size(), row);
            const std::string_view name = blank == line.npos ? std::string_view() : trim(line.substr(blank));
            if (code != std::errc() || end != row_text.data() + row_text.size() || name.empty()) {
                error = path + ":" + std::to_string(line_number) + ": expected ROW NAME, not " + text_quote(line);
                return false;
            }
            bookmarks_set(bookmarks, row, std::string(name));
        }
        text = rest;
    }
    return true;
}

bool bookmarks_save(const Bookmarks& bookmarks, std::string& error) {
    std::string text;
    for (const Bookmark& mark : bookmarks.marks) text += std::to_string(mark.row) + " " + mark.name + "\n";
    return output_write_path(bookmarks.path, {reinterpret_cast<const uint8_t*>(text.data()), text.size()}, error);
}

void bookmarks_set(Bookmarks& bookmarks, int32_t row, std::string name) {
    std::vector<Bookmark>& marks = bookmarks.marks;
    const auto at = std::lower_bound(marks.begin(), marks.end(), row,
                                     [](const Bookmark& mark, int32_t r) { return mark.row < r; });
    const bool there = at != marks.end() && at->row == row;
    const std::string kept(trim(name));
    if (kept.empty()) {
        if (there) marks.erase(at);
    } else if (there) {
        at->name = kept;
    } else {
        marks.insert(at, {row, kept});
    }
}

const Bookmark* bookmarks_at(const Bookmarks& bookmarks, int32_t row) {
    for (const Bookmark& mark : bookmarks.marks)
        if (mark.row == row) return &mark;
    return nullptr;
}

const Bookmark* bookmarks_next(const Bookmarks& bookmarks, int32_t row) {
    for (const Bookmark& mark : bookmarks.marks)
        if (mark.row > row) return &mark;
    return nullptr;
}

const Bookmark* bookmarks_previous(const Bookmarks& bookmarks, int32_t row) {
    for (auto mark = bookmarks.marks.rbegin(); mark != bookmarks.marks.rend(); ++mark)
        if (mark->row < row) return &*mark;
    return nullptr;
}
