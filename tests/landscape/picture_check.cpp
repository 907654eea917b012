// Picture comparison and the PNG files written when a comparison fails.
#include "tests/landscape/picture_check.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tools/pictures/png.h"

namespace {

int32_t channel_difference(std::span<const uint8_t> a, std::span<const uint8_t> b, size_t pixel) {
    int32_t largest = 0;
    for (size_t c = 0; c < 3; ++c)
        largest = std::max(largest, std::abs(int32_t(a[pixel * 4 + c]) - int32_t(b[pixel * 4 + c])));
    return largest;
}

std::string write_png(const std::string& name, const Picture& picture) {
    const std::string path = (std::filesystem::current_path() / name).string();
    std::string error;
    if (!png_write(path, Raster{picture.width, picture.height, picture.rgba}, error))
        return "(could not write " + path + ")";
    return path;
}

}  // namespace

Picture picture_make(int32_t width, int32_t height) {
    Picture picture{width, height, {}};
    // Mid grey with full alpha marks what was not compared.
    picture.rgba.resize(size_t(width) * size_t(height) * 4, 128);
    for (size_t i = 3; i < picture.rgba.size(); i += 4) picture.rgba[i] = 255;
    return picture;
}

void picture_paste(Picture& picture, int32_t x, int32_t y, int32_t width, int32_t height,
                   std::span<const uint8_t> rgba) {
    for (int32_t row = 0; row < height; ++row) {
        const int32_t top_row = picture.height - (y + height) + row;
        std::memcpy(&picture.rgba[(size_t(top_row) * size_t(picture.width) + size_t(x)) * 4],
                    &rgba[size_t(row) * size_t(width) * 4], size_t(width) * 4);
    }
}

PictureDifference picture_compare(std::span<const uint8_t> render, std::span<const uint8_t> reference,
                                  int32_t tolerance) {
    PictureDifference difference;
    difference.pixels = int64_t(std::min(render.size(), reference.size()) / 4);
    for (size_t pixel = 0; pixel < size_t(difference.pixels); ++pixel) {
        const int32_t off = channel_difference(render, reference, pixel);
        difference.largest = std::max(difference.largest, off);
        if (off > tolerance) ++difference.off;
    }
    return difference;
}

std::vector<std::string> picture_save(std::string_view name, const Picture& render,
                                      const Picture& reference, int32_t tolerance) {
    Picture difference = picture_make(render.width, render.height);
    for (size_t pixel = 0; pixel < difference.rgba.size() / 4; ++pixel) {
        const int32_t off = channel_difference(render.rgba, reference.rgba, pixel);
        uint8_t* out = &difference.rgba[pixel * 4];
        if (off > tolerance) {
            out[0] = 255;
            out[1] = 0;
            out[2] = 0;
        } else {
            for (size_t c = 0; c < 3; ++c)
                out[c] = uint8_t(std::min(255, 8 * std::abs(int32_t(render.rgba[pixel * 4 + c]) -
                                                            int32_t(reference.rgba[pixel * 4 + c]))));
        }
    }
    const std::string base(name);
    return {write_png(base + "-reference.png", reference), write_png(base + "-render.png", render),
            write_png(base + "-difference.png", difference)};
}
