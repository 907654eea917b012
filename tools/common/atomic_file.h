// Files that appear whole or not at all, for the tools' outputs: a reader
// never sees half a file, and a failed or interrupted run leaves any file
// that was there before in place.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// Writes the bytes to a new file beside path, then renames it over path.
// False with "cannot write PATH: reason" in error, and nothing left behind.
bool atomic_file_write(const std::string& path, std::span<const uint8_t> bytes, std::string& error);
