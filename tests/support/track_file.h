// Track files for tests, written through the one encoder of the format.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tracks/track_file.h"

struct Key {
    int32_t row;
    float value;
    int8_t kind;
};

inline void write_track(const std::filesystem::path& path, const std::vector<Key>& keys) {
    std::vector<Keyframe> frames;
    for (const Key& key : keys) frames.push_back({key.row, key.value, key.kind});
    const std::vector<uint8_t> bytes = track_file_encode(frames);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
}
