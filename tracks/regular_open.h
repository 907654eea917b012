// Opening a file for reading only when it is a regular file, without ever
// waiting: a FIFO's open would wait for a writer, and behind a fullscreen
// window nothing could end that wait.
#pragma once

#include <cstdio>

// The file open for reading in the C library's mode (such as "rb"); null when
// it cannot be opened or is a FIFO, a device, a directory or a socket.
std::FILE* regular_file_open(const char* path, const char* mode);
