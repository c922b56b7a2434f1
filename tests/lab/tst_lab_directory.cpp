// The directory source against the domain lab: a controller that takes
// only signed and sealed LDAP binds, members on the client's subnet and
// beyond a router, and computer accounts with no host behind them (one
// disabled, one that last logged on years ago, and ten thousand for the
// benchmark). With a ticket from kinit every account is read; without one
// nothing is tried and nobody is asked. Runs inside the domain lab's client
// namespace (lab-ctest.sh domain run).

#include "DomainLab.h"
#include "KerberosCache.h"
#include "linux/Abandonment.h"
#include "linux/directory/DirectoryLimits.h"
#include "linux/directory/DirectoryReader.h"
#include "platform/NetworkPlatform.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <csignal>
#include <ldap.h>
#include <netdb.h>

#include <ctime>
#include <future>
#include <thread>

using namespace norvane;
using namespace norvane::directory;
using namespace std::chrono_literals;

namespace {

using test::DomainGroup;
using test::LabPassword;
using test::LabPrincipal;

// As lab.sh makes them.
constexpr const char* Controller = "krbdc.krb.lab";
constexpr const char* ControllerAddress = "10.213.77.102";
constexpr int BenchmarkCount = 10000;

constexpr int DcIndex = 2;
constexpr auto CancelBudget = 250ms;
// What reading the benchmark's accounts may cost this program. The wall
// time is mostly the controller's: Samba's LDAP server checks every
// attribute of every entry against the reader's rights, and on a busy
// machine that alone takes seconds; it is reported, and bounded loosely.
constexpr qint64 BenchmarkCpuBudgetMs = 3000;
constexpr qint64 BenchmarkWallBudgetMs = 60000;

qint64 threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

QString labDir() {
    return test::domainLabDir();
}

// The benchmark's accounts the lab made (NORVANE_LAB_BENCH_COUNT, by
// default ten thousand), as it notes them.
int benchCount() {
    QFile file(labDir() + QStringLiteral("/bench-count"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt() : -1;
}

// The first IPv4 address the client's resolver gives for `name`.
QString resolve(const QString& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.toLatin1().constData(), nullptr, &hints, &found) != 0 || found == nullptr)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr, text,
              sizeof text);
    freeaddrinfo(found);
    return QString::fromLatin1(text);
}

// Stops (SIGSTOP) the controller's LDAP server processes while it lives,
// so that connections are taken but nothing is answered; continues them
// afterwards.
class HungLdapServer {
public:
    HungLdapServer() {
        const QByteArray prefix = qgetenv("NORVANE_LAB_PREFIX");
        QProcess list;
        list.start(QStringLiteral("ip"),
                   {"netns", "pids",
                    QString::fromLocal8Bit(prefix) + QStringLiteral("-h%1").arg(DcIndex)});
        list.waitForFinished();
        for (const QByteArray& pid : list.readAllStandardOutput().split('\n')) {
            QFile command("/proc/" + pid.trimmed() + "/cmdline");
            if (!pid.trimmed().isEmpty() && command.open(QIODevice::ReadOnly) &&
                command.readAll().contains("task[ldap]")) {
                m_pids << pid.trimmed().toInt();
                kill(m_pids.back(), SIGSTOP);
            }
        }
    }
    ~HungLdapServer() {
        for (const int pid : std::as_const(m_pids))
            kill(pid, SIGCONT);
    }
    bool stopped() const { return !m_pids.isEmpty(); }

private:
    QList<int> m_pids;
};

const ComputerRecord* find(const DirectoryRead& read, const QString& name) {
    for (const ComputerRecord& computer : read.computers) {
        if (computer.name.compare(name, Qt::CaseInsensitive) == 0)
            return &computer;
    }
    return nullptr;
}

} // namespace

class TestLabDirectory : public QObject {
    Q_OBJECT

private:
    test::LabTicket m_ticket;

private slots:
    void initTestCase() { QVERIFY(m_ticket.obtain()); }

