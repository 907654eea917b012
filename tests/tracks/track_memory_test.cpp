// The track set's memory: a huge key count must not reserve memory it never
// fills, and running out of memory anywhere leaves the set usable and leak-free.
// This binary replaces the global allocator to count requests and to make a
// chosen one fail, so it stands apart from the other track tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "tracks/track_file.h"
#include "tracks/tracks.h"

namespace {

struct AllocationLog {
    bool counting = false;
    size_t requests = 0;
    size_t bytes = 0;
    size_t largest = 0;
    long fail_countdown = -1;  // the request that finds it at 0 fails; -1 never
    bool failed = false;
    long live = 0;  // allocations not yet released
};

AllocationLog g_log;

void* allocate(size_t size) {
    if (g_log.fail_countdown >= 0 && g_log.fail_countdown-- == 0) {
        g_log.failed = true;
        return nullptr;
    }
    if (g_log.counting) {
        ++g_log.requests;
        g_log.bytes += size;
        g_log.largest = std::max(g_log.largest, size);
    }
    void* memory = std::malloc(size ? size : 1);
    if (memory) ++g_log.live;
    return memory;
}

void release(void* memory) {
    if (!memory) return;
    --g_log.live;
    std::free(memory);
}

void counting_start() { g_log = AllocationLog{.counting = true, .live = g_log.live}; }

void fail_request(long index) {
    g_log.fail_countdown = index;
    g_log.failed = false;
}

void fail_none() { g_log.fail_countdown = -1; }

}  // namespace

