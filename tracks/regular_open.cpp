// regular_file_open on POSIX (open without waiting, then look at what was
// opened) and on Windows (where a relative path never names a pipe).
#include "tracks/regular_open.h"

#ifdef _WIN32
#include <sys/stat.h>

std::FILE* regular_file_open(const char* path, const char* mode) {
    std::FILE* file = std::fopen(path, mode);
    if (!file) return nullptr;
    struct _stat64 info;
    if (_fstat64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* regular_file_open(const char* path, const char* mode) {
    // O_NONBLOCK makes a FIFO's open return at once; the descriptor is only
    // kept when it turns out to be a regular file, where the flag means nothing.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, mode);
    if (!file) close(fd);
    return file;
}

#endif
