#include "QuitSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace norvane {

namespace {
constexpr std::array<int, 3> HandledSignals = {SIGTERM, SIGINT, SIGHUP};

// The pipe's ends; the handler may use nothing else.
int signalPipe[2] = {-1, -1};

void onSignal(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a request; nothing more to say.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void setHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : HandledSignals)
        sigaction(signalNumber, &action, nullptr);
}
} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without a pipe the signals keep their default effect
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readSignals);
    setHandler(&onSignal);
}

QuitSignals::~QuitSignals() {
    if (m_notifier == nullptr)
        return;
    setHandler(SIG_DFL);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void QuitSignals::readSignals() {
    unsigned char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1)
        emit quitRequested(byte);
}

} // namespace norvane
