#include "ReportFile.h"

#include "common/AppError.h"
#include "common/WinErrors.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvane {

namespace {
constexpr mode_t NewFileMode = 0666; // narrowed by the user's umask
constexpr mode_t AllPermissionBits = 07777;
// Hidden, short (so that any name the folder can hold also fits) and
// recognisable when a crash leaves one behind.
constexpr const char* TemporaryPrefix = ".norvane-";
constexpr const char* TemporarySuffix = ".tmp";
constexpr int TemporaryNameAttempts = 100;
// As many links as the kernel follows in one path.
constexpr int LinkHopLimit = 40;

int openRetrying(const char* name, int flags, mode_t mode = 0) {
    int fd = -1;
    do {
        fd = ::open(name, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

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
    case win::PipeNotConnected:
        return QStringLiteral("No program reads from the pipe");
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
    case ENXIO:
        return win::PipeNotConnected;
    default:
        return error;
    }
}

ReportFile::ReportFile(const QString& path, bool overwrite)
    : m_path(path), m_target(QFile::encodeName(path)) {
    if (overwrite)
        openForReplacing();
    else
        openForAppending();
}

ReportFile::~ReportFile() {
    rollBack();
}

void ReportFile::openForReplacing() {
    struct stat existing {};
    if (::stat(m_target.constData(), &existing) != 0) {
        if (errno != ENOENT)
            fail(errno);
        // A link to a file not made yet is written through, as a link to an
        // existing report is: the new file appears where the link points.
        followDanglingLink();
        // A new file appears only once it is complete.
        createTemporary(NewFileMode, false);
        return;
    }
    if (!S_ISREG(existing.st_mode)) {
        // A device or pipe is written in place; a folder fails to open.
        openDirectly(O_WRONLY | O_CREAT | O_TRUNC);
        return;
    }
    // The rights to the file itself decide, as for writing it in place, not
    // only the rights to its folder that the rename needs.
    const int probe = openRetrying(m_target.constData(), O_WRONLY);
    if (probe < 0)
        fail(errno);
    ::close(probe);
    // A link keeps pointing at the report: its target is what is replaced.
    if (char* resolved = ::realpath(m_target.constData(), nullptr)) {
        m_target = resolved;
        std::free(resolved);
    }
    createTemporary(existing.st_mode & AllPermissionBits, true);
}

void ReportFile::followDanglingLink() {
    for (int hop = 0; hop < LinkHopLimit; ++hop) {
        struct stat link {};
        if (::lstat(m_target.constData(), &link) != 0 || !S_ISLNK(link.st_mode))
            return;
        QByteArray pointee(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(m_target.constData(), pointee.data(),
                                          static_cast<std::size_t>(pointee.size()));
        if (length < 0 || length >= pointee.size())
            fail(length < 0 ? errno : ENAMETOOLONG);
        pointee.truncate(length);
        // A relative link is read from the link's own folder.
        const qsizetype slash = m_target.lastIndexOf('/');
        m_target =
            pointee.startsWith('/') || slash < 0 ? pointee : m_target.left(slash + 1) + pointee;
    }
    fail(ELOOP);
}

void ReportFile::openForAppending() {
    openDirectly(O_WRONLY | O_APPEND);
    struct stat opened {};
    if (::fstat(m_fd, &opened) == 0 && S_ISREG(opened.st_mode))
        m_appendedFrom = opened.st_size;
}

void ReportFile::openDirectly(int flags) {
    // Without O_NONBLOCK, opening a pipe that nobody reads waits for a reader
    // for ever; with it, the open fails at once (ENXIO). Regular files
    // ignore the flag.
    m_fd = openRetrying(m_target.constData(), flags | O_NONBLOCK, NewFileMode);
    if (m_fd < 0)
        fail(errno);
}

void ReportFile::waitWritable() {
    pollfd ready{.fd = m_fd, .events = POLLOUT, .revents = 0};
    if (::poll(&ready, 1, -1) < 0 && errno == EINTR && m_interrupted && m_interrupted())
        fail(EINTR);
}

void ReportFile::createTemporary(mode_t mode, bool exactMode) {
    const qsizetype slash = m_target.lastIndexOf('/');
    const QByteArray folder = slash >= 0 ? m_target.left(slash + 1) : QByteArray("./");
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        const QByteArray name = folder + TemporaryPrefix +
                                QByteArray::number(QRandomGenerator::global()->generate(), 16) +
                                TemporarySuffix;
        const int fd = openRetrying(name.constData(), O_WRONLY | O_CREAT | O_EXCL, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            fail(errno);
        }
        m_fd = fd;
        m_temporary = name;
        // The replacement keeps the old file's rights rather than the umask's.
        if (exactMode && ::fchmod(m_fd, mode) != 0)
            fail(errno);
        return;
    }
    fail(EEXIST);
}

void ReportFile::write(const QByteArray& bytes) {
    const char* data = bytes.constData();
    auto left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            // A pipe or device opened without blocking that takes no more
            // for now.
            if (errno == EAGAIN) {
                waitWritable();
                continue;
            }
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
    if (!m_temporary.isEmpty()) {
        if (::rename(m_temporary.constData(), m_target.constData()) != 0)
            fail(errno);
        m_temporary.clear();
    }
    m_appendedFrom = -1;
}

void ReportFile::rollBack() {
    // When cutting back fails too, the error that stopped the writing is
    // still the one the user is told.
    if (m_fd >= 0) {
        if (m_appendedFrom >= 0) {
            [[maybe_unused]] const int cut = ::ftruncate(m_fd, m_appendedFrom);
        }
        ::close(m_fd);
        m_fd = -1;
    } else if (m_appendedFrom >= 0) {
        [[maybe_unused]] const int cut = ::truncate(m_target.constData(), m_appendedFrom);
    }
    m_appendedFrom = -1;
    if (!m_temporary.isEmpty()) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
    }
}

void ReportFile::fail(int error) {
    rollBack();
    throw AppError(ioErrorMessage(ioErrorCode(error, m_path)));
}

} // namespace norvane
