// Inputs read and outputs written on POSIX, with the checks that keep a tool
// from blocking on a FIFO, reading a device forever or replacing one.
#include "tools/common/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

std::string system_error() { return std::strerror(errno); }

const char* kind_of(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Reads up to limit bytes; false with errno set on a read error.
bool read_all(int fd, uint64_t limit, std::vector<uint8_t>& bytes) {
    uint8_t buffer[65536];
    while (bytes.size() < limit) {
        const size_t wanted = size_t(std::min<uint64_t>(sizeof buffer, limit - bytes.size()));
        const ssize_t got = read(fd, buffer, wanted);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return true;
}

bool write_all(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return false;
        bytes = bytes.subspan(size_t(written));
    }
    return true;
}

uint32_t new_file_mode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The file a path names once every symlink in its last part is followed; a
// dangling link names the file it would create, as a shell's '>' does.
bool real_path_of(const std::string& path, std::string& real, std::string& error) {
    std::filesystem::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code problem;
        const auto status = std::filesystem::symlink_status(current, problem);
        if (problem && problem != std::errc::no_such_file_or_directory) {
            error = "cannot write " + path + ": " + problem.message();
            return false;
        }
        if (status.type() != std::filesystem::file_type::symlink) {
            real = current.string();
            return true;
        }
        const std::filesystem::path target = std::filesystem::read_symlink(current, problem);
        if (problem) {
            error = "cannot write " + path + ": " + problem.message();
            return false;
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    error = "cannot write " + path + ": too many levels of symbolic links";
    return false;
}

// A process that has ended but was not reaped (its parent died too, and
// nothing adopted it) still answers kill(pid, 0): /proc tells it is a zombie.
bool process_running(long pid) {
    if (kill(pid_t(pid), 0) != 0 && errno == ESRCH) return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const size_t name_end = line.rfind(')');
    return name_end == std::string::npos || name_end + 2 >= line.size() || line[name_end + 2] != 'Z';
}

std::string temporary_name(const std::string& real_path, std::string_view suffix, uint32_t random) {
    char tail[48];
    std::snprintf(tail, sizeof tail, ".%ld-%08x.", long(getpid()), unsigned(random));
    return real_path + tail + std::string(suffix);
}

}  // namespace

bool input_read(const std::string& path, uint64_t max_bytes, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    if (path == "-") {
        if (!read_all(STDIN_FILENO, max_bytes + 1, bytes)) {
            error = "cannot read standard input: " + system_error();
            return false;
        }
        if (bytes.size() > max_bytes) {
            error = "standard input holds more than " + std::to_string(max_bytes) + " bytes";
            return false;
        }
        return true;
    }
    const int fd = input_open_regular(path, error);
    if (fd < 0) return false;
    struct stat info {};
    fstat(fd, &info);
    if (uint64_t(info.st_size) > max_bytes) {
        close(fd);
        error = path + " is larger than " + std::to_string(max_bytes) + " bytes";
        return false;
    }
    const bool read_whole = read_all(fd, uint64_t(info.st_size), bytes);
    const std::string reason = system_error();
    close(fd);
    if (!read_whole) {
        error = "cannot read " + path + ": " + reason;
        return false;
    }
    return true;
}

bool input_read_text(const std::string& path, uint64_t max_bytes, std::string& text, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!input_read(path, max_bytes, bytes, error)) return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

int input_open_regular(const std::string& path, std::string& error) {
    // Not blocking: opening a FIFO for reading would wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + system_error();
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path + " is " + kind_of(info.st_mode) + ", not a regular file";
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool output_prepare(const std::string& path, Output& output, std::string& error) {
    output = Output{};
    output.path = path;
    if (path == "-") {
        if (isatty(STDOUT_FILENO)) {
            error = "standard output is a terminal: redirect it to a file or a pipe";
            return false;
        }
        output.kind = OutputKind::standard_output;
        return true;
    }
    if (path.empty()) {
        error = "cannot write to an empty path";
        return false;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)) {
            output.kind = OutputKind::in_place;
            output.real_path = path;
            return true;
        }
        if (!S_ISREG(info.st_mode)) {
            error = "cannot write " + path + ": it is " + kind_of(info.st_mode);
            return false;
        }
        output.exists = true;
        output.mode = info.st_mode & 07777;
        output.owner = info.st_uid;
        output.group = info.st_gid;
    } else if (errno != ENOENT) {
        error = "cannot write " + path + ": " + system_error();
        return false;
    } else {
        output.mode = new_file_mode();
    }
    output.kind = OutputKind::replaced;
    if (!real_path_of(path, output.real_path, error)) return false;
    std::filesystem::path folder = std::filesystem::path(output.real_path).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code problem;
    if (!std::filesystem::is_directory(folder, problem)) {
        error = "cannot write " + path + ": there is no folder " + folder.string();
        return false;
    }
    if (access(folder.c_str(), W_OK) != 0) {
        error = "cannot write " + path + ": " + system_error();
        return false;
    }
    return true;
}

