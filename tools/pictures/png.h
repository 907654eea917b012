// PNG files of rendered pictures.
#pragma once

#include <string>

#include "tools/common/files.h"
#include "tools/pictures/raster.h"

// Writes the picture as a PNG to an output prepared beforehand (see files.h:
// a file appears whole or not at all). False with the reason in error.
bool png_write(const Output& output, const Raster& image, std::string& error);
// The same to a path, prepared on the spot.
bool png_write(const std::string& path, const Raster& image, std::string& error);
