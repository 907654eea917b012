// The render tool as a child on a pseudo-terminal.
#include "tools/studio/video_job.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool video_job_start(VideoJob& job, const std::string& tool, const std::vector<std::string>& arguments,
                     const std::string& output, std::string& error) {
    if (job.running) {
        error = "a video is already being rendered";
        return false;
    }
    std::vector<std::string> words = {tool, "video"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t parent = getpid();
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid < 0) {
        error = std::string("cannot start ") + tool + ": " + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(127);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    fcntl(terminal, F_SETFL, fcntl(terminal, F_GETFL) | O_NONBLOCK);
    job = VideoJob{};
    job.pid = pid;
    job.terminal = terminal;
    job.output = output;
    job.running = true;
    job.progress = "starting";
    return true;
}

namespace {

// Takes what the tool printed so far, line by line: the last whole line is its
// progress, or at its end its error.
void output_take(VideoJob& job) {
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(job.terminal, buffer, sizeof buffer)) > 0) {
        for (ssize_t i = 0; i < got; ++i) {
            const char c = buffer[i];
            if (c == '\r' || c == '\n') {
                // The progress line ends with an erase-to-end escape on a terminal.
                const size_t escape = job.pending.find('\033');
                if (escape != std::string::npos) job.pending.resize(escape);
                if (!job.pending.empty()) job.progress = job.pending;
                job.pending.clear();
            } else {
                job.pending += c;
            }
        }
    }
}

}  // namespace

bool video_job_poll(VideoJob& job) {
    if (!job.running) return false;
    output_take(job);
    int status = 0;
    if (waitpid(job.pid, &status, WNOHANG) != job.pid) return false;
    // What it printed just before it ended is still in the terminal.
    output_take(job);
    close(job.terminal);
    job.terminal = -1;
    job.running = false;
    job.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    job.outcome = job.succeeded ? "wrote " + job.output : "the video failed: " + job.progress;
    return true;
}

void video_job_stop(VideoJob& job) {
    if (!job.running) return;
    kill(job.pid, SIGTERM);
    int status = 0;
    waitpid(job.pid, &status, 0);
    close(job.terminal);
    job.terminal = -1;
    job.running = false;
    job.outcome = "stopped the video";
}