    void withTicketEveryAccountIsRead() {
        const DirectoryRead read = DirectoryReader(-1).read();
        QCOMPARE(int(read.outcome), int(DirectoryRead::Outcome::Read));
        QCOMPARE(read.domain, QStringLiteral("krb.lab"));
        QCOMPARE(read.group, QString::fromLatin1(DomainGroup));
        QCOMPARE(read.controller, QString::fromLatin1(Controller));

        // The members of both subnets, each under the domain's NetBIOS name,
        // with the DNS name that the client resolves through the
        // controller's DNS to the member's own address, and that the
        // directory's copy of the zone gives alike.
        QVERIFY(read.zone.has_value());
        const QList<QPair<QString, QString>> members{
            {QStringLiteral("KRBDC"), QStringLiteral("10.213.77.102")},
            {QStringLiteral("KRBMEMBER"), QStringLiteral("10.213.77.103")},
            {QStringLiteral("KRBBRANCH"), QStringLiteral("10.213.79.101")},
            {QStringLiteral("KRBMODERN"), QStringLiteral("10.213.79.102")},
        };
        for (const auto& [name, address] : members) {
            const ComputerRecord* computer = find(read, name);
            QVERIFY2(computer != nullptr, qPrintable(name));
            QCOMPARE(computer->group, QString::fromLatin1(DomainGroup));
            QVERIFY(computer->foundBy.contains(FoundBy::Directory));
            QVERIFY(computer->directory.has_value());
            QVERIFY(!computer->directory->stale);
            QCOMPARE(computer->dnsName, name.toLower() + QStringLiteral(".krb.lab"));
            QCOMPARE(resolve(computer->dnsName), address);
            const std::optional<std::uint32_t> zoned = read.zone->addressOf(computer->dnsName);
            QVERIFY2(zoned.has_value(), qPrintable(name));
            QCOMPARE(QString::fromStdString(NetworkPlatform::inetNtoa(*zoned)), address);
        }
        // The hostless accounts have no record there, as DNS has none.
        QCOMPARE(read.zone->addressOf(QStringLiteral("krbghost.krb.lab")), std::nullopt);
        QVERIFY(resolve(QStringLiteral("krbghost.krb.lab")).isEmpty());

        // Accounts without a host: the disabled one left out, the old one
        // marked stale, the plain one kept with what the directory knows.
        QVERIFY(find(read, QStringLiteral("KRBDISABLED")) == nullptr);
        QVERIFY(read.leftOut >= 1);
        const ComputerRecord* stale = find(read, QStringLiteral("KRBSTALE"));
        QVERIFY(stale != nullptr);
        QVERIFY(stale->directory->stale);
        const ComputerRecord* ghost = find(read, QStringLiteral("KRBGHOST"));
        QVERIFY(ghost != nullptr);
        QCOMPARE(ghost->comment, QStringLiteral("No host behind it"));
        QCOMPARE(ghost->dnsName, QStringLiteral("krbghost.krb.lab"));
        QCOMPARE(ghost->operatingSystem, QStringLiteral("Windows 11 Pro"));
        QCOMPARE(ghost->osVersion, QStringLiteral("10.0 (22631)"));
        QCOMPARE(ghost->directory->ouPath, QStringLiteral("Branch"));
        QVERIFY(!ghost->directory->stale);
        QVERIFY(!ghost->address.has_value());
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}$"))
                    .match(ghost->directory->guid)
                    .hasMatch());

        const auto bench = std::count_if(
            read.computers.begin(), read.computers.end(),
            [](const ComputerRecord& computer) { return computer.name.startsWith(u"BENCH"); });
        QCOMPARE(int(bench), benchCount());
        // Every account once.
        QSet<QString> names;
        for (const ComputerRecord& computer : read.computers)
            names.insert(computer.directory->guid);
        QCOMPARE(names.size(), int(read.computers.size()));
    }

    // The same read with the domain named, in another case.
    void namedDomainIsRead() {
        const DirectoryRead read = DirectoryReader(-1).read(QStringLiteral("KRB.Lab"));
        QCOMPARE(int(read.outcome), int(DirectoryRead::Outcome::Read));
        QVERIFY(find(read, QStringLiteral("KRBBRANCH")) != nullptr);
    }

    // The lab's controller refuses a bind without signing: the reads above
    // were signed and sealed.
    void controllerRequiresSigning() {
        LDAP* ld = nullptr;
        QCOMPARE(ldap_initialize(&ld, (QByteArray("ldap://") + ControllerAddress).constData()),
                 LDAP_SUCCESS);
        const int version = LDAP_VERSION3;
        ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
        const QByteArray password(LabPassword);
        berval credentials{.bv_len = ber_len_t(password.size()),
                           .bv_val = const_cast<char*>(password.constData())};
        const int bound = ldap_sasl_bind_s(ld, LabPrincipal, LDAP_SASL_SIMPLE, &credentials,
                                           nullptr, nullptr, nullptr);
        ldap_unbind_ext_s(ld, nullptr, nullptr);
        QCOMPARE(bound, LDAP_STRONG_AUTH_REQUIRED);
    }

    void withoutTicketNothingIsTried_data() {
        QTest::addColumn<bool>("ticketless"); // a cache naming the lab user, or none
        QTest::newRow("no cache") << false;
        QTest::newRow("expired cache") << true;
    }
    void withoutTicketNothingIsTried() {
        QFETCH(bool, ticketless);
        const QByteArray other = m_ticket.emptyCache(QStringLiteral("ticketless"));
        if (ticketless)
            QVERIFY(test::cacheWithoutTickets(other, LabPrincipal));
        qputenv("KRB5CCNAME", other);
        QElapsedTimer clock;
        clock.start();
        const DirectoryRead read = DirectoryReader(-1).read();
        m_ticket.restore();
        QCOMPARE(int(read.outcome), int(DirectoryRead::Outcome::NoTicket));
        QVERIFY(read.computers.empty());
        QVERIFY2(read.reason.contains(QLatin1String("kinit")), qPrintable(read.reason));
        // Decided from the cache alone, before any network wait.
        QVERIFY(clock.elapsed() < 1000);
    }

    // Stop during the read: DNS, bind or a page, whichever it is in.
    void cancelEndsTheReadWithin250ms_data() {
        QTest::addColumn<int>("afterMs");
        for (const int ms : {0, 20, 100, 400})
            QTest::addRow("after %d ms", ms) << ms;
    }
    void cancelEndsTheReadWithin250ms() {
        QFETCH(int, afterMs);
        Abandonment abandonment;
        const DirectoryReader reader(abandonment.fd());
        std::future<DirectoryRead> pending =
            std::async(std::launch::async, [&reader] { return reader.read(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
        abandonment.set(true);
        const auto cancelled = std::chrono::steady_clock::now();
        const bool ended = pending.wait_for(CancelBudget) == std::future_status::ready;
        const auto took = std::chrono::steady_clock::now() - cancelled;
        QVERIFY2(ended, "the read went on after the cancel");
        QVERIFY(took < CancelBudget);
        const DirectoryRead read = pending.get();
        QCOMPARE(int(read.outcome), int(DirectoryRead::Outcome::Cancelled));
        QVERIFY(read.computers.empty());
    }

    // A controller whose LDAP server takes the connection and never answers
    // costs one time-out, the bind's; a stop ends the wait at once.
    void hungControllerCostsOneTimeOut() {
        const HungLdapServer hung;
        QVERIFY(hung.stopped());
        QElapsedTimer clock;
        clock.start();
        const DirectoryRead read = DirectoryReader(-1).read();
        const auto elapsed = std::chrono::milliseconds(clock.elapsed());
        QCOMPARE(int(read.outcome), int(DirectoryRead::Outcome::Failed));
        QVERIFY2(read.reason.contains(QLatin1String("bind: no answer in time")),
                 qPrintable(read.reason));
        QVERIFY(elapsed >= BindTimeout);
        QVERIFY2(elapsed < BindTimeout + 2s, qPrintable(QString::number(elapsed.count())));

        Abandonment abandonment;
        const DirectoryReader reader(abandonment.fd());
        std::future<DirectoryRead> pending =
            std::async(std::launch::async, [&reader] { return reader.read(); });
        std::this_thread::sleep_for(1s);
        abandonment.set(true);
        QVERIFY(pending.wait_for(CancelBudget) == std::future_status::ready);
        QCOMPARE(int(pending.get().outcome), int(DirectoryRead::Outcome::Cancelled));
    }

    // Benchmark: the lab's directory, more than ten thousand computer
    // accounts, read in full.
    void readsTenThousandAccountsQuickly() {
        if (benchCount() < BenchmarkCount)
            QSKIP("the lab holds fewer accounts than the benchmark reads");
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = threadCpuMs();
        const DirectoryRead read = DirectoryReader(-1).read();
        const qint64 cpu = threadCpuMs() - cpuBefore;
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(int(read.outcome), int(DirectoryRead::Outcome::Read));
        QVERIFY(read.computers.size() > std::size_t(BenchmarkCount));
        qInfo("directory read: %zu computers, %d left out, in %lld ms (%lld ms of this "
              "program's processor time)",
              read.computers.size(), read.leftOut, elapsed, cpu);
        QVERIFY2(cpu < BenchmarkCpuBudgetMs, qPrintable(QString::number(cpu)));
        QVERIFY2(elapsed < BenchmarkWallBudgetMs, qPrintable(QString::number(elapsed)));
    }
};

QTEST_GUILESS_MAIN(TestLabDirectory)
#include "tst_lab_directory.moc"
