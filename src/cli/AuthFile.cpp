#include "AuthFile.h"

#include "common/AppError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvane {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

[[noreturn]] void refuse(const QString& path, const QString& reason) {
    throw AppError(QStringLiteral("Authentication file %1: %2").arg(path, reason));
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

AuthFileCredentials AuthFile::read(const QString& path) {
    // The checks look at the file that is read, not at a name that could be
    // replaced between the look and the read.
    FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        refuse(path, systemError(errno));
    struct stat status {};
    if (::fstat(fd.get(), &status) < 0)
        refuse(path, systemError(errno));
    if (!S_ISREG(status.st_mode))
        refuse(path, QStringLiteral("not a regular file"));
    if (status.st_mode & (S_IRGRP | S_IROTH))
        refuse(path, QStringLiteral("other users can read it; allow only its owner (chmod 600)"));
    if (status.st_size > MaxBytes)
        refuse(path, QStringLiteral("longer than %1 bytes").arg(MaxBytes));
    QByteArray text(static_cast<qsizetype>(status.st_size), '\0');
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t got =
            ::read(fd.get(), text.data() + done, static_cast<std::size_t>(text.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            refuse(path, systemError(errno));
        if (got == 0)
            break;
        done += got;
    }
    text.truncate(done);
    try {
        AuthFileCredentials credentials = parse(text);
        text.fill('\0');
        return credentials;
    } catch (const AppError& error) {
        text.fill('\0');
        refuse(path, error.message());
    }
}

AuthFileCredentials AuthFile::parse(const QByteArray& text) {
    AuthFileCredentials credentials;
    bool domainGiven = false;
    bool userGiven = false;
    int lineNumber = 0;
    for (const QByteArray& rawLine : text.split('\n')) {
        ++lineNumber;
        QByteArray line = rawLine;
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#') || trimmed.startsWith(';'))
            continue;
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = equals < 0 ? QByteArray() : line.left(equals).trimmed().toLower();
        // As Samba's tools read it: the value starts after the blanks that
        // follow "=" and keeps everything else, so a password may end in a
        // blank.
        QByteArray value = equals < 0 ? QByteArray() : line.mid(equals + 1);
        while (value.startsWith(' ') || value.startsWith('\t'))
            value.remove(0, 1);
        if (key == "username") {
            credentials.user = QString::fromUtf8(value).trimmed();
            userGiven = true;
        } else if (key == "password") {
            credentials.password.fill('\0');
            credentials.password = value;
        } else if (key == "domain") {
            credentials.domain = QString::fromUtf8(value).trimmed();
            domainGiven = true;
        } else {
            throw AppError(QStringLiteral("line %1 is not \"username = ...\", \"password = "
                                          "...\" or \"domain = ...\"")
                               .arg(lineNumber));
        }
    }
    if (!userGiven || credentials.user.isEmpty())
        throw AppError(QStringLiteral("no \"username = ...\" line"));
    qsizetype separator = credentials.user.indexOf(QLatin1Char('\\'));
    if (separator < 0)
        separator = credentials.user.indexOf(QLatin1Char('/'));
    if (separator > 0) {
        if (!domainGiven)
            credentials.domain = credentials.user.left(separator);
        credentials.user = credentials.user.mid(separator + 1);
    }
    return credentials;
}

} // namespace norvane
