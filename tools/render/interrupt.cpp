// The signal handler does nothing but store the signal's number. It is
// installed without SA_RESTART, so a blocking write or wait returns early
// with EINTR and the caller looks at the flag.
#include "tools/render/interrupt.h"

#include <signal.h>

#include <iterator>

namespace {

// Every signal that ends a run from outside: Ctrl-C, kill, a closed terminal, Ctrl-\\.
constexpr int SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

volatile sig_atomic_t received = 0;
struct sigaction previous[std::size(SIGNALS)];

void record(int signal_number) {
    received = signal_number;
}

}  // namespace

InterruptGuard::InterruptGuard() {
    received = 0;
    struct sigaction action {};
    action.sa_handler = record;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(SIGNALS); ++i) sigaction(SIGNALS[i], &action, &previous[i]);
}

InterruptGuard::~InterruptGuard() {
    for (size_t i = 0; i < std::size(SIGNALS); ++i) sigaction(SIGNALS[i], &previous[i], nullptr);
}

int interrupt_signal() {
    return received;
}
