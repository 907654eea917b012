// Reading the tools' inputs and writing their outputs without harm to what is
// already there.
//
// Inputs: "-" is standard input; any other path must name a regular file once
// symlinks are followed (a FIFO would block, a device might never end, a
// directory holds nothing to read), and no more than its size is read.
//
// Outputs: "-" is standard output. A regular file, or a new one in an existing
// folder, is replaced atomically: the bytes go to a temporary file beside its
// real path (a symlink is followed, so its target is replaced and the link
// stays), which takes the old file's mode (and owner, for root) and is renamed
// over it. A character device (/dev/null) or a FIFO is written in place, as a
// shell's redirection would. A directory, a block device or a socket is
// refused before any work is done.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

bool input_read(const std::string& path, uint64_t max_bytes, std::vector<uint8_t>& bytes, std::string& error);
bool input_read_text(const std::string& path, uint64_t max_bytes, std::string& text, std::string& error);

// A descriptor of the regular file, for readers that take one; -1 with error.
// The caller closes it.
int input_open_regular(const std::string& path, std::string& error);

enum class OutputKind { standard_output, replaced, in_place };

struct Output {
    std::string path;       // as given, for messages
    std::string real_path;  // what is written: symlinks followed
    OutputKind kind = OutputKind::replaced;
    bool exists = false;    // a regular file is there to replace
    uint32_t mode = 0;      // the permissions the file keeps or gets
    uint32_t owner = 0;     // of the file replaced
    uint32_t group = 0;
};

// How path will be written; false with error for a path that must not be
// written (see above) or cannot be: call it before the work starts.
bool output_prepare(const std::string& path, Output& output, std::string& error);

// Writes the bytes whole, or leaves what was there; false with error.
bool output_write(const Output& output, std::span<const uint8_t> bytes, std::string& error);
// output_prepare, then output_write.
bool output_write_path(const std::string& path, std::span<const uint8_t> bytes, std::string& error);

// For writers that fill a file of their own (ffmpeg): a new, unique temporary
// "NAME.PID-RANDOM.SUFFIX" beside the real path of a replaced output. False
// with error.
bool output_temporary_create(const Output& output, std::string_view suffix, std::string& temporary,
                             std::string& error);
// Gives the finished temporary the output's mode and owner and renames it
// over the output; removes it when that fails.
bool output_commit(const Output& output, const std::string& temporary, std::string& error);
// Removes temporaries of this output with this suffix that a process no longer
// running left behind (a run killed before it could clean up); their names in
// removed.
void output_stale_remove(const Output& output, std::string_view suffix, std::vector<std::string>& removed);
