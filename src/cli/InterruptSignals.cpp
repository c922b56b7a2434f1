#include "InterruptSignals.h"

#include <atomic>

namespace norvane {

namespace {
// Written by the handler, read by the walk's stop check: a lock-free atomic
// is safe to use from a signal handler.
std::atomic<int> receivedSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void recordSignal(int number) {
    int none = 0;
    receivedSignal.compare_exchange_strong(none, number);
}

void install(int number, struct sigaction& previous) {
    struct sigaction action {};
    action.sa_handler = recordSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: the second signal takes the default action and ends
    // the program. SA_RESTART: system calls in flight go on, so that the
    // look-up under way ends as it would have.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(number, &action, &previous);
}
} // namespace

InterruptSignals::InterruptSignals() {
    receivedSignal = 0;
    install(SIGINT, m_previousInterrupt);
    install(SIGTERM, m_previousTerminate);
}

InterruptSignals::~InterruptSignals() {
    sigaction(SIGINT, &m_previousInterrupt, nullptr);
    sigaction(SIGTERM, &m_previousTerminate, nullptr);
}

int InterruptSignals::received() {
    return receivedSignal.load();
}

} // namespace norvane
