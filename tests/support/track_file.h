// Track files made byte by byte for tests: an 8-byte count, then packed 9-byte
// keys (int32 row, float32 value, int8 kind), little-endian like the machine.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

struct Key {
    int32_t row;
    float value;
    int8_t kind;
};

inline void write_track(const std::filesystem::path& path, const std::vector<Key>& keys) {
    std::ofstream file(path, std::ios::binary);
    const auto put = [&file](const void* data, size_t size) {
        file.write(static_cast<const char*>(data), std::streamsize(size));
    };
    const int64_t count = int64_t(keys.size());
    put(&count, 8);
    for (const Key& key : keys) {
        put(&key.row, 4);
        put(&key.value, 4);
        put(&key.kind, 1);
    }
}
