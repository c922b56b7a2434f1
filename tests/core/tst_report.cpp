// The report block byte for byte, the file handling around it (new file,
// append, every failure and its message) and the Save / Save As commands.

#include "common/AppError.h"
#include "report/ReportFile.h"
#include "report/ReportWriter.h"
#include "report/SaveCommands.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace norvane;

namespace {

const QDateTime EveningTime(QDate(2026, 12, 8), QTime(20, 54, 11));
const QLocale UsLocale(QLocale::English, QLocale::UnitedStates);

const QStringList ComputerCaptions = columnCaptions(rtComputer);
const QStringList ShareCaptions = columnCaptions(rtSharedFolder);

ResultRow computer(const char* name, const char* ip, const char* comment, const char* mac) {
    return {QString::fromUtf8(name), imgComputer,
            QStringList{QString::fromUtf8(ip), QStringLiteral("WORKGROUP"),
                        QString::fromUtf8(comment), QString::fromUtf8(mac)}};
}

ResultRow share(const char* name, const char* group, const char* comment) {
    return {QString::fromUtf8(name), imgSharedFolder,
            QStringList{QString::fromUtf8(group), QString::fromUtf8(comment)}};
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QString saveError(const QString& path, bool overwrite) {
    try {
        SaveReport(path, overwrite, rtComputer, ComputerCaptions, {});
    } catch (const AppError& error) {
        return error.message();
    }
    return {};
}

// Lowers one resource limit for the lifetime of the object.
class ScopedLimit {
public:
    ScopedLimit(int resource, rlim_t soft) : m_resource(resource) {
        getrlimit(m_resource, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = soft;
        setrlimit(m_resource, &lowered);
    }
    ~ScopedLimit() { setrlimit(m_resource, &m_saved); }

private:
    int m_resource;
    rlimit m_saved{};
};

constexpr uid_t NobodyUid = 65534;

// Makes file permissions bind the superuser too for the lifetime of the
// object: a nonzero file-system user id drops the override capabilities.
// The files it is to meet belong to that user (see ownAsUnprivileged), so
// that only their own permission bits can stop a write.
class ScopedUnprivilegedFiles {
public:
    ScopedUnprivilegedFiles() : m_saved(geteuid()) {
        if (m_saved == 0)
            setfsuid(NobodyUid);
    }
    ~ScopedUnprivilegedFiles() {
        if (m_saved == 0)
            setfsuid(0);
    }

private:
    uid_t m_saved;
};

// Hands `path` to the user that ScopedUnprivilegedFiles acts as.
void ownAsUnprivileged(const QString& path) {
    if (geteuid() == 0)
        QCOMPARE(chown(QFile::encodeName(path).constData(), NobodyUid, gid_t(-1)), 0);
}

// A scripted user at the save dialog.
class ScriptedDialogs : public SaveDialogs {
public:
    std::optional<QString> answer;
    bool replaceAnswer = false;
    QStringList askedWith;
    QStringList replaceAsked;

    std::optional<QString> askFileName(const QString& initialName) override {
        askedWith << initialName;
        return answer;
    }
    bool confirmReplace(const QString& path) override {
        replaceAsked << path;
        return replaceAnswer;
    }
};

} // namespace

class ReportTest : public QObject {
    Q_OBJECT

private slots:
    void formatReport_data();
    void formatReport();
    void timestamp_data();
    void timestamp();
    void overwriteReplacesAppendAdds();
    void ioErrors_data();
    void ioErrors();
    void diskFullLeavesTheFileAsItWas_data();
    void diskFullLeavesTheFileAsItWas();
    void tooManyOpenFiles();
    void extensionRule_data();
    void extensionRule();
    void saveAsThenSavesCollectBlocks();
    void cancelTouchesNothing();
    void changedNameAsksBeforeReplacing_data();
    void changedNameAsksBeforeReplacing();
    void failedWriteKeepsChosenName();
    void stalledPipeYieldsToASignal();
};

void ReportTest::formatReport_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<ResultRows>("rows");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray computerHead =
        "\r\n"
        "*** Computers (12/8/2026 8:54:11 PM) ***\r\n"
        "\r\n"
        "Name              IP Address      Group           Comment                       "
        "                   MAC Address      \r\n"
        "================= =============== =============== ============================="
        "=================== =================\r\n";
    const QByteArray shareHead =
        "\r\n"
        "Name                                             Group           Comment        "
        "                                 \r\n"
        "================================================ =============== ==============="
        "=================================\r\n";
    const auto shareBlock = [&](const char* title) {
        return QByteArray("\r\n*** ") + title + " (12/8/2026 8:54:11 PM) ***\r\n" + shareHead;
    };

    QTest::newRow("computers")
        << int(rtComputer)
        << ResultRows{computer("\\\\SERVER1", "192.168.0.10", "File server", "00-11-22-33-44-55"),
                      computer("\\\\GHOST", "?.?.?.?", "", "?-?-?-?-?-?")}
        << computerHead +
               "\\\\SERVER1         192.168.0.10    WORKGROUP       File server                  "
               "                    00-11-22-33-44-55\r\n"
               "\\\\GHOST           ?.?.?.?         WORKGROUP                                    "
               "                    ?-?-?-?-?-?      \r\n";
    QTest::newRow("shared folders")
        << int(rtSharedFolder)
        << ResultRows{share("\\\\SERVER1\\public", "WORKGROUP", "Public files")}
        << shareBlock("Shared folders") +
               "\\\\SERVER1\\public                                 WORKGROUP       Public files "
               "                                   \r\n";
    QTest::newRow("empty printer list")
        << int(rtSharedPrinter) << ResultRows{} << shareBlock("Shared printers");
    QTest::newRow("long comment written whole")
        << int(rtComputer)
        << ResultRows{computer("\\\\SERVER1", "192.168.0.10", QByteArray(60, 'A').constData(),
                               "00-11-22-33-44-55")}
        << computerHead + "\\\\SERVER1         192.168.0.10    WORKGROUP       "
                          "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA "
                          "00-11-22-33-44-55\r\n";
    QTest::newRow("15-character name fills its field")
        << int(rtComputer)
        << ResultRows{computer("\\\\ABCDEFGHIJKLMNO", "10.0.0.1", "x", "00-11-22-33-44-55")}
        << computerHead +
               "\\\\ABCDEFGHIJKLMNO 10.0.0.1        WORKGROUP       x                            "
               "                    00-11-22-33-44-55\r\n";
    QTest::newRow("padded by display width: wide, combining, outside the basic plane")
        << int(rtSharedFolder)
        << ResultRows{share("\\\\MÜNCHEN\\Bücher", "東京", "Ärzte – Büro 😀 Cafe\u0301")}
        << shareBlock("Shared folders") +
               "\\\\M\xc3\x9cNCHEN\\B\xc3\xbc"
               "cher                                 \xe6\x9d\xb1\xe4\xba\xac"
               "            \xc3\x84rzte \xe2\x80\x93 B\xc3\xbcro \xf0\x9f\x98\x80 Cafe\xcc\x81"
               "                            \r\n";
    // Control, line-breaking and reordering characters from the network
    // neither end a line nor move a column nor reverse the line.
    QTest::newRow("hostile characters shown as replacements")
        << int(rtComputer)
        << ResultRows{computer("\\\\PC\tX", "10.0.0.1",
                               "a\tb\r\n\x1b[31m\u202Egnp.exe\u2028\u0085\x7f", "?-?-?-?-?-?")}
        << computerHead +
               QString::fromUtf16(u"\\\\PC\u2409X            10.0.0.1        WORKGROUP       "
                                  u"a\u2409b\u240d\u240a\u241b[31m\ufffdgnp.exe\ufffd\ufffd\u2421")
                   .toUtf8() +
               QByteArray(27, ' ') + " ?-?-?-?-?-?      \r\n";
}

void ReportTest::formatReport() {
    QFETCH(int, type);
    QFETCH(ResultRows, rows);
    QFETCH(QByteArray, expected);
    const auto resourceType = static_cast<TResourceType>(type);
    QCOMPARE(norvane::formatReport(resourceType, columnCaptions(resourceType), rows, EveningTime,
                                   UsLocale),
             expected);
}

void ReportTest::timestamp_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("expected");
    const QDateTime midnight(QDate(2026, 12, 8), QTime(0, 0, 5));
    QTest::newRow("12-hour clock keeps seconds and marker")
        << UsLocale << EveningTime << QStringLiteral("12/8/2026 8:54:11 PM");
    QTest::newRow("time present at midnight")
        << UsLocale << midnight << QStringLiteral("12/8/2026 12:00:05 AM");
    QTest::newRow("24-hour clock, year in four digits")
        << QLocale(QLocale::German, QLocale::Germany) << midnight
        << QStringLiteral("08.12.2026 00:00:05");
    QTest::newRow("year of another century")
        << UsLocale << QDateTime(QDate(1999, 1, 2), QTime(3, 4, 5))
        << QStringLiteral("1/2/1999 3:04:05 AM");
    QTest::newRow("zone token between other tokens removed")
        << QLocale(QLocale::Japanese, QLocale::Japan) << EveningTime
        << QString::fromUtf8("2026/12/08 20時54分11秒");
}

