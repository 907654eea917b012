// The job folder's names, digests and manifest.
#include "tools/render/job.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <span>
#include <sstream>
#include <system_error>

#include "presentation/presentation.h"
#include "tools/common/cli.h"
#include "tools/common/files.h"
#include "tools/gl/scene_pipeline.h"
#include "tracks/track_file.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view MANIFEST_FIRST_LINE = "zirbelon-render job 1";
constexpr std::string_view CHUNK_PREFIX = "chunk-";
constexpr std::string_view CHUNK_EXTENSION = ".mkv";
constexpr size_t DIGEST_DIGITS = 16;
constexpr uint64_t TUNE_BYTES_MAX = 1u << 30;
constexpr uint64_t TRACK_BYTES_MAX = 64u << 20;
constexpr uint64_t MANIFEST_BYTES_MAX = 1u << 20;

constexpr uint64_t FNV_OFFSET = 0xcbf29ce484222325ull;
constexpr uint64_t FNV_PRIME = 0x100000001b3ull;

void digest_add(uint64_t& state, std::span<const uint8_t> bytes) {
    for (const uint8_t byte : bytes) state = (state ^ byte) * FNV_PRIME;
}

std::string digest_text(uint64_t state) {
    char text[DIGEST_DIGITS + 1];
    std::snprintf(text, sizeof text, "%016" PRIx64, state);
    return text;
}

std::span<const uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// The digest of a file's bytes, read a piece at a time (chunks are large);
// empty when it cannot be read.
std::string file_digest(const std::string& path) {
    std::string error;
    const int descriptor = input_open_regular(path, error);
    if (descriptor < 0) return {};
    uint64_t state = FNV_OFFSET;
    std::vector<uint8_t> piece(1u << 20);
    ssize_t count = 0;
    while ((count = read(descriptor, piece.data(), piece.size())) > 0)
        digest_add(state, std::span(piece).first(size_t(count)));
    close(descriptor);
    return count < 0 ? std::string() : digest_text(state);
}

std::string chunk_stem(const std::string& key, int64_t index) {
    char number[24];
    std::snprintf(number, sizeof number, "%08lld", (long long)index);
    return std::string(CHUNK_PREFIX) + key + "-" + number;
}

// '%' and line ends written as %25 and %0A, so that an argument stays on its line.
std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) out += c == '%' ? "%25" : c == '\n' ? "%0A" : std::string(1, c);
    return out;
}

std::string unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, 3) == "%25") out += '%', i += 2;
        else if (text.substr(i, 3) == "%0A") out += '\n', i += 2;
        else out += text[i];
    }
    return out;
}

}  // namespace

std::string job_digest(std::string_view bytes) {
    uint64_t state = FNV_OFFSET;
    digest_add(state, bytes_of(bytes));
    return digest_text(state);
}

