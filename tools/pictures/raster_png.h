// PNG encoding of rasters, for the tools that write pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/pictures/raster.h"

// The image as PNG bytes: RGB when every pixel is opaque, RGBA otherwise.
// Empty for an empty or malformed raster, or when encoding fails. Writing the
// bytes (atomically) is the caller's part.
std::vector<uint8_t> raster_png_encode(const Raster& raster);
