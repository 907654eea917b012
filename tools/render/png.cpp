// PNG files written atomically, so that a failed or interrupted run never
// leaves a truncated picture under the name asked for.
#include "tools/render/png.h"

#include "tools/common/atomic_file.h"
#include "tools/raster/raster_png.h"

bool png_write(const std::string& path, const Raster& image, std::string& error) {
    const std::vector<uint8_t> encoded = raster_png_encode(image);
    if (encoded.empty()) {
        error = "cannot encode the picture for " + path;
        return false;
    }
    return atomic_file_write(path, encoded, error);
}