bool job_inputs_read(const std::string& dir, const ShaderFiles& shaders, const std::string& picture,
                     std::vector<JobInput>& inputs, std::string& error) {
    inputs.clear();
    inputs.push_back({"the program's version", job_digest(cli_version())});
    inputs.push_back({"the picture's settings", job_digest(picture)});
    std::vector<uint8_t> bytes;
    const std::string tune = (fs::path(dir) / TUNE_FILE).string();
    if (!input_read(tune, TUNE_BYTES_MAX, bytes, error)) return false;
    // Named without the folder, so that parts rendered where it lies elsewhere still join.
    inputs.push_back({std::string("the tune ") + TUNE_FILE, job_digest({reinterpret_cast<const char*>(bytes.data()), bytes.size()})});
    const std::string base = (fs::path(dir) / TRACKSET_BASE_NAME).string();
    for (const char* name : TRACK_NAMES) {
        const std::optional<std::string> path = track_file_path(base, name);
        if (!path) {
            error = "the track file path of " + std::string(name) + " is too long";
            return false;
        }
        std::error_code problem;
        std::string digest = "none";  // a missing track evaluates to 0
        if (fs::exists(*path, problem)) {
            if (!input_read(*path, TRACK_BYTES_MAX, bytes, error)) return false;
            digest = job_digest({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
        }
        inputs.push_back({"the track " + fs::path(*path).filename().string(), digest});
    }
    SceneTexts texts;
    if (!scene_texts_read(shaders, texts, error)) return false;
    inputs.push_back({"the landscape shader", job_digest(texts.landscape)});
    inputs.push_back({"the title shader", job_digest(texts.title)});
    return true;
}

std::string job_key(const std::vector<JobInput>& inputs) {
    uint64_t state = FNV_OFFSET;
    for (const JobInput& input : inputs) {
        digest_add(state, bytes_of(input.name));
        digest_add(state, bytes_of("\n"));
        digest_add(state, bytes_of(input.digest));
        digest_add(state, bytes_of("\n"));
    }
    return digest_text(state);
}

std::string job_changes(const std::vector<JobInput>& before, const std::vector<JobInput>& now) {
    std::string changes;
    for (const JobInput& input : now) {
        bool same = false;
        for (const JobInput& old : before) same = same || (old.name == input.name && old.digest == input.digest);
        if (!same) changes.append(changes.empty() ? "" : ", ").append(input.name).append(" changed");
    }
    if (changes.empty() && before.size() != now.size()) changes = "the inputs are others";
    return changes;
}

bool job_manifest_read(const std::string& folder, JobManifest& manifest, std::string& error) {
    const std::string path = (fs::path(folder) / JOB_MANIFEST).string();
    std::error_code problem;
    error.clear();
    if (!fs::exists(path, problem)) return false;
    std::string text;
    if (!input_read_text(path, MANIFEST_BYTES_MAX, text, error)) return false;
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != MANIFEST_FIRST_LINE) {
        error = path + " is not a zirbelon-render job's manifest";
        return false;
    }
    manifest = {};
    while (std::getline(lines, line)) {
        if (line.starts_with("input ") && line.size() > 6 + DIGEST_DIGITS + 1 &&
            line[6 + DIGEST_DIGITS] == ' ') {
            manifest.inputs.push_back({line.substr(7 + DIGEST_DIGITS), line.substr(6, DIGEST_DIGITS)});
        } else if (line.starts_with("input none ")) {
            manifest.inputs.push_back({line.substr(11), "none"});
        } else if (line.starts_with("argument ")) {
            manifest.arguments.push_back(unescaped(std::string_view(line).substr(9)));
        } else {
            error = path + " has a line it should not have: " + line;
            return false;
        }
    }
    return true;
}

bool job_manifest_write(const std::string& folder, const JobManifest& manifest, std::string& error) {
    std::string text(MANIFEST_FIRST_LINE);
    text += '\n';
    for (const JobInput& input : manifest.inputs) text += "input " + input.digest + " " + input.name + "\n";
    for (const std::string& argument : manifest.arguments) text += "argument " + escaped(argument) + "\n";
    return output_write_path((fs::path(folder) / JOB_MANIFEST).string(), bytes_of(text), error);
}

int64_t job_stale_chunks_remove(const std::string& folder, const std::string& key) {
    int64_t removed = 0;
    std::error_code problem;
    for (const auto& entry : fs::directory_iterator(folder, problem)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(CHUNK_PREFIX) || !name.ends_with(CHUNK_EXTENSION)) continue;
        if (name.compare(CHUNK_PREFIX.size(), key.size(), key) == 0) continue;
        if (entry.is_regular_file(problem) && fs::remove(entry.path(), problem)) ++removed;
    }
    return removed;
}

ChunkRange job_part_chunks(int64_t count, int32_t part, int32_t parts) {
    return {count * (part - 1) / parts, count * part / parts};
}

ChunkState job_chunk_find(const std::vector<std::string>& folders, const std::string& key, int64_t index,
                          std::string& path, std::vector<std::string>& damaged) {
    const std::string stem = chunk_stem(key, index) + "-";
    for (const std::string& folder : folders) {
        std::error_code problem;
        for (const auto& entry : fs::directory_iterator(folder, problem)) {
            const std::string name = entry.path().filename().string();
            if (!name.starts_with(stem) || !name.ends_with(CHUNK_EXTENSION) ||
                name.size() != stem.size() + DIGEST_DIGITS + CHUNK_EXTENSION.size())
                continue;
            if (file_digest(entry.path().string()) == name.substr(stem.size(), DIGEST_DIGITS)) {
                path = entry.path().string();
                return ChunkState::intact;
            }
            damaged.push_back(entry.path().string());
        }
    }
    return damaged.empty() ? ChunkState::missing : ChunkState::damaged;
}

std::string job_chunk_unsealed(const std::string& folder, const std::string& key, int64_t index) {
    return (fs::path(folder) / (chunk_stem(key, index) + std::string(CHUNK_EXTENSION))).string();
}

VideoEncoding job_chunk_encoding(const Output& output, int32_t width, int32_t height, CliRate fps,
                                 int64_t frames) {
    FormatChoices lossless;
    lossless.lossless = true;
    VideoFormat format;
    std::string never;  // .mkv takes FFV1
    video_format_resolve(std::string(CHUNK_EXTENSION), lossless, format, never);
    return {output, format, {}, width, height, fps, frames, {}, 0.0, 0.0};
}

bool job_chunk_seal(const std::string& folder, const std::string& key, int64_t index, std::string& error) {
    const std::string unsealed = job_chunk_unsealed(folder, key, index);
    const std::string digest = file_digest(unsealed);
    const std::string sealed =
        (fs::path(folder) / (chunk_stem(key, index) + "-" + digest + std::string(CHUNK_EXTENSION))).string();
    std::error_code problem;
    if (!digest.empty()) fs::rename(unsealed, sealed, problem);
    if (digest.empty() || problem) {
        error = "cannot name the chunk " + unsealed + (problem ? ": " + problem.message() : std::string());
        return false;
    }
    return true;
}
