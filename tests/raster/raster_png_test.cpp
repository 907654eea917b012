// PNG bytes of a raster read back to the same pixels, RGB for opaque pictures.
#include <gtest/gtest.h>

#include <memory>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include "tools/pictures/raster_png.h"

namespace {

void expect_round_trip(const Raster& raster, int want_channels) {
    const std::vector<uint8_t> png = raster_png_encode(raster);
    ASSERT_FALSE(png.empty());
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(png.data(), int(png.size()), &width, &height, &channels, 4), stbi_image_free);
    ASSERT_TRUE(pixels) << stbi_failure_reason();
    EXPECT_EQ(width, raster.width);
    EXPECT_EQ(height, raster.height);
    EXPECT_EQ(channels, want_channels);
    EXPECT_EQ(std::vector<uint8_t>(pixels.get(), pixels.get() + raster.rgba.size()), raster.rgba);
}

TEST(RasterPngTest, ReadsBackToTheSamePixels) {
    Raster raster = raster_create(7, 3, {10, 20, 30, 255});
    raster_fill_rect(raster, 1, 1, 3, 1, {250, 0, 128, 255});
    expect_round_trip(raster, 3);
    raster_blend_pixel(raster, 6, 2, {0, 0, 0, 255}, 1.0f);
    raster.rgba[3] = 7;  // one translucent pixel keeps the alpha channel
    expect_round_trip(raster, 4);
}

TEST(RasterPngTest, EmptyOrMalformedRastersGiveNoBytes) {
    EXPECT_TRUE(raster_png_encode(Raster{}).empty());
    EXPECT_TRUE(raster_png_encode(Raster{2, 2, std::vector<uint8_t>(15)}).empty());
}

}  // namespace
