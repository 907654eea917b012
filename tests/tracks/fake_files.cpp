// The in-memory file system behind fake_file_ops.
#include "tests/tracks/fake_files.h"

#include <algorithm>
#include <cstring>

#include "tracks/track_file.h"

namespace {

FakeFileSystem g_fs;

}  // namespace

FakeFileSystem& fake_fs() { return g_fs; }

void fake_fs_reset() { g_fs = FakeFileSystem(); }

TrackFileOps fake_file_ops() {
    return {
        [](const char* path, const char* mode) -> void* {
            g_fs.opened_paths.emplace_back(path);
            g_fs.open_modes.emplace_back(mode);
            const auto found = g_fs.files.find(path);
            if (found == g_fs.files.end()) return nullptr;
            return &g_fs.handles.emplace_back(FakeFileHandle{&found->second});
        },
        [](void* buffer, size_t size, size_t count, void* file) -> size_t {
            auto& handle = *static_cast<FakeFileHandle*>(file);
            if (size == 0 || count == 0) return 0;
            const size_t end = std::min(handle.bytes->size(), g_fs.read_limit);
            const size_t left = handle.position < end ? end - handle.position : 0;
            const size_t taken = std::min(size * count, left);
            if (taken > 0) std::memcpy(buffer, handle.bytes->data() + handle.position, taken);
            handle.position += taken;
            return taken / size;
        },
        [](void* file) {
            ++g_fs.close_calls;
            static_cast<FakeFileHandle*>(file)->open = false;
            return 0;
        },
    };
}

int fake_fs_open_count() {
    return int(std::count_if(g_fs.handles.begin(), g_fs.handles.end(), [](const auto& h) { return h.open; }));
}

Bytes count_field_bytes(uint64_t field) {
    Bytes out;
    track_file_count_append(out, field);
    return out;
}

Bytes key_bytes(int32_t row, float value, uint8_t kind) {
    Bytes out;
    track_file_key_append(out, {row, value, int32_t(int8_t(kind))});
    return out;
}

Bytes bytes_join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}
