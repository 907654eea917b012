// PNG files written through the tools' outputs, so that a failed or
// interrupted run never leaves a truncated picture under the name asked for.
#include "tools/pictures/png.h"

#include "tools/pictures/raster_png.h"

bool png_write(const Output& output, const Raster& image, std::string& error) {
    const std::vector<uint8_t> encoded = raster_png_encode(image);
    if (encoded.empty()) {
        error = "cannot encode the picture for " + output.path;
        return false;
    }
    return output_write(output, encoded, error);
}

bool png_write(const std::string& path, const Raster& image, std::string& error) {
    Output output;
    return output_prepare(path, output, error) && png_write(output, image, error);
}