void ReportTest::timestamp() {
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, time);
    QFETCH(QString, expected);
    QCOMPARE(reportTimestamp(time, locale), expected);
}

void ReportTest::overwriteReplacesAppendAdds() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.nrv"));
    writeFile(path, "old contents\r\n");
    const QFileDevice::Permissions rights = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QVERIFY(QFile::setPermissions(path, rights));
    const ResultRows rows{share("\\\\A\\x", "G", "c")};

    SaveReport(path, true, rtSharedFolder, ShareCaptions, rows);
    QCOMPARE(QFile::permissions(path) & 0x7077, rights); // the replacement keeps the rights
    const QByteArray first = readAll(path);
    QVERIFY(first.startsWith("\r\n*** Shared folders ("));
    QVERIFY(!first.contains("old contents"));
    QVERIFY(first.endsWith("\\\\A\\x" + QByteArray(43, ' ') + " G" + QByteArray(15, ' ') + "c" +
                           QByteArray(47, ' ') + "\r\n"));

    SaveReport(path, false, rtSharedFolder, ShareCaptions, rows);
    const QByteArray both = readAll(path);
    QVERIFY(both.startsWith(first));
    // The second block starts with its empty line right after the last data line.
    QVERIFY(both.mid(first.size()).startsWith("\r\n*** Shared folders ("));
    QCOMPARE(both.count("*** Shared folders"), 2);
}

