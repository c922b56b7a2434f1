#pragma once

// Ctrl+C (SIGINT) and SIGTERM as a stop request for a command-line scan:
// while an object of this class lives, the first of them is recorded and the
// scan stops at its next stop check, as the window's Stop command does; a
// second one ends the program at once, for a user who will not wait for a
// look-up to time out.

#include <csignal>

namespace norvane {

class InterruptSignals {
public:
    InterruptSignals();
    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;
    ~InterruptSignals();

    // The number of the signal received, 0 while none was.
    static int received();

private:
    struct sigaction m_previousInterrupt {};
    struct sigaction m_previousTerminate {};
};

} // namespace norvane
