// Polling a file's time and size.
#include "tools/studio/file_watch.h"

#include <system_error>

namespace {

FileWatch file_watch_read(const std::string& path) {
    FileWatch watch;
    watch.path = path;
    std::error_code problem;
    watch.exists = std::filesystem::is_regular_file(path, problem);
    if (!watch.exists) return watch;
    watch.time = std::filesystem::last_write_time(path, problem);
    watch.size = std::filesystem::file_size(path, problem);
    return watch;
}

}  // namespace

FileWatch file_watch_start(const std::string& path) { return file_watch_read(path); }

bool file_watch_changed(FileWatch& watch) {
    const FileWatch now = file_watch_read(watch.path);
    const bool changed = now.exists != watch.exists || now.time != watch.time || now.size != watch.size;
    watch = now;
    return changed;
}
