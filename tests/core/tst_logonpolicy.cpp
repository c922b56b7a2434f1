// How a share scan logs on, over a scripted network whose locked computers
// accept one user each and a scripted credential store and user: tickets,
// remembered credentials, the one prompt of a scan, Cancel, wrong
// passwords (one failed log-on each, never a second) and remembering.

#include "RecordingOutput.h"
#include "fake/FakePlatform.h"
#include "scan/LogOnPolicy.h"
#include "scan/ScanWorker.h"

#include <QTest>

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>

using namespace norvane;
using namespace std::chrono_literals;
using norvane::test::FakePlatform;
using norvane::test::RecordingOutput;

namespace {

Credentials anna(const char* password) {
    return {"anna", "OFFICE", SecretText(password)};
}

// Remembered credentials and the user's answers, as a script.
class ScriptedSource : public CredentialSource {
public:
    std::map<QString, Credentials> stored;
    std::deque<std::optional<CredentialAnswer>> answers; // empty: cancelled
    QStringList requests;                                // "\\COMPUTER GROUP user"
    QStringList remembers;                               // "GROUP domain\user"

    std::optional<Credentials> remembered(const QString& group) override {
        const auto found = stored.find(group);
        return found != stored.end() ? std::optional(found->second) : std::nullopt;
    }
    std::optional<CredentialAnswer> ask(const CredentialRequest& request) override {
        requests << request.computer + QLatin1Char(' ') + request.group + QLatin1Char(' ') +
                        request.user;
        if (answers.empty())
            return std::nullopt;
        auto answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
    void remember(const QString& group, const Credentials& credentials) override {
        remembers << group + QLatin1Char(' ') + QString::fromStdString(credentials.domain) +
                         QLatin1Char('\\') + QString::fromStdString(credentials.user);
    }
};

using SourceScript = std::function<void(FakePlatform&, ScriptedSource&)>;

// OFFICE: OPEN lists anonymously, LOCKED1 and LOCKED2 take only anna.
// HOME: DEN takes only bob.
void office(FakePlatform& net) {
    net.addDomain("OFFICE");
    net.addComputer("OFFICE", "\\\\OPEN");
    net.addComputer("OFFICE", "\\\\LOCKED1").onlyUser = anna("right");
    net.addComputer("OFFICE", "\\\\LOCKED2").onlyUser = anna("right");
    net.addDomain("HOME");
    net.addComputer("HOME", "\\\\DEN").onlyUser = Credentials{"bob", "HOME", SecretText("pw2")};
    net.addShare("\\\\OPEN", "\\\\OPEN\\pub", RESOURCETYPE_DISK);
    net.addShare("\\\\LOCKED1", "\\\\LOCKED1\\docs", RESOURCETYPE_DISK);
    net.addShare("\\\\LOCKED2", "\\\\LOCKED2\\data", RESOURCETYPE_DISK);
    net.addShare("\\\\DEN", "\\\\DEN\\music", RESOURCETYPE_DISK);
}

std::optional<CredentialAnswer> answer(Credentials credentials, bool remember = false) {
    return CredentialAnswer{std::move(credentials), remember};
}

} // namespace

Q_DECLARE_METATYPE(SourceScript)

class TestLogOnPolicy : public QObject {
    Q_OBJECT

private slots:
    void shareScan_data() {
        QTest::addColumn<bool>("withSource");
        QTest::addColumn<SourceScript>("script");
        QTest::addColumn<QStringList>("shares");
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QString>("failedLogOns"); // LOCKED1, LOCKED2, DEN
        QTest::addColumn<QStringList>("remembers");

        const QStringList all{"\\\\OPEN\\pub", "\\\\LOCKED1\\docs", "\\\\LOCKED2\\data",
                              "\\\\DEN\\music"};
        const QStringList open{"\\\\OPEN\\pub"};
        const QStringList officeShares{"\\\\OPEN\\pub", "\\\\LOCKED1\\docs", "\\\\LOCKED2\\data"};
        const QStringList askedAtLocked1{"\\\\LOCKED1 OFFICE "};
        const auto none = [](FakePlatform&, ScriptedSource&) {};

        QTest::newRow("nobody to ask: locked computers skipped")
            << false << SourceScript(none) << open << QStringList() << "0 0 0" << QStringList();
        QTest::newRow("ticket taken: no prompt")
            << true << SourceScript([](FakePlatform& net, ScriptedSource&) {
                   net.kerberosTicket = true;
                   for (const char* name : {"\\\\LOCKED1", "\\\\LOCKED2", "\\\\DEN"})
                       net.containers[name].acceptsTicket = true;
               })
            << all << QStringList() << "0 0 0" << QStringList();
        QTest::newRow("ticket not taken: asked")
            << true << SourceScript([](FakePlatform& net, ScriptedSource& source) {
                   net.kerberosTicket = true;
                   source.answers.push_back(answer(anna("right")));
               })
            << officeShares << askedAtLocked1 << "0 0 1" << QStringList();
        QTest::newRow("remembered per group: no prompt")
            << true << SourceScript([](FakePlatform&, ScriptedSource& source) {
                   source.stored["OFFICE"] = anna("right");
                   source.stored["HOME"] = Credentials{"bob", "HOME", SecretText("pw2")};
               })
            << all << QStringList() << "0 0 0" << QStringList();
        QTest::newRow("answered: used for the rest of the scan, one prompt")
            << true << SourceScript([](FakePlatform&, ScriptedSource& source) {
                   source.answers.push_back(answer(anna("right")));
                   source.answers.push_back(answer(Credentials{"bob", "HOME", SecretText("pw2")}));
               })
            << officeShares << askedAtLocked1 << "0 0 1" << QStringList();
        QTest::newRow("cancelled: anonymous for the rest")
            << true << SourceScript([](FakePlatform&, ScriptedSource&) {}) << open << askedAtLocked1
            << "0 0 0" << QStringList();
        QTest::newRow("wrong password: one failed log-on in the whole scan")
            << true << SourceScript([](FakePlatform&, ScriptedSource& source) {
                   source.answers.push_back(answer(anna("wrong"), true));
               })
            << open << askedAtLocked1 << "1 0 0" << QStringList();
        QTest::newRow("remembered once a computer took them")
            << true << SourceScript([](FakePlatform&, ScriptedSource& source) {
                   source.answers.push_back(answer(anna("right"), true));
               })
            << officeShares << askedAtLocked1 << "0 0 1" << QStringList{"OFFICE OFFICE\\anna"};
        QTest::newRow("stale remembered password: asked once, user suggested")
            << true << SourceScript([](FakePlatform&, ScriptedSource& source) {
                   source.stored["OFFICE"] = anna("old");
                   source.answers.push_back(answer(anna("right")));
               })
            << officeShares << QStringList{"\\\\LOCKED1 OFFICE anna"} << "1 0 1" << QStringList();
        QTest::newRow("cancelled: later groups' remembered credentials unused too")
            << true << SourceScript([](FakePlatform&, ScriptedSource& source) {
                   source.stored["HOME"] = Credentials{"bob", "HOME", SecretText("pw2")};
               })
            << open << askedAtLocked1 << "0 0 0" << QStringList();
    }

