#include "FileManagerEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace norvane {

namespace {

constexpr QFileDevice::Permissions Executable =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
    QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;

// Neither file format can carry a line break or other control character.
bool isCarriable(const QString& executable) {
    return !executable.isEmpty() && std::none_of(executable.begin(), executable.end(),
                                                 [](QChar c) { return c.unicode() < 0x20; });
}

// An Exec key argument: quoted, with the characters the desktop entry
// format reserves inside quotes escaped; then backslashes and percent signs
// escaped once more, as the value itself requires.
QString execArgument(const QString& path) {
    QString quoted;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('%'), QLatin1String("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// A single-quoted shell word.
QString shellWord(const QString& text) {
    QString word = text;
    word.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + word + QLatin1Char('\'');
}

bool writeFile(const QString& path, const QByteArray& contents,
               QFileDevice::Permissions permissions) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return false;
    return file.commit() && QFile::setPermissions(path, permissions);
}

} // namespace

QString FileManagerEntry::defaultDataHome() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString FileManagerEntry::kf5ServiceMenuPath() const {
    return m_dataHome + QLatin1String("/kservices5/ServiceMenus/norvane-scan.desktop");
}

QString FileManagerEntry::kf6ServiceMenuPath() const {
    return m_dataHome + QLatin1String("/kio/servicemenus/norvane-scan.desktop");
}

QString FileManagerEntry::nautilusScriptPath() const {
    // Nautilus shows a script's file name as its menu entry and has no
    // accelerators, so the name is the verb without its marker.
    return m_dataHome + QLatin1String("/nautilus/scripts/") +
           QString::fromLatin1(FileManagerVerb).remove(QLatin1Char('&'));
}

QStringList FileManagerEntry::registerIfMissing(const QString& executable) const {
    QStringList written;
    if (!isCarriable(executable))
        return written;
    const QFileDevice::Permissions readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadGroup | QFileDevice::ReadOther;
    // KF6 only loads service menus of the user that are executable.
    const struct {
        QString path;
        QByteArray contents;
        QFileDevice::Permissions permissions;
    } files[] = {
        {kf5ServiceMenuPath(), serviceMenu(executable), readable},
        {kf6ServiceMenuPath(), serviceMenu(executable), Executable},
        {nautilusScriptPath(), nautilusScript(executable), Executable},
    };
    for (const auto& file : files) {
        // A dangling link counts as present: exists() reports it as absent.
        const QFileInfo info(file.path);
        if (info.exists() || info.isSymLink())
            continue;
        if (writeFile(file.path, file.contents, file.permissions))
            written << file.path;
    }
    return written;
}

QByteArray FileManagerEntry::serviceMenu(const QString& executable) {
    // The ampersand stays: Dolphin takes it as the accelerator marker and
    // underlines the letter after it.
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Service\n"
                          "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
                          "MimeType=all/all;\n"
                          "X-KDE-Protocols=smb,network\n"
                          "Actions=scanWithNorvane;\n"
                          "\n"
                          "[Desktop Action scanWithNorvane]\n"
                          "Name=%1\n"
                          "Icon=norvane\n"
                          "Exec=%2 %u\n")
        .arg(QLatin1String(FileManagerVerb), execArgument(executable))
        .toUtf8();
}

QByteArray FileManagerEntry::nautilusScript(const QString& executable) {
    // The program scans the whole network; the selected items are passed on
    // only because a started program is given them, and are not used.
    return QStringLiteral("#!/bin/sh\nexec %1 \"$@\"\n").arg(shellWord(executable)).toUtf8();
}

} // namespace norvane
