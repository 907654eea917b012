// PNG files of rendered pictures.
#pragma once

#include <string>

#include "tools/raster/raster.h"

// Writes the picture as a PNG. The file appears whole or not at all: the bytes
// go to a temporary file beside it that is renamed at the end. False with the
// reason in error.
bool png_write(const std::string& path, const Raster& image, std::string& error);
