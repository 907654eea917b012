// PNG encoding through stb_image_write, compiled here with its functions kept
// to this file, so that a program may link another copy of it as well.
#include "tools/pictures/raster_png.h"

#include <cstring>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"  // the other formats' writers
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

void bytes_append(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    const auto* begin = static_cast<const uint8_t*>(data);
    bytes->insert(bytes->end(), begin, begin + size);
}

}  // namespace

std::vector<uint8_t> raster_png_encode(const Raster& raster) {
    if (raster.width <= 0 || raster.height <= 0 ||
        raster.rgba.size() != size_t(raster.width) * size_t(raster.height) * 4)
        return {};
    bool opaque = true;
    for (size_t i = 3; i < raster.rgba.size() && opaque; i += 4) opaque = raster.rgba[i] == 255;
    std::vector<uint8_t> pixels;
    int channels = 4;
    if (opaque) {
        channels = 3;
        pixels.resize(raster.rgba.size() / 4 * 3);
        for (size_t pixel = 0; pixel < pixels.size() / 3; ++pixel)
            std::memcpy(&pixels[pixel * 3], &raster.rgba[pixel * 4], 3);
    }
    const uint8_t* data = opaque ? pixels.data() : raster.rgba.data();
    std::vector<uint8_t> encoded;
    if (!stbi_write_png_to_func(bytes_append, &encoded, raster.width, raster.height, channels, data,
                                raster.width * channels))
        return {};
    return encoded;
}