bool output_temporary_create(const Output& output, std::string_view suffix, std::string& temporary,
                             std::string& error) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = temporary_name(output.real_path, suffix, random());
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            close(fd);
            return true;
        }
        if (errno != EEXIST) break;
    }
    error = "cannot write " + output.path + ": " + system_error();
    return false;
}

bool output_commit(const Output& output, const std::string& temporary, std::string& error) {
    // The owner first: changing it may clear set-id bits that chmod then sets.
    if (output.exists && geteuid() == 0 &&
        chown(temporary.c_str(), uid_t(output.owner), gid_t(output.group)) != 0) {
        error = "cannot write " + output.path + ": " + system_error();
        unlink(temporary.c_str());
        return false;
    }
    if (chmod(temporary.c_str(), mode_t(output.mode)) != 0 ||
        rename(temporary.c_str(), output.real_path.c_str()) != 0) {
        error = "cannot write " + output.path + ": " + system_error();
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool output_write(const Output& output, std::span<const uint8_t> bytes, std::string& error) {
    if (output.kind == OutputKind::standard_output) {
        if (!write_all(STDOUT_FILENO, bytes)) {
            error = "cannot write to standard output: " + system_error();
            return false;
        }
        return true;
    }
    if (output.kind == OutputKind::in_place) {
        const int fd = open(output.real_path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            error = "cannot write " + output.path + ": " + system_error();
            return false;
        }
        const bool written = write_all(fd, bytes);
        const std::string reason = system_error();
        const bool closed = close(fd) == 0;
        if (!written || !closed) {
            error = "cannot write " + output.path + ": " + (written ? system_error() : reason);
            return false;
        }
        return true;
    }
    std::string temporary;
    if (!output_temporary_create(output, "tmp", temporary, error)) return false;
    const int fd = open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const bool written = fd >= 0 && write_all(fd, bytes);
    const std::string reason = system_error();
    const bool closed = fd >= 0 && close(fd) == 0;
    if (!written || !closed) {
        unlink(temporary.c_str());
        error = "cannot write " + output.path + ": " + (written ? system_error() : reason);
        return false;
    }
    return output_commit(output, temporary, error);
}

bool output_write_path(const std::string& path, std::span<const uint8_t> bytes, std::string& error) {
    Output output;
    return output_prepare(path, output, error) && output_write(output, bytes, error);
}

void output_stale_remove(const Output& output, std::string_view suffix, std::vector<std::string>& removed) {
    const std::filesystem::path real = output.real_path;
    const std::string prefix = real.filename().string() + ".";
    std::string ending = ".";
    ending += suffix;
    std::filesystem::path folder = real.parent_path();
    if (folder.empty()) folder = ".";
    std::error_code problem;
    for (const auto& entry : std::filesystem::directory_iterator(folder, problem)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix) || !name.ends_with(ending)) continue;
        // "PID-RANDOM" between the two, nothing else.
        const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - ending.size());
        const size_t dash = middle.find('-');
        if (dash == std::string::npos || dash == 0 || middle.size() - dash - 1 != 8) continue;
        char* end = nullptr;
        const long pid = std::strtol(middle.c_str(), &end, 10);
        if (end != middle.c_str() + dash || pid <= 0 || pid > INT_MAX) continue;
        if (pid == long(getpid()) || process_running(pid)) continue;
        if (entry.is_regular_file(problem) && std::filesystem::remove(entry.path(), problem))
            removed.push_back(entry.path().string());
    }
}
