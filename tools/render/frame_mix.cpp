// Sums in whole numbers, so that the mean is exact whatever the order of the
// renders: 255 x 16 x 64 renders still fit a uint32_t many times over.
#include "tools/render/frame_mix.h"

FrameMix frame_mix_start(int32_t width, int32_t height, int32_t factor) {
    FrameMix mix;
    mix.width = width;
    mix.height = height;
    mix.factor = factor;
    mix.sums.assign(size_t(width) * size_t(height) * 3, 0);
    return mix;
}

bool frame_mix_add(FrameMix& mix, const Raster& render) {
    const int32_t factor = mix.factor;
    if (render.width != mix.width * factor || render.height != mix.height * factor ||
        render.rgba.size() != size_t(render.width) * size_t(render.height) * 4)
        return false;
    for (int32_t y = 0; y < render.height; ++y) {
        const uint8_t* source = &render.rgba[size_t(y) * size_t(render.width) * 4];
        uint32_t* sums = &mix.sums[size_t(y / factor) * size_t(mix.width) * 3];
        for (int32_t x = 0; x < render.width; ++x) {
            uint32_t* sum = sums + size_t(x / factor) * 3;
            sum[0] += source[0];
            sum[1] += source[1];
            sum[2] += source[2];
            source += 4;
        }
    }
    ++mix.renders;
    return true;
}

Raster frame_mix_result(const FrameMix& mix) {
    if (mix.renders == 0) return {};
    const uint32_t samples = uint32_t(mix.renders) * uint32_t(mix.factor) * uint32_t(mix.factor);
    Raster image = raster_create(mix.width, mix.height, Color{0, 0, 0, 255});
    for (size_t pixel = 0; pixel < size_t(mix.width) * size_t(mix.height); ++pixel)
        for (size_t channel = 0; channel < 3; ++channel)
            image.rgba[pixel * 4 + channel] = uint8_t((mix.sums[pixel * 3 + channel] + samples / 2) / samples);
    return image;
}
