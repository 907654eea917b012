// Giving the desktop its display mode back takes X11 calls through SDL, which
// are not async-signal-safe: a handler that interrupted Xlib or malloc and
// made them could deadlock on a lock its own thread holds. So the handler only
// records the signal, which the frame loop takes as Escape, and rings a
// doorbell; the main thread gives the mode back on its usual way out.
//
// The doorbell is for the one place where the main thread waits without
// bound: SDL shows its message box in a forked process and waits for it in
// waitpid, retrying on EINTR. That process makes itself the owner of the
// doorbell's reading end, so the kernel kills it when a byte arrives, and the
// main thread returns from the box and ends the presentation. It also has the
// kernel kill it when its parent dies, the only help there is after a SIGKILL.
#include "platform/linux/signal_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT) keep their
// default action: their handler cannot return to the frame loop, and a process
// that has crashed cannot safely talk to the X server.
constexpr int FIXED_ENDING_SIGNALS[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGPIPE,   SIGALRM,
                                        SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF,
                                        SIGIO,   SIGPWR,  SIGSTKFLT};

static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch lock-free atomics");
std::atomic<int> g_caught{0};
// Both ends stay open for the whole run: a handler on another thread must
// never write into a descriptor number that has been reused.
int g_doorbell_read = -1, g_doorbell_write = -1;
// Set on the main thread, which is the one that forks the box; the child reads
// its own copy.
bool g_box_showing = false;
pid_t g_box_parent = 0;
std::vector<int> g_watched;

std::vector<int> ending_signals() {
    std::vector<int> signals(std::begin(FIXED_ENDING_SIGNALS), std::end(FIXED_ENDING_SIGNALS));
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) signals.push_back(sig);
    return signals;
}

void on_signal(int sig) {
    const int saved_errno = errno;
    int none = 0;
    g_caught.compare_exchange_strong(none, sig);
    // Rung on every signal, box or not, so that a box forked a moment later
    // still finds the byte; a full pipe means it has been rung already.
    const char ring = 1;
    [[maybe_unused]] const ssize_t written = write(g_doorbell_write, &ring, 1);
    errno = saved_errno;
}

void set_disposition(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    // Libraries in the middle of a read or a poll carry on as if nothing happened.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
}

// Runs in the child of every fork, with only async-signal-safe calls (the
// parent has other threads).
void on_fork_child() {
    if (!g_box_showing) return;
    // A signal meant for the whole process group (a closed terminal, Ctrl+C)
    // ends the box at once.
    for (int sig : g_watched) set_disposition(sig, SIG_DFL);
    // Sent when the forking thread ends: the main thread, so with the process.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != g_box_parent) _exit(1);  // the parent died before the line above
    fcntl(g_doorbell_read, F_SETSIG, SIGKILL);
    fcntl(g_doorbell_read, F_SETOWN, getpid());
    fcntl(g_doorbell_read, F_SETFL, fcntl(g_doorbell_read, F_GETFL) | O_ASYNC);
    // A ring from before the ownership sent nothing; it is still in the pipe.
    pollfd doorbell{g_doorbell_read, POLLIN, 0};
    if (poll(&doorbell, 1, 0) > 0) _exit(1);
}

}  // namespace

void signal_watch_start() {
    if (g_doorbell_write >= 0) return;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "zirbelon: cannot watch for signals: %s\n", std::strerror(errno));
        std::exit(1);
    }
    g_doorbell_read = ends[0];
    g_doorbell_write = ends[1];
    pthread_atfork(nullptr, nullptr, on_fork_child);
    for (int sig : ending_signals()) {
        struct sigaction current {};
        if (sigaction(sig, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
        g_watched.push_back(sig);
        set_disposition(sig, on_signal);
    }
}

int signal_caught() { return g_caught.load(); }

void signal_watch_box(bool showing) {
    g_box_parent = getpid();
    g_box_showing = showing;
}

void signal_finish(int code) {
    const int sig = g_caught.load();
    if (sig == 0 || sig == SIGINT || sig == SIGTERM) std::exit(code);
    // Dying of the signal, rather than exiting with 128 + its number, tells a
    // parent that waits (a shell, make, a supervisor) what really happened,
    // and SIGQUIT, SIGXCPU and SIGXFSZ keep their core dump.
    set_disposition(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig);
    std::_Exit(128 + sig);  // for the compiler: the default action of a watched signal ends the process
}
