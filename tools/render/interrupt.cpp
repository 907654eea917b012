// The signal handler does nothing but store the signal's number. It is
// installed without SA_RESTART, so a blocking write or wait returns early
// with EINTR and the caller looks at the flag.
#include "tools/render/interrupt.h"

#include <signal.h>

namespace {

volatile sig_atomic_t received = 0;
struct sigaction previous_int {};
struct sigaction previous_term {};

void record(int signal_number) {
    received = signal_number;
}

}  // namespace

InterruptGuard::InterruptGuard() {
    received = 0;
    struct sigaction action {};
    action.sa_handler = record;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_int);
    sigaction(SIGTERM, &action, &previous_term);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &previous_int, nullptr);
    sigaction(SIGTERM, &previous_term, nullptr);
}

int interrupt_signal() {
    return received;
}