    void shareScan() {
        QFETCH(bool, withSource);
        QFETCH(SourceScript, script);
        QFETCH(QStringList, shares);
        QFETCH(QStringList, requests);
        QFETCH(QString, failedLogOns);
        QFETCH(QStringList, remembers);

        // One computer at a time, and with the listings made ahead: LOCKED2
        // and DEN answer late, so that theirs run once LOCKED1 took (or
        // refused) the credentials.
        for (const std::size_t limit : {std::size_t(0), std::size_t(1), LookAheadLimit}) {
            FakePlatform net;
            office(net);
            net.extraDelay = [](const std::string& subject) {
                return subject == "\\\\LOCKED2" || subject == "\\\\DEN" ? 30ms : 0ms;
            };
            ScriptedSource source;
            script(net, source);
            RecordingOutput output;
            ScanInputs inputs{QByteArray::fromStdString(net.providerName), rtSharedFolder, 0};
            inputs.lookAheadLimit = limit;
            QCOMPARE(ScanNetwork(
                         net, inputs, output, [] { return false; }, withSource ? &source : nullptr),
                     ScanCompleted);
            checkScan(net, source, output, shares, requests, failedLogOns, remembers);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("with look-ahead limit %1").arg(limit)));
        }
    }

    // Credentials a computer took after refusing the scan without them are
    // used by the listings made ahead; a wrong password never is.
    void provedCredentialsListAhead_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("ahead");
        QTest::newRow("right") << "right" << true;
        QTest::newRow("wrong") << "wrong" << false;
    }
    void provedCredentialsListAhead() {
        QFETCH(QString, password);
        QFETCH(bool, ahead);
        FakePlatform net;
        office(net);
        // Long enough for the walk to reach LOCKED1 and take its answer
        // first, even on a busy machine; DEN, which refuses anna and so
        // withdraws her from the listings ahead, later still.
        net.extraDelay = [](const std::string& subject) {
            return subject == "\\\\LOCKED2" ? 300ms : subject == "\\\\DEN" ? 900ms : 0ms;
        };
        ScriptedSource source;
        source.answers.push_back(answer(anna(password.toUtf8().constData())));
        RecordingOutput output;
        const ScanInputs inputs{QByteArray::fromStdString(net.providerName), rtSharedFolder, 0};
        QCOMPARE(ScanNetwork(
                     net, inputs, output, [] { return false; }, &source),
                 ScanCompleted);
        const std::vector<std::string> calls = net.calls();
        QCOMPARE(std::count(calls.begin(), calls.end(), "listAhead(\\\\LOCKED2,anna)") == 1, ahead);
        QCOMPARE(net.failedLogOns("\\\\LOCKED1") + net.failedLogOns("\\\\LOCKED2"), ahead ? 0 : 1);
    }

    // A later group's remembered password is unproved there: the group's
    // listings ahead do not try it, so a stale one fails once, in walk order.
    void unprovedCredentialsNeverListAhead() {
        FakePlatform net;
        office(net);
        net.addComputer("HOME", "\\\\DEN2").onlyUser = net.containers["\\\\DEN"].onlyUser;
        net.addShare("\\\\DEN2", "\\\\DEN2\\radio", RESOURCETYPE_DISK);
        ScriptedSource source;
        source.answers.push_back(answer(anna("right")));
        source.stored["HOME"] = Credentials{"bob", "HOME", SecretText("old")};
        RecordingOutput output;
        const ScanInputs inputs{QByteArray::fromStdString(net.providerName), rtSharedFolder, 0};
        QCOMPARE(ScanNetwork(
                     net, inputs, output, [] { return false; }, &source),
                 ScanCompleted);
        for (const std::string& call : net.calls())
            QVERIFY2(call.find(",bob)") == std::string::npos, call.c_str());
        QCOMPARE(net.failedLogOns("\\\\DEN"), 1);
        QCOMPARE(net.failedLogOns("\\\\DEN2"), 1);
    }

