// A render job's folder: the frames of a video kept as lossless chunks of a
// fixed number of frames, so that a stopped run goes on where it stopped and
// parts rendered anywhere are joined into one final encoding.
//
// A chunk is "chunk-KEY-INDEX-SUM.mkv": KEY is the digest of every input the
// pictures depend on, SUM the digest of the file's own bytes. The file is
// written under a temporary name and renamed once whole, so a run killed at
// any moment leaves a chunk whole or not at all, and one damaged later no
// longer matches its name. "job.txt" records the inputs one by one (to say
// which one changed) and the video command's own arguments (for join).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/shader_files.h"
#include "tools/render/encoder.h"

inline constexpr std::string_view JOB_MANIFEST = "job.txt";

// One input and the digest of its bytes, e.g. {"the track sync_cam.rot.track", "9f..."}.
struct JobInput {
    std::string name;
    std::string digest;
};

struct JobManifest {
    std::vector<JobInput> inputs;
    std::vector<std::string> arguments;  // the video command's, without its output, job and part
};

// FNV-1a, 64 bits, as 16 hex digits: finds damage and changes, not forgery.
std::string job_digest(std::string_view bytes);

// The inputs of a render: the tune, the track files and the shader texts of
// the folder, the program's version, and `picture`, the settings that shape
// the frames (size, rate, span, chunk length, ...) as text. False with error.
bool job_inputs_read(const std::string& dir, const ShaderFiles& shaders, const std::string& picture,
                     std::vector<JobInput>& inputs, std::string& error);

// The digest of all inputs together: the KEY of the chunks made from them.
std::string job_key(const std::vector<JobInput>& inputs);

// What differs between the inputs recorded and the current ones, e.g. "the
// track sync_cam.rot.track changed"; empty when nothing does.
std::string job_changes(const std::vector<JobInput>& before, const std::vector<JobInput>& now);

// False with error when the file is not there (error empty) or cannot be read or understood.
bool job_manifest_read(const std::string& folder, JobManifest& manifest, std::string& error);
bool job_manifest_write(const std::string& folder, const JobManifest& manifest, std::string& error);

// Removes the chunks of the folder made from other inputs than `key`; how many.
int64_t job_stale_chunks_remove(const std::string& folder, const std::string& key);

// The chunks a run of `parts` renders as part `part` (from 1): a contiguous
// share of the `count` chunks, [first, end).
struct ChunkRange {
    int64_t first;
    int64_t end;
};
ChunkRange job_part_chunks(int64_t count, int32_t part, int32_t parts);

enum class ChunkState { missing, intact, damaged };

// Looks for chunk `index` of `key` in the folders in order: the path of the
// first intact copy; the damaged ones it met are named in `damaged`.
ChunkState job_chunk_find(const std::vector<std::string>& folders, const std::string& key, int64_t index,
                          std::string& path, std::vector<std::string>& damaged);

// The name a chunk is written under before its digest is known (its encoder
// writes a temporary beside it and renames it to this).
std::string job_chunk_unsealed(const std::string& folder, const std::string& key, int64_t index);

// How a chunk is encoded: the frames' own bytes, FFV1 in Matroska (every
// frame a key frame, each slice with a CRC), and no sound.
VideoEncoding job_chunk_encoding(const Output& output, int32_t width, int32_t height, CliRate fps, int64_t frames);

// Gives the finished chunk at its unsealed name the name with its digest.
bool job_chunk_seal(const std::string& folder, const std::string& key, int64_t index, std::string& error);
