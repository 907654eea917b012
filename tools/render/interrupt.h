// SIGINT, SIGTERM, SIGHUP and SIGQUIT turned into a flag that long work polls between steps, so
// that an interrupted run can stop cleanly and remove what it had begun.
#pragma once

// While alive, the signals only record themselves; the dispositions
// before it are restored when it ends.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// The signal received since the guard was made, or 0.
int interrupt_signal();
