// The file-manager entry: written once when missing, never updated.

#include "settings/FileManagerEntry.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace norvane;

class TestFileManagerEntry : public QObject {
    Q_OBJECT

private slots:
    void writesEveryMissingFile();
    void serviceMenuOffersTheVerbOnNetworkPlaces();
    void nautilusScriptStartsTheProgram();
    void existingFilesAreLeftAlone();
    void unwritableDataHomeIsSilent();
    void pathWithLineBreakWritesNothing();
};

static QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestFileManagerEntry::writesEveryMissingFile() {
    QTemporaryDir home;
    const FileManagerEntry entry(home.path());
    const QStringList written = entry.registerIfMissing(QStringLiteral("/opt/norvane/norvane"));
    QCOMPARE(written, (QStringList{entry.kf5ServiceMenuPath(), entry.kf6ServiceMenuPath(),
                                   entry.nautilusScriptPath()}));
    QCOMPARE(entry.kf5ServiceMenuPath(),
             home.path() + "/kservices5/ServiceMenus/norvane-scan.desktop");
    QCOMPARE(entry.kf6ServiceMenuPath(), home.path() + "/kio/servicemenus/norvane-scan.desktop");
    QCOMPARE(entry.nautilusScriptPath(), home.path() + "/nautilus/scripts/Scan with Norvane");
    // KF6 and Nautilus only run entries that are executable.
    QVERIFY(QFileInfo(entry.kf6ServiceMenuPath()).isExecutable());
    QVERIFY(QFileInfo(entry.nautilusScriptPath()).isExecutable());
    QCOMPARE(readAll(entry.kf5ServiceMenuPath()), readAll(entry.kf6ServiceMenuPath()));
}

void TestFileManagerEntry::serviceMenuOffersTheVerbOnNetworkPlaces() {
    QTemporaryDir home;
    const QString exe = QStringLiteral("/home/a user/50% \"odd\" $dir\\norvane");
    QVERIFY(!FileManagerEntry(home.path()).registerIfMissing(exe).isEmpty());
    QSettings menu(FileManagerEntry(home.path()).kf6ServiceMenuPath(), QSettings::IniFormat);
    menu.beginGroup(QStringLiteral("Desktop Entry"));
    QCOMPARE(menu.value("Type").toString(), QStringLiteral("Service"));
    QCOMPARE(menu.value("X-KDE-Protocols").toStringList(), (QStringList{"smb", "network"}));
    menu.endGroup();
    const QByteArray text = readAll(FileManagerEntry(home.path()).kf6ServiceMenuPath());
    QVERIFY(text.contains("\nName=Scan with Nor&vane\n"));
    // Quoted for the Exec key, then escaped once more as a string value.
    QVERIFY2(
        text.contains("\nExec=\"/home/a user/50%% \\\\\"odd\\\\\" \\\\$dir\\\\\\\\norvane\" %u\n"),
        text.constData());
}

void TestFileManagerEntry::nautilusScriptStartsTheProgram() {
    QTemporaryDir home;
    // A stand-in program that records the arguments it was started with.
    const QString program = home.filePath(QStringLiteral("it's norvane"));
    const QString record = home.filePath(QStringLiteral("args"));
    {
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nprintf '%s|' \"$@\" > \"$RECORD\"\n");
    }
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    const FileManagerEntry entry(home.path());
    QVERIFY(!entry.registerIfMissing(program).isEmpty());

    QProcess script;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("RECORD"), record);
    script.setProcessEnvironment(env);
    script.start(entry.nautilusScriptPath(), {QStringLiteral("smb://WORKGROUP/")});
    QVERIFY(script.waitForFinished(5000));
    QCOMPARE(script.exitCode(), 0);
    QCOMPARE(readAll(record), QByteArray("smb://WORKGROUP/|"));
}

void TestFileManagerEntry::existingFilesAreLeftAlone() {
    QTemporaryDir home;
    const FileManagerEntry entry(home.path());
    QVERIFY(!entry.registerIfMissing(QStringLiteral("/first/norvane")).isEmpty());
    QFile::remove(entry.kf5ServiceMenuPath());
    // A dangling link counts as present, as a file would.
    QVERIFY(QFile::link(home.filePath("nowhere"), entry.nautilusScriptPath() + ".tmp"));
    QFile::remove(entry.nautilusScriptPath());
    QVERIFY(QFile::rename(entry.nautilusScriptPath() + ".tmp", entry.nautilusScriptPath()));

    const QByteArray kf6Before = readAll(entry.kf6ServiceMenuPath());
    QCOMPARE(entry.registerIfMissing(QStringLiteral("/second/norvane")),
             QStringList{entry.kf5ServiceMenuPath()});
    QCOMPARE(readAll(entry.kf6ServiceMenuPath()), kf6Before);
    QVERIFY(kf6Before.contains("/first/norvane"));
    QVERIFY(readAll(entry.kf5ServiceMenuPath()).contains("/second/norvane"));
    QVERIFY(QFileInfo(entry.nautilusScriptPath()).isSymLink());
    QVERIFY(entry.registerIfMissing(QStringLiteral("/third/norvane")).isEmpty());
}

void TestFileManagerEntry::unwritableDataHomeIsSilent() {
    QTemporaryDir home;
    const QString blocked = home.filePath(QStringLiteral("blocked"));
    {
        QFile file(blocked); // a file where the directory would go
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(
        FileManagerEntry(blocked).registerIfMissing(QStringLiteral("/usr/bin/norvane")).isEmpty());
}

void TestFileManagerEntry::pathWithLineBreakWritesNothing() {
    QTemporaryDir home;
    const FileManagerEntry entry(home.path());
    QVERIFY(entry.registerIfMissing(QStringLiteral("/tmp/x\nExec=evil")).isEmpty());
    QVERIFY(entry.registerIfMissing(QString()).isEmpty());
    QVERIFY(!QFileInfo::exists(entry.kf5ServiceMenuPath()));
}

QTEST_GUILESS_MAIN(TestFileManagerEntry)
#include "tst_filemanagerentry.moc"
