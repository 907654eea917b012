// ffmpeg and its kind as child processes of a render: started with pipes,
// in a process group of their own so that the terminal's Ctrl-C reaches only
// this process (which decides what becomes of the work), and killed when this
// process ends in any way, SIGKILL included, so that no orphan goes on.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Starts the program (argument 0 is its path) with standard input from
// `input` and standard output to `output` (-1: /dev/null). The caller still
// closes its own copies of the descriptors. The child's pid, or -1 with error.
pid_t child_start(const std::vector<std::string>& arguments, int input, int output, std::string& error);

// Waits for the child; a signal that arrives meanwhile (interrupt.h) ends it
// at once. Its wait status, or -1.
int child_wait(pid_t pid);

// "ffmpeg failed with exit status N", or why it ended abnormally; empty for
// a child that exited with 0.
std::string child_failure(const std::string& name, int status);
