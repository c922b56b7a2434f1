#include "Console.h"

#include "common/AppError.h"
#include "report/ReportFile.h"

#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

namespace norvane {

namespace {
// Writes everything; returns the errno of a failure, 0 on success.
int writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    auto left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR)
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

void ProcessConsole::writeOutput(const QByteArray& bytes) {
    if (const int error = writeAll(STDOUT_FILENO, bytes))
        throw AppError(ioErrorMessage(ioErrorCode(error, QString())));
}

void ProcessConsole::writeError(const QString& text) {
    // Nothing is left to tell about a standard error that cannot be written.
    writeAll(STDERR_FILENO, text.toLocal8Bit());
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
