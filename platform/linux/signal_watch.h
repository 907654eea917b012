// Signals that end the process, held off until the presentation has given the
// desktop its display mode back. Free of SDL: the caller restores the mode on
// its main thread, where that is safe, and then ends through signal_finish.
#pragma once

// Catches every asynchronous signal that would end the process and that nobody
// handles or ignores yet (a `nohup` stays in force). Safe to call again.
void signal_watch_start();
// The first such signal caught, or 0.
int signal_caught();
// Brackets a message box shown in a forked process (SDL's on X11): that
// process dies with this one, even of SIGKILL, and as soon as a signal is
// caught, so the wait for it always ends.
void signal_watch_box(bool showing);
// Ends the process: with the code when no signal or SIGINT or SIGTERM was
// caught, else of the signal caught.
[[noreturn]] void signal_finish(int code);
