// Files watched for changes made by other programs (an editor saving a
// shader, zirbelon-tracks rebuilding a track), by polling their time and size:
// nothing to set up, and it sees a file replaced by a rename as well as one
// written in place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

struct FileWatch {
    std::string path;
    bool exists = false;
    std::filesystem::file_time_type time{};
    uintmax_t size = 0;
};

FileWatch file_watch_start(const std::string& path);
// True once for each change since the last call (or the start): the file
// appeared, went, or has another time or size.
bool file_watch_changed(FileWatch& watch);
