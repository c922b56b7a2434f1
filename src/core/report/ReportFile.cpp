#include "ReportFile.h"

#include "common/AppError.h"
#include "common/WinErrors.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvane {

namespace {
constexpr mode_t NewFileMode = 0666; // narrowed by the user's umask

bool folderExists(const QString& path) {
    return QFileInfo(QFileInfo(path).absolutePath()).isDir();
}
} // namespace

QString ioErrorMessage(int code) {
    switch (code) {
    case win::FileNotFound:
        return QStringLiteral("File not found");
    case win::PathNotFound:
        return QStringLiteral("Invalid filename");
    case win::TooManyOpenFiles:
        return QStringLiteral("Too many open files");
    case win::AccessDenied:
        return QStringLiteral("File access denied");
    case win::DiskFull:
        return QStringLiteral("Disk full");
    default:
        return QStringLiteral("I/O error %1").arg(code);
    }
}

int ioErrorCode(int error, const QString& path) {
    switch (error) {
    case ENOENT:
        return folderExists(path) ? win::FileNotFound : win::PathNotFound;
    case ENOTDIR:
    case EISDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return win::PathNotFound;
    case EMFILE:
    case ENFILE:
        return win::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return win::AccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return win::DiskFull;
    case EBUSY:
    case EAGAIN:
        return win::SharingViolation;
    case ENETUNREACH:
        return win::NetUnreachable;
    case EIO:
        return win::IoDevice;
    default:
        return error;
    }
}

ReportFile::ReportFile(const QString& path, bool overwrite) : m_path(path) {
    const QByteArray name = QFile::encodeName(path);
    const int flags = overwrite ? (O_WRONLY | O_CREAT | O_TRUNC) : (O_WRONLY | O_APPEND);
    do {
        m_fd = ::open(name.constData(), flags | O_CLOEXEC, NewFileMode);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        fail(errno);
    if (!overwrite && ::lseek(m_fd, 0, SEEK_END) < 0) {
        const int error = errno;
        ::close(m_fd);
        m_fd = -1;
        fail(error);
    }
}

ReportFile::~ReportFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void ReportFile::write(const QByteArray& bytes) {
    const char* data = bytes.constData();
    auto left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (written == 0)
            fail(ENOSPC);
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

void ReportFile::close() {
    // A device or pipe cannot be synced (EINVAL); everything written has
    // then already been handed over.
    if (::fsync(m_fd) < 0 && errno != EINVAL && errno != EROFS)
        fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) < 0 && errno != EINTR)
        fail(errno);
}

void ReportFile::fail(int error) const {
    throw AppError(ioErrorMessage(ioErrorCode(error, m_path)));
}

} // namespace norvane
