// A video of the loop span rendered by zirbelon-render in the background while
// the studio stays usable: the tool runs as a child process on a terminal of
// its own (so it draws its progress line as on a console), and the studio
// shows that line and the outcome. The child ends with the studio.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct VideoJob {
    pid_t pid = -1;
    int terminal = -1;       // the child's terminal, read without blocking
    std::string output;      // the video being written
    std::string pending;     // text read but not yet ended by a line end
    std::string progress;    // the last progress line
    bool running = false;
    bool succeeded = false;
    std::string outcome;     // what the studio says when it has ended
};

// Starts `tool video ARGUMENTS...`; false with error when it cannot start.
bool video_job_start(VideoJob& job, const std::string& tool, const std::vector<std::string>& arguments,
                     const std::string& output, std::string& error);
// Reads what the tool printed and sees whether it has ended; true when it
// ended now, with outcome saying "wrote FILE" or the tool's last line.
bool video_job_poll(VideoJob& job);
// Stops it (its temporary file is cleaned by the tool on SIGTERM).
void video_job_stop(VideoJob& job);
