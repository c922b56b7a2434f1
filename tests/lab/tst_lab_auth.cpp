// Share listing behind a log-on, against the auth lab: a server that
// refuses anonymous listing and takes the lab user. The log-on decides the
// listing; a scan with the prompt answered lists the locked shares; a wrong
// password costs the server's log exactly one failed log-on; a Kerberos
// credential cache that fits no server falls back to the anonymous log-on
// with no prompt; the password reaches no log line or report. Runs inside
// the auth lab's client namespace (lab-ctest.sh auth run).

#include "KerberosCache.h"
#include "LabClient.h"
#include "LogOnLab.h"
#include "core/RecordingOutput.h"
#include "linux/LinuxPlatform.h"
#include "report/ReportWriter.h"
#include "scan/HostIdentity.h"
#include "scan/LogOnPolicy.h"
#include "scan/ScanWorker.h"

#include <QDir>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace norvane;

namespace {

// As lab.sh makes them.
constexpr const char* LabUser = "labuser";
constexpr const char* LabPassword = "Lab-User-Pass-7";
constexpr const char* LabGroup = "LABAUTH";
constexpr const char* LockedServer = "\\\\LABLOCK";
constexpr int LockedHostIndex = 2;
constexpr const char* OpenServer = "\\\\LABOPEN";
constexpr int ProgramTimeoutMs = 60000;
constexpr const char* NoRealmPrincipal = "labuser@NO-SUCH-REALM.NORVANE.TEST";

QString labDir() {
    return test::labDirOr(QStringLiteral("/tmp/norvane-lab-auth"));
}

Credentials labUser(const char* password) {
    return {LabUser, LabGroup, SecretText(password)};
}

// Log-ons of the lab user that the locked server refused, from its log.
int failedLogOns() {
    int failed = 0;
    const QDir logs(labDir() + QStringLiteral("/h%1/log").arg(LockedHostIndex));
    for (const QString& name : logs.entryList({QStringLiteral("*.log")}, QDir::Files)) {
        QFile file(logs.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.contains("Auth: [") && line.contains("\\[labuser]") &&
                !line.contains("status [NT_STATUS_OK]"))
                ++failed;
        }
    }
    return failed;
}

// Answers the scan's one prompt with `answer`; nothing is remembered.
class AnsweringSource : public CredentialSource {
public:
    explicit AnsweringSource(std::optional<CredentialAnswer> answer)
        : m_answer(std::move(answer)) {}
    QStringList requests;
    QStringList remembers;

    std::optional<Credentials> remembered(const QString&) override { return std::nullopt; }
    std::optional<CredentialAnswer> ask(const CredentialRequest& request) override {
        requests << request.computer + QLatin1Char(' ') + request.group;
        return m_answer;
    }
    void remember(const QString& group, const Credentials& credentials) override {
        remembers << group + QLatin1Char(' ') + QString::fromStdString(credentials.user);
    }

private:
    std::optional<CredentialAnswer> m_answer;
};

// Lists the shares of one server through `platform`: the result of the
// first call and the share names.
std::pair<DWORD, QStringList> listShares(NetworkPlatform& platform, const char* server) {
    NetResource container;
    container.remoteName = server;
    EnumHandle handle = 0;
    DWORD result = platform.openEnum(RESOURCE_GLOBALNET, RESOURCETYPE_DISK,
                                     RESOURCEUSAGE_CONNECTABLE, &container, &handle);
    QStringList names;
    if (result != win::NoError)
        return {result, names};
    std::vector<NetResource> batch;
    DWORD count = EnumAllEntries;
    DWORD size = static_cast<DWORD>(EnumBufferSize);
    result = platform.enumResource(handle, &count, &batch, &size);
    platform.closeEnum(handle);
    for (const NetResource& share : batch)
        names << QString::fromStdString(share.remoteName.value_or(""));
    names.sort();
    return {result, names};
}

} // namespace

Q_DECLARE_METATYPE(std::optional<Credentials>)

class TestLabAuth : public QObject {
    Q_OBJECT

private:
    static LinuxPlatformSettings settings() { return test::labClientSettings(labDir()); }

private slots:
    void initTestCase() {
        // Every diagnostic on, so that a password in any of them would show.
        test::captureDiagnostics();
    }

    void logOnDecidesListing_data() {
        QTest::addColumn<std::optional<Credentials>>("logOn");
        QTest::addColumn<QStringList>("refusals"); // the codes that may answer; empty: listed
        const QStringList refused{QString::number(win::AccessDenied),
                                  QString::number(win::LogonFailure)};
        QTest::newRow("anonymous") << std::optional<Credentials>() << refused;
        QTest::newRow("lab user") << std::optional(labUser(LabPassword)) << QStringList();
        QTest::newRow("wrong password") << std::optional(labUser("not-the-password"))
                                        << QStringList{QString::number(win::LogonFailure)};
        QTest::newRow("unknown user")
            << std::optional(Credentials{"nobody-here", LabGroup, SecretText(LabPassword)})
            << QStringList{QString::number(win::LogonFailure)};
    }
    void logOnDecidesListing() {
        QFETCH(std::optional<Credentials>, logOn);
        QFETCH(QStringList, refusals);
        LinuxPlatform platform(settings());
        platform.setLogOn(logOn);
        const auto [result, names] = listShares(platform, LockedServer);
        if (refusals.isEmpty()) {
            QCOMPARE(result, win::NoError);
            QCOMPARE(names, (QStringList{"\\\\LABLOCK\\private", "\\\\LABLOCK\\team"}));
        } else {
            QVERIFY2(refusals.contains(QString::number(result)),
                     qPrintable(QString::number(result)));
        }
    }

