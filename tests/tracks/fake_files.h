// In-memory track files behind the track set's file-operation table, so tests
// choose each file's bytes, see every path the set asks for, and check that
// every file it opened was closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "tracks/tracks.h"

using Bytes = std::vector<uint8_t>;

struct FakeFileHandle {
    const Bytes* bytes;
    size_t position = 0;
    bool open = true;
};

struct FakeFileSystem {
    std::map<std::string, Bytes> files;  // by path; a path not here fails to open
    std::vector<std::string> opened_paths;  // every open request, in order, including failed ones
    std::vector<std::string> open_modes;
    std::deque<FakeFileHandle> handles;  // every file handed out; a deque never moves them
    size_t read_limit = SIZE_MAX;  // bytes any one open file yields before its reads fall short
    int close_calls = 0;
};

// The one file system the fake operations work on; reset before each test.
FakeFileSystem& fake_fs();
void fake_fs_reset();

// Reads behave like fread: whole elements are counted, and a partial element
// still consumes the bytes that were there.
TrackFileOps fake_file_ops();

// Handles opened and not yet closed.
int fake_fs_open_count();

// Little-endian pieces of a track file.
Bytes count_field_bytes(uint64_t field);
Bytes key_bytes(int32_t row, float value, uint8_t kind);
Bytes bytes_join(std::initializer_list<Bytes> parts);
