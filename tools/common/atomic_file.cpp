// Atomic file writing: a temporary file of its own beside the target, renamed
// over it once every byte is written.
#include "tools/common/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Creates a file beside path under a fresh name: "x" never opens a file that
// is there, so two runs writing the same target never share a temporary file.
FilePtr temporary_create(const std::string& path, std::string& temporary) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".tmp%08x", unsigned(random()));
        temporary = path + suffix;
        FilePtr file(std::fopen(temporary.c_str(), "wbx"));
        if (file || errno != EEXIST) return file;
    }
    return nullptr;
}

bool write_failed(const std::string& path, const std::string& reason, std::string& error) {
    error = "cannot write " + path + ": " + reason;
    return false;
}

}  // namespace

bool atomic_file_write(const std::string& path, std::span<const uint8_t> bytes, std::string& error) {
    std::string temporary;
    FilePtr file = temporary_create(path, temporary);
    if (!file) return write_failed(path, std::strerror(errno), error);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
                         std::fflush(file.get()) == 0;
    const int write_errno = errno;
    const bool closed = std::fclose(file.release()) == 0;
    std::error_code ignored;
    if (!written || !closed) {
        const std::string reason = std::strerror(written ? errno : write_errno);
        std::filesystem::remove(temporary, ignored);
        return write_failed(path, reason, error);
    }
    std::error_code renamed;
    std::filesystem::rename(temporary, path, renamed);
    if (renamed) {
        std::filesystem::remove(temporary, ignored);
        return write_failed(path, renamed.message(), error);
    }
    return true;
}