void ReportTest::ioErrors_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("unprivileged");
    QTest::newRow("append to a missing file")
        << "missing.nrv" << false << "File not found" << false;
    QTest::newRow("folder that does not exist")
        << "nowhere/report.nrv" << true << "Invalid filename" << false;
    QTest::newRow("append in a folder that does not exist")
        << "nowhere/report.nrv" << false << "Invalid filename" << false;
    QTest::newRow("name of a folder") << "folder" << true << "Invalid filename" << false;
    QTest::newRow("read-only file") << "readonly.nrv" << true << "File access denied" << true;
    QTest::newRow("read-only file, append")
        << "readonly.nrv" << false << "File access denied" << true;
    QTest::newRow("full device") << "/dev/full" << true << "Disk full" << false;
}

void ReportTest::ioErrors() {
    QFETCH(QString, fileName);
    QFETCH(bool, overwrite);
    QFETCH(QString, message);
    QFETCH(bool, unprivileged);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QString readOnly = dir.filePath(QStringLiteral("readonly.nrv"));
    writeFile(readOnly, "kept\r\n");
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));
    // The folder is writable for the user: only the file's mode refuses.
    ownAsUnprivileged(dir.path());
    ownAsUnprivileged(readOnly);

    const QString path = fileName.startsWith(QLatin1Char('/')) ? fileName : dir.filePath(fileName);
    {
        std::optional<ScopedUnprivilegedFiles> permissionsBind;
        if (unprivileged)
            permissionsBind.emplace();
        const QString error = saveError(path, overwrite);
        QCOMPARE(error, message);
        QCOMPARE(messageWithFullStop(error), message + QLatin1Char('.'));
    }
    // Nothing is created or changed by a failed save.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
             QStringList({"folder", "readonly.nrv"}));
    QCOMPARE(readAll(readOnly), QByteArray("kept\r\n"));
}

void ReportTest::diskFullLeavesTheFileAsItWas_data() {
    QTest::addColumn<bool>("existing");
    QTest::addColumn<bool>("overwrite");
    QTest::newRow("append") << true << false;
    QTest::newRow("replace an existing report") << true << true;
    QTest::newRow("new file") << false << true;
}

