// Bookmarks: named rows of a presentation, kept in its folder as
// "bookmarks.txt", one "ROW NAME" line each, so that they travel with the
// presentation and any editor reads them. The studio jumps between them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct Bookmark {
    int32_t row;
    std::string name;
};

struct Bookmarks {
    std::string path;             // the file they are saved to
    std::vector<Bookmark> marks;  // rows ascending, one mark a row
};

// Reads the file; a missing file is no bookmarks. False with error for a file
// that cannot be read or a line that is not "ROW NAME".
bool bookmarks_load(const std::string& path, Bookmarks& bookmarks, std::string& error);
// Writes the file whole or not at all.
bool bookmarks_save(const Bookmarks& bookmarks, std::string& error);

// Names the row; a name of blanks alone removes the row's mark.
void bookmarks_set(Bookmarks& bookmarks, int32_t row, std::string name);
const Bookmark* bookmarks_at(const Bookmarks& bookmarks, int32_t row);
// The nearest mark after or before the row.
const Bookmark* bookmarks_next(const Bookmarks& bookmarks, int32_t row);
const Bookmark* bookmarks_previous(const Bookmarks& bookmarks, int32_t row);