private:
    static void checkScan(FakePlatform& net, ScriptedSource& source, const RecordingOutput& output,
                          const QStringList& shares, const QStringList& requests,
                          const QString& failedLogOns, const QStringList& remembers) {

        QStringList listed;
        for (const ResultRow& row : output.rows)
            listed << row.caption;
        QCOMPARE(listed, shares);
        QCOMPARE(source.requests, requests);
        QCOMPARE(QStringLiteral("%1 %2 %3")
                     .arg(net.failedLogOns("\\\\LOCKED1"))
                     .arg(net.failedLogOns("\\\\LOCKED2"))
                     .arg(net.failedLogOns("\\\\DEN")),
                 failedLogOns);
        QCOMPARE(source.remembers, remembers);

        // The platform is left without credentials for whatever runs next.
        std::vector<std::string> logOns;
        for (const std::string& call : net.calls()) {
            if (call.rfind("setLogOn(", 0) == 0)
                logOns.push_back(call);
        }
        if (!logOns.empty())
            QCOMPARE(logOns.back(), std::string("setLogOn(<none>)"));
        QCOMPARE(net.openHandles(), std::size_t(0));
    }

private slots:

    void refusalCodes_data() {
        QTest::addColumn<DWORD>("code");
        QTest::addColumn<bool>("refusal");
        QTest::newRow("access denied") << win::AccessDenied << true;
        QTest::newRow("log-on failure") << win::LogonFailure << true;
        QTest::newRow("bad net path") << win::BadNetPath << false;
        QTest::newRow("success") << win::NoError << false;
    }
    void refusalCodes() {
        QFETCH(DWORD, code);
        QFETCH(bool, refusal);
        QCOMPARE(LogOnPolicy::isRefusal(code), refusal);
    }
};

QTEST_GUILESS_MAIN(TestLogOnPolicy)
#include "tst_logonpolicy.moc"