void ReportTest::diskFullLeavesTheFileAsItWas() {
    // A file size limit stands in for a file system that fills up during
    // the write: the kernel writes what fits, then refuses the rest.
    QFETCH(bool, existing);
    QFETCH(bool, overwrite);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.nrv"));
    const QByteArray earlier = "\r\n*** earlier block\r\n";
    if (existing)
        writeFile(path, earlier);
    const ResultRows rows(20, computer("\\\\PC", "10.0.0.1", "", "?-?-?-?-?-?"));
    constexpr rlim_t Limit = 1000;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QString message;
    {
        const ScopedLimit limit(RLIMIT_FSIZE, Limit);
        try {
            SaveReport(path, overwrite, rtComputer, ComputerCaptions, rows);
        } catch (const AppError& error) {
            message = error.message();
        }
    }
    std::signal(SIGXFSZ, previousHandler);
    QCOMPARE(message, QStringLiteral("Disk full"));
    // No part of the new block and nothing else is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             existing ? QStringList{QStringLiteral("report.nrv")} : QStringList{});
    if (!existing)
        return;
    QCOMPARE(readAll(path), earlier);
    // The next save with room adds one whole block right after the old text.
    SaveReport(path, false, rtComputer, ComputerCaptions, rows);
    const QByteArray after = readAll(path);
    QVERIFY(after.startsWith(earlier + "\r\n*** Computers ("));
    QCOMPARE(after.count("*** Computers"), 1);
    QCOMPARE(after.count("\\\\PC "), 20);
}

void ReportTest::tooManyOpenFiles() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.nrv"));
    QString message;
    {
        const ScopedLimit limit(RLIMIT_NOFILE, 3);
        message = saveError(path, true);
    }
    QCOMPARE(message, QStringLiteral("Too many open files"));
    QCOMPARE(ioErrorMessage(32), QStringLiteral("I/O error 32"));
}

void ReportTest::extensionRule_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no extension") << "/home/u/report"
                                  << "/home/u/report.nrv";
    QTest::newRow("other extension") << "/home/u/report.txt"
                                     << "/home/u/report.nrv";
    QTest::newRow("upper case kept") << "/home/u/report.NRV"
                                     << "/home/u/report.NRV";
    QTest::newRow("mixed case kept") << "/home/u/report.nRv"
                                     << "/home/u/report.nRv";
    QTest::newRow("last extension only") << "/home/u/list.old.txt"
                                         << "/home/u/list.old.nrv";
    QTest::newRow("dot in the folder name") << "/home/my.reports/list"
                                            << "/home/my.reports/list.nrv";
    QTest::newRow("bare dot at the end") << "/home/u/report."
                                         << "/home/u/report.nrv";
    QTest::newRow("longer extension") << "/home/u/report.nrvx"
                                      << "/home/u/report.nrv";
}

void ReportTest::extensionRule() {
    QFETCH(QString, chosen);
    QFETCH(QString, expected);
    QCOMPARE(withReportExtension(chosen), expected);
}

void ReportTest::saveAsThenSavesCollectBlocks() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    dialogs.answer = dir.filePath(QStringLiteral("report"));
    const ResultRows rows{computer("\\\\PC", "10.0.0.1", "", "?-?-?-?-?-?")};
    SaveCommands commands(dialogs, [&](const QString& fileName, bool overwrite) {
        SaveReport(fileName, overwrite, rtComputer, ComputerCaptions, rows);
    });

    commands.actSaveExecute(); // no file yet: runs Save As
    commands.actSaveExecute();
    commands.actSaveExecute();
    const QString report = dir.filePath(QStringLiteral("report.nrv"));
    // The first dialog's name box is empty: the pattern is the filter's.
    QCOMPARE(dialogs.askedWith, QStringList{QString()});
    QCOMPARE(commands.fileName(), report);
    QCOMPARE(readAll(report).count("*** Computers"), 3);

    // Save As onto the existing report leaves only the new block.
    dialogs.answer = report;
    commands.actSaveAsExecute();
    QCOMPARE(dialogs.askedWith.last(), report);
    QCOMPARE(readAll(report).count("*** Computers"), 1);
    QVERIFY(dialogs.replaceAsked.isEmpty());

    // A remembered file deleted since: "File not found", nothing created.
    QVERIFY(QFile::remove(report));
    QVERIFY_THROWS_EXCEPTION(AppError, commands.actSaveExecute());
    QVERIFY(!QFile::exists(report));
    QCOMPARE(commands.fileName(), report);
}

