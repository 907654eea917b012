// The bytes of track files, in both directions, and loading one by its path.
#include "tracks/track_file.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

uint32_t le32(std::span<const uint8_t, 4> bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// The bits of a float and back, as std::bit_cast gives them; the WebAssembly
// build's C++ library does not have that yet.
float float_from_bits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

uint32_t float_bits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void append_le32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(v >> shift));
}

const char* file_kind(std::filesystem::file_type type) {
    switch (type) {
    case std::filesystem::file_type::directory: return "a directory";
    case std::filesystem::file_type::fifo: return "a FIFO";
    case std::filesystem::file_type::character: return "a character device";
    case std::filesystem::file_type::block: return "a block device";
    case std::filesystem::file_type::socket: return "a socket";
    default: return "not a regular file";
    }
}

// A track file's name: the set's base, the separator, the track's name, the suffix.
constexpr std::string_view SEPARATOR = "_";
constexpr std::string_view SUFFIX = ".track";

}  // namespace

bool track_file_path_compose(std::string_view base, std::string_view name,
                             std::span<char, TRACK_PATH_MAX + 1> out) {
    const size_t length = base.size() + SEPARATOR.size() + name.size() + SUFFIX.size();
    if (length > TRACK_PATH_MAX) return false;
    if (base.find('\0') != base.npos || name.find('\0') != name.npos) return false;
    char* at = out.data();
    for (std::string_view part : {base, SEPARATOR, name, SUFFIX}) {
        std::memcpy(at, part.data(), part.size());
        at += part.size();
    }
    *at = '\0';
    return true;
}

std::optional<std::string> track_file_path(std::string_view base, std::string_view name) {
    char path[TRACK_PATH_MAX + 1];
    if (!track_file_path_compose(base, name, path)) return std::nullopt;
    return std::string(path);
}

std::optional<TrackFileName> track_file_name_split(std::string_view path) {
    if (!path.ends_with(SUFFIX)) return std::nullopt;
    const auto slash = path.find_last_of('/');
    const size_t file_start = slash == path.npos ? 0 : slash + 1;
    const std::string_view stem = path.substr(0, path.size() - SUFFIX.size());
    const auto separator = stem.find_last_of(SEPARATOR);
    if (separator == stem.npos || separator < file_start) return std::nullopt;
    return TrackFileName{std::string(stem.substr(0, separator)), std::string(stem.substr(separator + SEPARATOR.size()))};
}

std::optional<std::string> track_file_track_name(std::string_view base, std::string_view file) {
    if (!file.starts_with(base) || !file.substr(base.size()).starts_with(SEPARATOR) || !file.ends_with(SUFFIX))
        return std::nullopt;
    const size_t first = base.size() + SEPARATOR.size();
    if (file.size() <= first + SUFFIX.size()) return std::nullopt;
    const std::string name(file.substr(first, file.size() - first - SUFFIX.size()));
    // The set's path for the name must be this very file.
    if (track_file_path(base, name) != std::string(file)) return std::nullopt;
    return name;
}

int32_t track_file_count_decode(std::span<const uint8_t, TRACK_FILE_COUNT_BYTES> field) {
    return int32_t(le32(field.first<4>()));
}

Keyframe track_file_key_decode(std::span<const uint8_t, TRACK_FILE_ROW_BYTES> row,
                               std::span<const uint8_t, TRACK_FILE_VALUE_BYTES> value,
                               std::span<const uint8_t, TRACK_FILE_KIND_BYTES> kind) {
    return {int32_t(le32(row)), float_from_bits(le32(value)), int32_t(int8_t(kind[0]))};
}

void track_file_count_append(std::vector<uint8_t>& out, uint64_t field) {
    append_le32(out, uint32_t(field));
    append_le32(out, uint32_t(field >> 32));
}

void track_file_key_append(std::vector<uint8_t>& out, const Keyframe& key) {
    append_le32(out, uint32_t(key.row));
    append_le32(out, float_bits(key.value));
    out.push_back(uint8_t(key.kind));
}

std::vector<uint8_t> track_file_encode(std::span<const Keyframe> keys) {
    std::vector<uint8_t> bytes;
    bytes.reserve(TRACK_FILE_COUNT_BYTES + TRACK_FILE_KEY_BYTES * keys.size());
    track_file_count_append(bytes, uint32_t(keys.size()));
    for (const Keyframe& key : keys) track_file_key_append(bytes, key);
    return bytes;
}

TrackFileContents track_file_decode(std::span<const uint8_t> bytes) {
    TrackFileContents contents;
    contents.size = bytes.size();
    if (bytes.size() < TRACK_FILE_COUNT_BYTES) return contents;
    contents.has_count = true;
    contents.count = track_file_count_decode(bytes.first<TRACK_FILE_COUNT_BYTES>());
    std::span<const uint8_t> rest = bytes.subspan(TRACK_FILE_COUNT_BYTES);
    const size_t whole = rest.size() / TRACK_FILE_KEY_BYTES;
    const size_t wanted = contents.count > 0 ? size_t(contents.count) : 0;
    contents.keys.reserve(std::min(whole, wanted));
    for (size_t i = 0; i < wanted && rest.size() >= TRACK_FILE_KEY_BYTES; ++i) {
        contents.keys.push_back(track_file_key_decode(rest.first<TRACK_FILE_ROW_BYTES>(),
                                                      rest.subspan<TRACK_FILE_ROW_BYTES, TRACK_FILE_VALUE_BYTES>(),
                                                      rest.subspan<TRACK_FILE_ROW_BYTES + TRACK_FILE_VALUE_BYTES,
                                                                   TRACK_FILE_KIND_BYTES>()));
        rest = rest.subspan(TRACK_FILE_KEY_BYTES);
    }
    return contents;
}

bool track_file_load(const std::string& path, TrackFileContents& contents, std::string& error) {
    std::error_code problem;
    const std::filesystem::file_status status = std::filesystem::status(path, problem);
    if (problem) {
        error = path + ": " + problem.message();
        return false;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        error = path + " is " + file_kind(status.type()) + ", not a track file";
        return false;
    }
    const uintmax_t size = std::filesystem::file_size(path, problem);
    if (problem) {
        error = path + ": " + problem.message();
        return false;
    }
    if (size > TRACK_FILE_BYTES_MAX) {
        error = path + " is larger than any track file (" + std::to_string(size) + " bytes)";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot open it";
        return false;
    }
    std::vector<uint8_t> bytes(size);
    file.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size));
    if (file.bad()) {
        error = path + ": cannot read it";
        return false;
    }
    bytes.resize(size_t(file.gcount()));  // a file that shrank meanwhile gives what it had
    contents = track_file_decode(bytes);
    return true;
}
