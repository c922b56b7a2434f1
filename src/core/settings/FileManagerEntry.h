#pragma once

// The "Scan with Nor&vane" entry of the file managers' context menus: a
// Dolphin service menu offered on the smb:/ and network:/ places (in the
// KF5 and the KF6 location) and a Nautilus script. Each file is written
// when it is missing, or when the program it starts no longer exists (an
// entry first written from a build tree, or by a copy since removed); an
// entry that still starts a program is never updated or removed.

#include <QString>
#include <QStringList>

#include <utility>

namespace norvane {

inline constexpr const char* FileManagerVerb = "Scan with Nor&vane";

class FileManagerEntry {
public:
    // dataHome: the user's data directory (~/.local/share).
    explicit FileManagerEntry(QString dataHome) : m_dataHome(std::move(dataHome)) {}

    static QString defaultDataHome();

    // The files of the entry, under the data directory.
    QString kf5ServiceMenuPath() const;
    QString kf6ServiceMenuPath() const;
    QString nautilusScriptPath() const;

    // Writes every missing file and every file whose program is gone, each
    // starting `executable`; returns the files written. Failures (no rights, a path the files
    // cannot carry) are silent: the entry is a convenience, the program runs without it.
    QStringList registerIfMissing(const QString& executable) const;

    // The files' contents.
    static QByteArray serviceMenu(const QString& executable);
    static QByteArray nautilusScript(const QString& executable);

private:
    QString m_dataHome;
};

} // namespace norvane