void ReportTest::cancelTouchesNothing() {
    ScriptedDialogs dialogs;
    int writes = 0;
    SaveCommands commands(dialogs, [&](const QString&, bool) { ++writes; });
    commands.actSaveAsExecute();
    commands.actSaveExecute();
    QCOMPARE(dialogs.askedWith.size(), 2);
    QCOMPARE(writes, 0);
    QVERIFY(commands.fileName().isEmpty());
}

void ReportTest::changedNameAsksBeforeReplacing_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("written");
    QTest::newRow("changed name, replace") << "old.txt" << true << true << true;
    QTest::newRow("changed name, keep") << "old.txt" << false << true << false;
    QTest::newRow("same name: dialog already asked") << "old.nrv" << false << false << true;
    QTest::newRow("changed name, no such file") << "new" << false << false << true;
}

void ReportTest::changedNameAsksBeforeReplacing() {
    QFETCH(QString, chosen);
    QFETCH(bool, replace);
    QFETCH(bool, asked);
    QFETCH(bool, written);
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("old.nrv")), "old");
    const QString previous = dir.filePath(QStringLiteral("previous.nrv"));

    ScriptedDialogs dialogs;
    QStringList writes;
    SaveCommands commands(dialogs, [&](const QString& fileName, bool overwrite) {
        QVERIFY(overwrite);
        writes << fileName;
    });
    dialogs.answer = previous;
    commands.actSaveAsExecute();
    writes.clear();

    dialogs.answer = dir.filePath(chosen);
    dialogs.replaceAnswer = replace;
    commands.actSaveAsExecute();
    const QString target = withReportExtension(dir.filePath(chosen));
    QCOMPARE(dialogs.replaceAsked, asked ? QStringList{target} : QStringList{});
    QCOMPARE(writes, written ? QStringList{target} : QStringList{});
    // Declining is a cancel: the earlier file stays the current one.
    QCOMPARE(commands.fileName(), written ? target : previous);
}

void ReportTest::failedWriteKeepsChosenName() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    const QString bad = dir.filePath(QStringLiteral("nowhere/report"));
    dialogs.answer = bad;
    SaveCommands commands(dialogs, [&](const QString& fileName, bool overwrite) {
        SaveReport(fileName, overwrite, rtComputer, ComputerCaptions, {});
    });
    try {
        commands.actSaveAsExecute();
        QFAIL("the write into a missing folder succeeded");
    } catch (const AppError& error) {
        QCOMPARE(error.message(), QStringLiteral("Invalid filename"));
    }
    QCOMPARE(commands.fileName(), bad + QStringLiteral(".nrv"));
}

namespace {
std::atomic<bool> alarmRang{false};
extern "C" void ringAlarm(int) {
    alarmRang = true;
}
} // namespace

// A pipe whose reader takes nothing: writing waits for room, but a signal
// that asks to stop ends the wait (no restart hides it) and the writing
// fails, rather than the program hanging until the reader reads.
void ReportTest::stalledPipeYieldsToASignal() {
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    struct sigaction action {};
    action.sa_handler = ringAlarm;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // as the command line's handler
    struct sigaction previous {};
    QCOMPARE(::sigaction(SIGALRM, &action, &previous), 0);
    alarmRang = false;
    bool failed = false;
    {
        ReportFile file(QFile::decodeName(fifo), true);
        file.setInterruption([] { return alarmRang.load(); });
        ::alarm(1);
        try {
            // More than a pipe holds.
            file.write(QByteArray(4 * 1024 * 1024, 'x'));
        } catch (const AppError&) {
            failed = true;
        }
    }
    ::alarm(0);
    ::sigaction(SIGALRM, &previous, nullptr);
    ::close(reader);
    QVERIFY(alarmRang);
    QVERIFY(failed);
}

QTEST_MAIN(ReportTest)
#include "tst_report.moc"