    void ticketThatFitsNothingFallsBack() {
        QTemporaryDir dir;
        const QByteArray cache = "FILE:" + dir.filePath(QStringLiteral("ccache")).toLocal8Bit();
        qputenv("KRB5CCNAME", cache);
        QVERIFY(test::cacheWithoutTickets(cache, NoRealmPrincipal));
        QVERIFY(cachedKerberosPrincipal());

        LinuxPlatform platform(settings());
        AnsweringSource nobody(std::nullopt);
        LogOnPolicy policy(platform, &nobody);
        const auto listThrough = [&](const char* server, QStringList& names) {
            return policy.list(QString::fromLatin1(server), QString::fromLatin1(LabGroup), [&] {
                auto listed = listShares(platform, server);
                names = listed.second;
                return listed.first;
            });
        };
        QStringList open;
        QCOMPARE(listThrough(OpenServer, open), win::NoError);
        QCOMPARE(open, QStringList{"\\\\LABOPEN\\pub"});
        QVERIFY(nobody.requests.isEmpty());
        // The locked server refuses the ticket and the anonymous log-on; the
        // scan's one prompt comes (here cancelled).
        QStringList locked;
        QVERIFY(LogOnPolicy::isRefusal(listThrough(LockedServer, locked)));
        QCOMPARE(nobody.requests, QStringList{"\\\\LABLOCK LABAUTH"});
        qunsetenv("KRB5CCNAME");
    }

    void promptAnsweredListsLockedShares() {
        AnsweringSource source(CredentialAnswer{labUser(LabPassword), true});
        const test::RecordingOutput output = test::scanLabFolders(labDir(), &source);
        QCOMPARE(test::sortedCaptions(output.rows),
                 (QStringList{"\\\\LABLOCK\\private", "\\\\LABLOCK\\team", "\\\\LABOPEN\\pub"}));
        QCOMPARE(source.requests, QStringList{"\\\\LABLOCK LABAUTH"});
        QCOMPARE(source.remembers, QStringList{"LABAUTH labuser"});
        QVERIFY(output.errors.isEmpty());

        // The report of that scan carries no secret either.
        QTemporaryDir dir;
        const QString report = dir.filePath(QStringLiteral("shares.txt"));
        SaveReport(report, true, rtSharedFolder, {"Name", "Group", "Comment"}, output.rows);
        QFile file(report);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("\\\\LABLOCK\\private"));
        QVERIFY(!text.contains(LabPassword));
    }

    void wrongPasswordCostsOneFailedLogOn() {
        const int before = failedLogOns();
        AnsweringSource source(CredentialAnswer{labUser("Lab-User-Pass-8"), true});
        const test::RecordingOutput output = test::scanLabFolders(labDir(), &source);
        QCOMPARE(test::sortedCaptions(output.rows), QStringList{"\\\\LABOPEN\\pub"});
        // The locked server is missing from the result, and the walk says so.
        QCOMPARE(output.refusedLogOns, QStringList{"\\\\LABLOCK"});
        QCOMPARE(source.requests.size(), 1);
        QVERIFY(source.remembers.isEmpty());
        // The server writes its log as it refuses.
        QTRY_COMPARE(failedLogOns(), before + 1);
        QTest::qWait(500);
        QCOMPARE(failedLogOns(), before + 1);
    }

    // The command line with a wrong password in its authentication file:
    // the open server's shares are written, the locked server is named on
    // standard error, and the exit status tells a script that the result
    // has holes.
    void commandLineNamesTheRefusal() {
        QTemporaryDir home;
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".smb"))));
        QVERIFY(QFile::link(labDir() + QStringLiteral("/client/smb.conf"),
                            home.filePath(QStringLiteral(".smb/smb.conf"))));
        const QString auth = home.filePath(QStringLiteral("auth"));
        QFile file(auth);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("username = labuser\npassword = not-the-password\ndomain = LABAUTH\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        QProcess program;
        program.setProcessEnvironment(test::scriptEnvironment(home.path()));
        program.start(QStringLiteral(NORVANE_PROGRAM),
                      {"--scan", "folders", "-f", "csv", "--auth-file", auth});
        QVERIFY(program.waitForFinished(ProgramTimeoutMs));
        const QByteArray errors = program.readAllStandardError();
        QCOMPARE(program.exitCode(), 4);
        QVERIFY(program.readAllStandardOutput().contains("\\\\LABOPEN\\pub"));
        QVERIFY2(errors.contains("norvane: \\\\LABLOCK: refused the log-on; its shares are not "
                                 "listed.\n"),
                 errors.constData());
        QVERIFY(!errors.contains("not-the-password"));
    }

    void passwordInNoLogLine() {
        QVERIFY(!test::capturedDiagnostics().isEmpty()); // the diagnostics did run
        for (const QString& line : std::as_const(test::capturedDiagnostics()))
            QVERIFY2(!line.contains(QLatin1String(LabPassword)), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestLabAuth)
#include "tst_lab_auth.moc"
