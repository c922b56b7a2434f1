#pragma once

// The lab a test runs against: its folder, NORVANE_LAB_DIR where set (labs
// can run side by side), and the platform settings of its client.

#include "linux/LinuxPlatform.h"

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

} // namespace norvane::test
