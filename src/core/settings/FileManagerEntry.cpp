#include "FileManagerEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

namespace norvane {

namespace {

// An entry this program wrote is a few hundred bytes.
constexpr qint64 MaxEntrySize = 64 * 1024;

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

// Undoes the escapes of a desktop entry string value.
QString unescapedValue(const QString& value) {
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            text += c;
            continue;
        }
        const QChar escaped = value.at(++i);
        const char16_t plain = escaped == QLatin1Char('s')   ? u' '
                               : escaped == QLatin1Char('n') ? u'\n'
                               : escaped == QLatin1Char('t') ? u'\t'
                               : escaped == QLatin1Char('r') ? u'\r'
                                                             : escaped.unicode();
        text += QChar(plain);
    }
    return text;
}

// The program of a service menu's Exec key, as execArgument() wrote it.
std::optional<QString> serviceMenuProgram(const QString& contents) {
    constexpr QLatin1StringView ExecKey("Exec=");
    for (const QString& line : contents.split(QLatin1Char('\n'))) {
        if (!line.startsWith(ExecKey))
            continue;
        const QString command = unescapedValue(line.mid(ExecKey.size()));
        if (!command.startsWith(QLatin1Char('"')))
            return std::nullopt;
        QString program;
        for (qsizetype i = 1; i < command.size(); ++i) {
            QChar c = command.at(i);
            if (c == QLatin1Char('"'))
                return program.replace(QLatin1String("%%"), QLatin1String("%"));
            if (c == QLatin1Char('\\') && i + 1 < command.size())
                c = command.at(++i);
            program += c;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

// The program the Nautilus script hands over to, as shellWord() wrote it.
std::optional<QString> scriptProgram(const QString& contents) {
    constexpr QLatin1StringView Exec("exec '");
    const qsizetype start = contents.indexOf(Exec);
    if (start < 0)
        return std::nullopt;
    QString program;
    bool quoted = false;
    for (qsizetype i = start + Exec.size() - 1; i < contents.size(); ++i) {
        const QChar c = contents.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('\\') && i + 1 < contents.size())
            program += contents.at(++i);
        else if (!quoted && c.isSpace())
            return program;
        else
            program += c;
    }
    return std::nullopt;
}

// An entry is left alone unless it can be read back and the program it
// starts is gone: a copy that was moved, or a build tree since removed.
bool startsMissingProgram(const QString& path, bool script) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString contents = QString::fromUtf8(file.read(MaxEntrySize));
    const std::optional<QString> program =
        script ? scriptProgram(contents) : serviceMenuProgram(contents);
    if (!program)
        return false;
    const QFileInfo info(*program);
    return !(info.isFile() && info.isExecutable());
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
        bool script;
    } files[] = {
        {kf5ServiceMenuPath(), serviceMenu(executable), readable, false},
        {kf6ServiceMenuPath(), serviceMenu(executable), Executable, false},
        {nautilusScriptPath(), nautilusScript(executable), Executable, true},
    };
    for (const auto& file : files) {
        // A dangling link counts as present: exists() reports it as absent.
        const QFileInfo info(file.path);
        if ((info.exists() || info.isSymLink()) && !startsMissingProgram(file.path, file.script))
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
    // Nautilus offers a script on every file and folder; it acts on network
    // locations only (the selection, or the folder shown when nothing is
    // selected) and says so elsewhere, in a box where one can be shown. The
    // program scans the whole network; the selected items are passed on only
    // because a started program is given them, and are not used.
    return QStringLiteral(
               "#!/bin/sh\n"
               "location=${NAUTILUS_SCRIPT_SELECTED_URIS:-$NAUTILUS_SCRIPT_CURRENT_URI}\n"
               "case $location in\n"
               "smb:* | network:*) exec %1 \"$@\" ;;\n"
               "esac\n"
               "message='Scan with Norvane works on network locations (smb:// or network://).'\n"
               "if command -v zenity >/dev/null 2>&1; then\n"
               "    exec zenity --info --title=Norvane --text=\"$message\"\n"
               "elif command -v notify-send >/dev/null 2>&1; then\n"
               "    exec notify-send Norvane \"$message\"\n"
               "fi\n"
               "echo \"$message\" >&2\n"
               "exit 1\n")
        .arg(shellWord(executable))
        .toUtf8();
}

} // namespace norvane
