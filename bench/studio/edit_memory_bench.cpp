// What the studio's undo history costs in memory: 200 nudges of one key on a
// track of 100,000 keys, with the heap's bytes in use (mallinfo2) before,
// halfway and after (a plain executable: it prints its figures; run by hand).
#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "presentation/presentation.h"
#include "tools/studio/model/edit_model.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t KEYS = 100'000;
constexpr int NUDGES = 200;

// Large blocks are mapped on their own until glibc raises its threshold, so
// both kinds count.
int64_t heap_in_use() {
    const struct mallinfo2 info = mallinfo2();
    return int64_t(info.uordblks + info.hblkhd);
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / "zirbelon_edit_memory_bench";
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* name : TRACK_NAMES) std::ofstream(dir / (std::string(name) + ".txt")) << "0 0 hold\n";
    {
        std::ofstream text(dir / "cam.dist.txt");
        for (int32_t row = 0; row < KEYS; ++row) text << row << ' ' << row % 7 << " linear  # key " << row << '\n';
    }
    EditModel model;
    std::string error;
    if (!edit_model_load(model, dir.string(), dir.string(), error)) {
        std::fprintf(stderr, "edit_memory_bench: %s\n", error.c_str());
        return 1;
    }
    size_t cam_dist = 0;
    while (model.tracks[cam_dist].document.name != CAMERA_DIST_TRACK) ++cam_dist;

    const int64_t before = heap_in_use();
    int64_t halfway = before;
    for (int i = 0; i < NUDGES; ++i) {
        if (i == NUDGES / 2) halfway = heap_in_use();
        edit_nudge_value(model, cam_dist, KEYS / 2, 0.01f);
    }
    const int64_t after = heap_in_use();
    std::printf("%d nudges on a %d-key track: undo holds %zu steps, the heap grew by %.2f MB; the last %d steps "
                "%.2f KB each\n",
                NUDGES, KEYS, model.undo.size(), double(after - before) / 1e6, NUDGES / 2,
                double(after - halfway) / 1e3 / (NUDGES / 2));
    fs::remove_all(dir);
    return 0;
}
