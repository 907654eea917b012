// PNG files written atomically, so that a failed or interrupted run never
// leaves a truncated picture under the name asked for.
#include "png.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "raster_png.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool png_write(const std::string& path, const Raster& image, std::string& error) {
    const std::vector<uint8_t> encoded = raster_png_encode(image);
    if (encoded.empty()) {
        error = "cannot encode the picture for " + path;
        return false;
    }
    const std::string temporary = path + ".part";
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(temporary.c_str(), "wb"));
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(encoded.data(), 1, encoded.size(), file.get()) == encoded.size();
    const int write_errno = errno;
    const bool closed = std::fclose(file.release()) == 0;
    std::error_code ignored;
    if (!written || !closed) {
        error = "cannot write " + path + ": " + std::strerror(written ? errno : write_errno);
        std::filesystem::remove(temporary, ignored);
        return false;
    }
    std::error_code renamed;
    std::filesystem::rename(temporary, path, renamed);
    if (renamed) {
        error = "cannot write " + path + ": " + renamed.message();
        std::filesystem::remove(temporary, ignored);
        return false;
    }
    return true;
}
