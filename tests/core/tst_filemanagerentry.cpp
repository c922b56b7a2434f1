// The file-manager entry: written when missing or when the program it
// starts is gone, never updated otherwise; the Nautilus script acts on
// network locations only.

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
    void nautilusScriptStartsTheProgram_data();
    void nautilusScriptStartsTheProgram();
    void existingFilesAreLeftAlone();
    void entriesOfAGoneProgramAreWrittenAnew();
    void unwritableDataHomeIsSilent();
    void pathWithLineBreakWritesNothing();
};

static QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A stand-in program that records the arguments it was started with in the
// file named by $RECORD.
static QString stubProgram(const QTemporaryDir& dir, const QString& name) {
    const QString program = dir.filePath(name);
    QFile file(program);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("#!/bin/sh\nprintf '%s|' \"$@\" > \"$RECORD\"\n");
    file.close();
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    return program;
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

void TestFileManagerEntry::nautilusScriptStartsTheProgram_data() {
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("started");
    QTest::newRow("network folder shown") << ""
                                          << "smb://WORKGROUP/" << true;
    QTest::newRow("network item selected") << "network:///WORKGROUP\n"
                                           << "network:///" << true;
    QTest::newRow("local file selected") << "file:///home/u/x.png\n"
                                         << "smb://WORKGROUP/" << false;
    QTest::newRow("local folder shown") << ""
                                        << "file:///home/u/" << false;
}

void TestFileManagerEntry::nautilusScriptStartsTheProgram() {
    QFETCH(QString, selected);
    QFETCH(QString, shown);
    QFETCH(bool, started);
    QTemporaryDir home;
    const QString program = stubProgram(home, QStringLiteral("it's norvane"));
    const QString record = home.filePath(QStringLiteral("args"));
    const FileManagerEntry entry(home.path());
    QVERIFY(!entry.registerIfMissing(program).isEmpty());

    QProcess script;
    QProcessEnvironment env;
    env.insert(QStringLiteral("RECORD"), record);
    env.insert(QStringLiteral("PATH"),
               home.path()); // no message box tool: the message goes to stderr
    if (!selected.isEmpty())
        env.insert(QStringLiteral("NAUTILUS_SCRIPT_SELECTED_URIS"), selected);
    env.insert(QStringLiteral("NAUTILUS_SCRIPT_CURRENT_URI"), shown);
    script.setProcessEnvironment(env);
    script.start(entry.nautilusScriptPath(), {QStringLiteral("x")});
    QVERIFY(script.waitForFinished(5000));
    QCOMPARE(script.exitCode(), started ? 0 : 1);
    QCOMPARE(readAll(record), started ? QByteArray("x|") : QByteArray());
    QCOMPARE(script.readAllStandardError().contains("works on network locations"), !started);
}

void TestFileManagerEntry::existingFilesAreLeftAlone() {
    QTemporaryDir home;
    const QString first = stubProgram(home, QStringLiteral("first"));
    const QString second = stubProgram(home, QStringLiteral("second"));
    const FileManagerEntry entry(home.path());
    QVERIFY(!entry.registerIfMissing(first).isEmpty());
    QFile::remove(entry.kf5ServiceMenuPath());
    // A dangling link counts as present, as a file would.
    QVERIFY(QFile::link(home.filePath("nowhere"), entry.nautilusScriptPath() + ".tmp"));
    QFile::remove(entry.nautilusScriptPath());
    QVERIFY(QFile::rename(entry.nautilusScriptPath() + ".tmp", entry.nautilusScriptPath()));

    const QByteArray kf6Before = readAll(entry.kf6ServiceMenuPath());
    QCOMPARE(entry.registerIfMissing(second), QStringList{entry.kf5ServiceMenuPath()});
    QCOMPARE(readAll(entry.kf6ServiceMenuPath()), kf6Before);
    QVERIFY(kf6Before.contains(first.toUtf8()));
    QVERIFY(readAll(entry.kf5ServiceMenuPath()).contains(second.toUtf8()));
    QVERIFY(QFileInfo(entry.nautilusScriptPath()).isSymLink());
    QVERIFY(entry.registerIfMissing(stubProgram(home, QStringLiteral("third"))).isEmpty());
}

void TestFileManagerEntry::entriesOfAGoneProgramAreWrittenAnew() {
    // Entries first written from a build tree that was removed since, with
    // a name that needs every escape, are written anew for the program that
    // runs now; an entry of a form the program does not write stays.
    QTemporaryDir home;
    const QString gone = stubProgram(home, QStringLiteral("50% \"odd\" $dir\\it's gone"));
    const FileManagerEntry entry(home.path());
    QCOMPARE(entry.registerIfMissing(gone).size(), 3);
    QVERIFY(QFile::remove(gone));
    const QByteArray foreign = "[Desktop Entry]\nExec=norvane\n";
    {
        QFile kf5(entry.kf5ServiceMenuPath());
        QVERIFY(kf5.open(QIODevice::WriteOnly | QIODevice::Truncate));
        kf5.write(foreign);
    }

    const QString installed = stubProgram(home, QStringLiteral("installed"));
    QCOMPARE(entry.registerIfMissing(installed),
             (QStringList{entry.kf6ServiceMenuPath(), entry.nautilusScriptPath()}));
    QCOMPARE(readAll(entry.kf6ServiceMenuPath()), FileManagerEntry::serviceMenu(installed));
    QCOMPARE(readAll(entry.nautilusScriptPath()), FileManagerEntry::nautilusScript(installed));
    QCOMPARE(readAll(entry.kf5ServiceMenuPath()), foreign);
    QVERIFY(entry.registerIfMissing(gone).isEmpty()); // working entries stay
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
