// fork and exec with only what is safe between them.
#include "tools/render/child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/render/interrupt.h"

extern char** environ;

pid_t child_start(const std::vector<std::string>& arguments, int input, int output, std::string& error) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // A closed pipe is reported by write, as EPIPE, rather than by a signal.
    signal(SIGPIPE, SIG_IGN);
    const pid_t parent = getpid();
    const int null_output = output < 0 ? open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGPIPE, SIG_DFL);
        setpgid(0, 0);
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(127);
        if (input >= 0) dup2(input, STDIN_FILENO);
        if (output >= 0) dup2(output, STDOUT_FILENO);
        else if (null_output >= 0) dup2(null_output, STDOUT_FILENO);
        execve(argv[0], argv.data(), environ);
        _exit(127);
    }
    const int fork_errno = errno;
    if (null_output >= 0) close(null_output);
    if (pid < 0) error = "cannot start " + arguments[0] + ": " + std::strerror(fork_errno);
    return pid;
}

int child_wait(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
        if (interrupt_signal()) kill(pid, SIGKILL);
    }
    return status;
}

std::string child_failure(const std::string& name, int status) {
    if (status >= 0 && WIFEXITED(status))
        return WEXITSTATUS(status) == 0 ? std::string()
                                        : name + " failed with exit status " + std::to_string(WEXITSTATUS(status));
    return name + " ended abnormally";
}
