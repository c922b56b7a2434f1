#include "Console.h"

#include "common/AppError.h"
#include "report/ReportFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace norvane {

namespace {
// Writes everything; returns the errno of a failure, 0 on success. Before
// each piece it waits until the file takes one: a pipe whose reader is slow
// blocks in poll(), which a signal always ends (it is never restarted), so
// that a stop request for which `interrupted` returns true ends the writing
// (EINTR). A piece of at most PIPE_BUF bytes fits a pipe that polls
// writable without blocking.
int writeAll(int fd, const QByteArray& bytes, const std::function<bool()>& interrupted) {
    const char* data = bytes.constData();
    auto left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        pollfd ready{.fd = fd, .events = POLLOUT, .revents = 0};
        if (::poll(&ready, 1, -1) < 0) {
            if (errno != EINTR)
                return errno;
            if (interrupted && interrupted())
                return EINTR;
            continue;
        }
        const ssize_t written = ::write(fd, data, std::min<std::size_t>(left, PIPE_BUF));
        if (written < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return ENOSPC;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return 0;
}
} // namespace

ProcessConsole::ProcessConsole(std::function<bool()> interrupted)
    : m_interrupted(std::move(interrupted)) {}

void ProcessConsole::writeOutput(const QByteArray& bytes) {
    if (const int error = writeAll(STDOUT_FILENO, bytes, m_interrupted))
        throw AppError(ioErrorMessage(ioErrorCode(error, QString())));
}

void ProcessConsole::writeError(const QString& text) {
    // Nothing is left to tell about a standard error that cannot be written.
    writeAll(STDERR_FILENO, text.toLocal8Bit(), m_interrupted);
}

bool ProcessConsole::errorIsTerminal() const {
    return ::isatty(STDERR_FILENO) == 1;
}

int ProcessConsole::errorColumns() const {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

} // namespace norvane
