#pragma once

// The lab a test runs against: its folder, NORVANE_LAB_DIR where set (labs
// can run side by side), and the platform settings of its client.

#include "linux/LinuxPlatform.h"

#include <QProcessEnvironment>
#include <QString>

namespace norvane::test {

inline QString labDirOr(const QString& fallback) {
    const QByteArray dir = qgetenv("NORVANE_LAB_DIR");
    return dir.isEmpty() ? fallback : QString::fromLocal8Bit(dir);
}

// The client's smb.conf, so that the platform browses the lab alone.
inline LinuxPlatformSettings labClientSettings(const QString& labDir) {
    LinuxPlatformSettings settings;
    settings.smbConfigFile = (labDir + QStringLiteral("/client/smb.conf")).toStdString();
    return settings;
}

// The environment of the program as a script runs it: no display, no
// Wayland socket, no Qt platform forced, and `home` as its home.
inline QProcessEnvironment scriptEnvironment(const QString& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("HOME"), home);
    return environment;
}

} // namespace norvane::test
