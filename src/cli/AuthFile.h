#pragma once

// The credentials of an authentication file in the format of Samba's tools:
// lines "username = NAME", "password = SECRET" and "domain = DOMAIN", blank
// lines and lines starting with "#" or ";" between them. The file holds a
// password, so one that its group or other users can read is refused.

#include <QByteArray>
#include <QString>

namespace norvane {

struct AuthFileCredentials {
    QString user;
    QString domain;
    QByteArray password; // UTF-8

    AuthFileCredentials() = default;
    AuthFileCredentials(const AuthFileCredentials&) = default;
    AuthFileCredentials& operator=(const AuthFileCredentials&) = default;
    ~AuthFileCredentials() { password.fill('\0'); }
};

class AuthFile {
public:
    // Longer files are no authentication files.
    static constexpr qint64 MaxBytes = 64 * 1024;

    // Reads and checks the file; throws AppError with a message that names
    // the file and what is wrong with it.
    static AuthFileCredentials read(const QString& path);

    // The credentials in the text of a file; throws AppError naming the line
    // that is not understood. A user name written DOMAIN\NAME or DOMAIN/NAME
    // gives the domain when no domain line does.
    static AuthFileCredentials parse(const QByteArray& text);
};

} // namespace norvane
