// Share listing with a Kerberos ticket, against the domain lab: a domain
// controller, a member server that takes domain log-ons alone and an open
// server. With a ticket from kinit a folder scan lists the member's shares
// and nobody is asked; without one the member is skipped, or refuses
// until the scan's one prompt. No password reaches a log of the lab or of
// the test. Runs inside the domain lab's client namespace (lab-ctest.sh
// domain run).

#include "DomainLab.h"
#include "KerberosCache.h"
#include "LogOnLab.h"
#include "core/RecordingOutput.h"
#include "linux/LinuxPlatform.h"
#include "scan/ScanWorker.h"

#include <QDirIterator>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace norvane;

namespace {

using test::DomainGroup;
using test::LabPassword;
using test::LabPrincipal;

// As lab.sh makes them.
constexpr const char* AdminPassword = "Lab-Admin-Pass-3";
constexpr int MemberHostIndex = 3;
const QStringList MemberShares{"\\\\KRBMEMBER\\projects", "\\\\KRBMEMBER\\reports"};
const QStringList OpenShares{"\\\\KRBOPEN\\pub"};
// The directory names the controller and the members beyond the router
// too; a ticket lists their shares as well.
const QStringList DirectoryShares{"\\\\KRBBRANCH\\branch", "\\\\KRBDC\\netlogon",
                                  "\\\\KRBDC\\sysvol", "\\\\KRBMODERN\\tools"};

QString labDir() {
    return test::domainLabDir();
}

// Kerberos log-ons of the lab user that the member took, from its log.
int memberKerberosLogOns() {
    int taken = 0;
    const QDir logs(labDir() + QStringLiteral("/h%1/log").arg(MemberHostIndex));
    for (const QString& name : logs.entryList({QStringLiteral("*.log")}, QDir::Files)) {
        QFile file(logs.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.contains("Successful AuthZ: [SMB") && line.contains(",krb5]") &&
                line.contains("\\[labuser]"))
                ++taken;
        }
    }
    return taken;
}

// Records every question; any answer is "cancel".
class RecordingSource : public CredentialSource {
public:
    QStringList requests;

    std::optional<Credentials> remembered(const QString& group) override {
        requests << QStringLiteral("remembered ") + group;
        return std::nullopt;
    }
    std::optional<CredentialAnswer> ask(const CredentialRequest& request) override {
        requests << request.computer + QLatin1Char(' ') + request.group;
        return std::nullopt;
    }
    void remember(const QString& group, const Credentials&) override {
        requests << QStringLiteral("remember ") + group;
    }
};

} // namespace

class TestLabKerberos : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_caches;
    QByteArray m_cache; // this test's credential cache
    QStringList m_toolOutput;

    bool kinit() {
        QString said;
        const bool got = test::kinitLabUser(&said);
        m_toolOutput << said;
        return got;
    }

private slots:
    void initTestCase() {
        // Every diagnostic on, so that a password in any of them would show.
        test::captureDiagnostics();
        QVERIFY(m_caches.isValid());
        m_cache = "FILE:" + m_caches.filePath(QStringLiteral("ccache")).toLocal8Bit();
        test::useLabKerberos(m_cache);
    }

    void init() { QFile::remove(m_caches.filePath(QStringLiteral("ccache"))); }

    void ticketListsMemberSharesUnasked() {
        QVERIFY2(kinit(), qPrintable(m_toolOutput.join('\n')));
        QCOMPARE(cachedKerberosPrincipal(), std::optional<std::string>(LabPrincipal));
        const int before = memberKerberosLogOns();
        RecordingSource source;
        const test::RecordingOutput output = test::scanLabFolders(labDir(), &source);
        // The open server takes no ticket and lists anonymously.
        QStringList expected = MemberShares + OpenShares + DirectoryShares;
        expected.sort();
        QCOMPARE(test::sortedCaptions(output.rows), expected);
        QVERIFY2(source.requests.isEmpty(), qPrintable(source.requests.join(", ")));
        QVERIFY(output.errors.isEmpty());
        QVERIFY(output.rows.front().subItems.contains(QString::fromLatin1(DomainGroup)));
        // The member took the ticket: a Kerberos log-on, not a password.
        QTRY_VERIFY(memberKerberosLogOns() > before);
    }

    void withoutTicketMemberRefuses_data() {
        QTest::addColumn<bool>("ticketless"); // a cache naming the lab user, or none
        QTest::addColumn<bool>("withSource");
        QTest::addColumn<QStringList>("requests");
        const QStringList prompt{QStringLiteral("remembered KRBLAB"),
                                 QStringLiteral("\\\\KRBMEMBER KRBLAB")};
        QTest::newRow("no cache, nobody to ask") << false << false << QStringList();
        QTest::newRow("no cache, prompt cancelled") << false << true << prompt;
        QTest::newRow("expired cache, nobody to ask") << true << false << QStringList();
        QTest::newRow("expired cache, prompt cancelled") << true << true << prompt;
    }
    void withoutTicketMemberRefuses() {
        QFETCH(bool, ticketless);
        QFETCH(bool, withSource);
        QFETCH(QStringList, requests);
        if (ticketless)
            QVERIFY(test::cacheWithoutTickets(m_cache, LabPrincipal));
        QCOMPARE(cachedKerberosPrincipal().has_value(), ticketless);
        RecordingSource source;
        const test::RecordingOutput output =
            test::scanLabFolders(labDir(), withSource ? &source : nullptr);
        QCOMPARE(test::sortedCaptions(output.rows), OpenShares);
        QCOMPARE(source.requests, requests);
        QVERIFY(output.errors.isEmpty());
    }

    void passwordsWrittenNowhere() {
        QVERIFY(!test::capturedDiagnostics().isEmpty()); // the diagnostics did run
        for (const QString& text : std::as_const(test::capturedDiagnostics()) + m_toolOutput) {
            QVERIFY2(!text.contains(QLatin1String(LabPassword)), qPrintable(text));
            QVERIFY2(!text.contains(QLatin1String(AdminPassword)), qPrintable(text));
        }
        // Every file of the lab: the servers' logs, databases and settings.
        int files = 0;
        QDirIterator it(labDir(), QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            ++files;
            const QByteArray content = file.readAll();
            QVERIFY2(!content.contains(LabPassword), qPrintable(file.fileName()));
            QVERIFY2(!content.contains(AdminPassword), qPrintable(file.fileName()));
        }
        QVERIFY(files > 0);
    }
};

QTEST_GUILESS_MAIN(TestLabKerberos)
#include "tst_lab_kerberos.moc"