void* operator new(size_t size) {
    if (void* memory = allocate(size)) return memory;
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return ::operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* memory) noexcept { release(memory); }
void operator delete[](void* memory) noexcept { release(memory); }
void operator delete(void* memory, size_t) noexcept { release(memory); }
void operator delete[](void* memory, size_t) noexcept { release(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { release(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { release(memory); }

namespace {

// One in-memory track file, read without allocating, so the allocator sees
// only what the track set asks for.
std::span<const uint8_t> g_file;
size_t g_position;
int g_open_files;

TrackFileOps span_file_ops() {
    return {
        [](const char*, const char*) -> void* {
            g_position = 0;
            ++g_open_files;
            return &g_file;
        },
        [](void* buffer, size_t size, size_t count, void*) -> size_t {
            const size_t taken = std::min(size * count, g_file.size() - g_position);
            if (taken > 0) std::memcpy(buffer, g_file.data() + g_position, taken);
            g_position += taken;
            return taken / size;
        },
        [](void*) {
            --g_open_files;
            return 0;
        },
    };
}

std::vector<uint8_t> file_bytes(uint32_t count, int keys) {
    std::vector<uint8_t> bytes;
    track_file_count_append(bytes, count);
    for (int i = 0; i < keys; ++i) track_file_key_append(bytes, {i, float(i), INTERP_LINEAR});
    return bytes;
}

TEST(TrackMemoryTest, HugeCountInATwentyByteFileAllocatesLittle) {
    std::random_device random;
    const auto dir = std::filesystem::path(::testing::TempDir()) / ("zirbelon_tracks_memory_" + std::to_string(random()));
    std::filesystem::create_directories(dir);
    std::vector<uint8_t> bytes = file_bytes(0x7FFFFFFF, 1);
    bytes.insert(bytes.end(), {0xAB, 0xCD, 0xEF});
    ASSERT_EQ(bytes.size(), 20u);
    std::ofstream(dir / "sync_huge.track", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));

    TrackSetPtr set = trackset_create((dir / "sync").string());
    ASSERT_TRUE(set);
    counting_start();
    const Track* track = trackset_get_track(*set, "huge");
    g_log.counting = false;
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->keys.size(), 1u);
    EXPECT_LT(g_log.largest, 4096u) << "a request sized by the count, not by the file";
    EXPECT_LT(g_log.bytes, 16384u);
    trackset_destroy(std::move(set));
    std::filesystem::remove_all(dir);
}

TEST(TrackMemoryTest, KeyArrayGrowsWithTheKeysActuallyRead) {
    const std::vector<uint8_t> bytes = file_bytes(0x7FFFFFFF, 1000);
    g_file = bytes;
    TrackSetPtr set = trackset_create("sync");
    ASSERT_TRUE(set);
    set->file_ops = span_file_ops();
    counting_start();
    const Track* track = trackset_get_track(*set, "t");
    g_log.counting = false;
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->keys.size(), 1000u);
    EXPECT_LE(g_log.largest, 2 * 1000 * sizeof(Keyframe));
    EXPECT_EQ(g_open_files, 0);
    trackset_destroy(std::move(set));
}

// Each request in turn fails: creation gives null and releases what it had.
TEST(TrackMemoryTest, CreateGivesNullWhenAnyRequestFails) {
    const std::string base(40, 'b');  // too long to live inside the string itself
    int nulls = 0;
    for (long index = 0;; ++index) {
        const long live = g_log.live;
        fail_request(index);
        TrackSetPtr set = trackset_create(base);
        fail_none();
        if (!g_log.failed) {
            ASSERT_TRUE(set);
            EXPECT_EQ(set->base_name, base);
            trackset_destroy(std::move(set));
            break;
        }
        EXPECT_FALSE(set) << "request " << index;
        EXPECT_EQ(g_log.live, live) << "request " << index << " left memory behind";
        ++nulls;
    }
    EXPECT_EQ(nulls, 2) << "the set and the copy of its name";
}

// Each request of get-track in turn fails. Failing the track, its name or the
// enlarged array gives null and an unchanged set; failing the key array gives
// an empty track. Either way the set goes on working and releases everything.
TEST(TrackMemoryTest, GetTrackSurvivesAFailureAtEveryRequest) {
    const std::vector<uint8_t> bytes = file_bytes(300, 300);
    g_file = bytes;
    const std::string long_name(40, 'n');  // too long to live inside the string itself
    int nulls = 0, empty_loads = 0;
    for (long index = 0;; ++index) {
        SCOPED_TRACE(index);
        const long live = g_log.live;
        TrackSetPtr set = trackset_create("sync");
        ASSERT_TRUE(set);
        set->file_ops = span_file_ops();
        std::array<Track*, 4> earlier;  // four fill the array, so the fifth enlarges it
        for (int i = 0; i < 4; ++i) earlier[i] = trackset_get_track(*set, "earlier" + std::to_string(i));

        fail_request(index);
        Track* track = trackset_get_track(*set, long_name);
        fail_none();
        const bool failed = g_log.failed;
        EXPECT_EQ(g_open_files, 0);

        if (!failed) {
            ASSERT_NE(track, nullptr);
            EXPECT_EQ(track->keys.size(), 300u);
        } else if (!track) {
            ++nulls;
            ASSERT_EQ(set->tracks.size(), 4u) << "no half-added entry";
            for (int i = 0; i < 4; ++i) EXPECT_EQ(set->tracks[i].get(), earlier[i]);
            // Asked again with memory to spare, the track comes whole.
            track = trackset_get_track(*set, long_name);
            ASSERT_NE(track, nullptr);
            EXPECT_EQ(track->keys.size(), 300u);
        } else {
            ++empty_loads;
            EXPECT_TRUE(track->keys.empty());
            EXPECT_EQ(track->keys.capacity(), 0u) << "the failed load keeps no memory";
            EXPECT_EQ(track->name, long_name);
            EXPECT_EQ(set->tracks.size(), 5u);
            EXPECT_EQ(track_load(*set, *track), 0) << "a later load with memory to spare works";
            EXPECT_EQ(track->keys.size(), 300u);
        }
        for (int i = 0; i < 4; ++i) EXPECT_EQ(trackset_get_track(*set, "earlier" + std::to_string(i)), earlier[i]);
        trackset_destroy(std::move(set));
        EXPECT_EQ(g_log.live, live) << "memory left behind";
        if (!failed) break;
    }
    EXPECT_EQ(nulls, 3) << "the track, its name and the enlarged array";
    EXPECT_GE(empty_loads, 1);
}

TEST(TrackMemoryTest, FailedLoadGivesMinusOneAndAnEmptyTrack) {
    const std::vector<uint8_t> bytes = file_bytes(5000, 5000);
    g_file = bytes;
    TrackSetPtr set = trackset_create("sync");
    ASSERT_TRUE(set);
    set->file_ops = span_file_ops();
    Track track{"t", {}};
    fail_request(3);  // a growth of the key array well into the file
    EXPECT_EQ(track_load(*set, track), -1);
    fail_none();
    EXPECT_TRUE(g_log.failed);
    EXPECT_TRUE(track.keys.empty());
    EXPECT_EQ(g_open_files, 0);
    trackset_destroy(std::move(set));
}

}  // namespace
