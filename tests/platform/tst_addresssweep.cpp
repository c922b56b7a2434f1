// The address sweep over loopback, against fake hosts on 127.77.x.y: who is
// reported and with what, that no AUTHENTICATE is ever sent, that hostile
// servers end at their time-outs, pacing and the bound on connections, and
// a stop in the middle of a large range; the source that lists what a
// sweep found, ends its round on cancel, and hands its node status answers
// on so that the scan does not ask again.

#include "FakeSmbHosts.h"
#include "linux/discovery/IdentityPrefetch.h"
#include "linux/sweep/AddressRangeSource.h"
#include "linux/sweep/AddressSweep.h"

#include <QtTest>

#include <chrono>
#include <thread>

using namespace norvane;
using namespace norvane::test;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t loopback(std::uint8_t c, std::uint8_t d) {
    return 0x7F4D0000u | std::uint32_t(c) << 8 | d; // 127.77.c.d
}

// Short time-outs, so that silent and stalled hosts cost the test little.
SweepOptions testOptions(const FakeSmbHosts& hosts) {
    return SweepOptions{.probesPerSecond = 1000,
                        .maxOpenConnections = SweepMaxOpenConnections,
                        .nodeStatusTimeout = 150ms,
                        .nodeStatusAttempts = 2,
                        .connectTimeout = 300ms,
                        .exchangeTimeout = 400ms,
                        .nameServicePort = hosts.nameServicePort(),
                        .smbPort = hosts.smbPort(),
                        .abandonFd = -1};
}

std::map<std::uint32_t, SweptHost> sweep(const SweepOptions& options, AddressRange range,
                                         SweepSummary* summary = nullptr) {
    std::map<std::uint32_t, SweptHost> found;
    AddressSequence addresses({range});
    AddressSweep sweeper(options);
    const SweepSummary done = sweeper.run(addresses, [&](const SweptHost& host) {
        QVERIFY(!found.contains(ntohl(host.address)));
        found.emplace(ntohl(host.address), host);
    });
    if (summary)
        *summary = done;
    return found;
}

} // namespace

class TestAddressSweep : public QObject {
    Q_OBJECT

private slots:
    void namesAnsweringHosts() {
        const FakeSmbHosts hosts({
            {.address = loopback(0, 2),
             .nodeStatus = true,
             .name = "NBHOST",
             .group = "WORKGRP",
             .unitId = QByteArray::fromHex("02004c4f4f50"),
             .smb = SmbBehaviour::Answer},
            {.address = loopback(0, 3), .smb = SmbBehaviour::AnswerRaw},
            {.address = loopback(0, 4), .nodeStatus = true, .name = "ONLYNB", .group = "WORKGRP"},
            {.address = loopback(0, 5), .smb = SmbBehaviour::CloseAtOnce},
        });
        QVERIFY(hosts.valid());
        SweepSummary summary;
        const auto found =
            sweep(testOptions(hosts), {.first = loopback(0, 1), .last = loopback(0, 20)}, &summary);
        QCOMPARE(summary.addressesStarted, 20u);
        QCOMPARE(summary.hostsFound, 4u);
        QVERIFY(!summary.stopped);
        // Nothing answered at the other addresses (refused, silent).
        QCOMPARE(found.size(), 4u);

        const SweptHost& both = found.at(loopback(0, 2));
        QVERIFY(both.nodeStatusAnswered && both.smbAccepted);
        QCOMPARE(QByteArray::fromStdString(both.netbios->name), QByteArray("NBHOST"));
        QCOMPARE(QByteArray::fromStdString(both.netbios->group), QByteArray("WORKGRP"));
        QCOMPARE(*both.mac, (MacAddress{0x02, 0x00, 0x4c, 0x4f, 0x4f, 0x50}));
        QCOMPARE(both.ntlm->netbiosComputer, QStringLiteral("LABSRV1"));
        QCOMPARE(both.ntlm->netbiosDomain, QStringLiteral("LABSRV1"));
        QCOMPARE(both.ntlm->dnsComputer, QStringLiteral("vm"));
        QCOMPARE(both.ntlm->version, (smb2::NtlmVersion{.major = 6, .minor = 1, .build = 0}));

        const SweptHost& smbOnly = found.at(loopback(0, 3));
        QVERIFY(!smbOnly.nodeStatusAnswered && !smbOnly.netbios && !smbOnly.mac);
        QCOMPARE(smbOnly.ntlm->netbiosComputer, QStringLiteral("LABNAS-NO-NETBI"));

        const SweptHost& nbOnly = found.at(loopback(0, 4));
        QVERIFY(nbOnly.nodeStatusAnswered && !nbOnly.smbAccepted && !nbOnly.ntlm);
        QVERIFY(!nbOnly.mac); // an all-zero unit ID is no MAC
        QCOMPARE(QByteArray::fromStdString(nbOnly.netbios->name), QByteArray("ONLYNB"));

        const SweptHost& mute = found.at(loopback(0, 5));
        QVERIFY(mute.smbAccepted && !mute.ntlm && !mute.nodeStatusAnswered);

        // The log-on went no further than the NTLMSSP NEGOTIATE, and the
        // client closed once it had the challenge.
        QTRY_VERIFY(hosts.seen()[loopback(0, 2)].clientClosed);
        const auto seen = hosts.seen();
        QCOMPARE(seen.at(loopback(0, 2)).ntlmTypes, std::vector<int>{1});
        QCOMPARE(seen.at(loopback(0, 3)).ntlmTypes, std::vector<int>{1});
    }

    // Each misbehaving server costs at most the exchange's time-out and
    // leaves a host that took the connection but did not identify itself,
    // or identified itself as far as its answer allows.
    void hostileServers() {
        const std::vector<SmbBehaviour> behaviours{
            SmbBehaviour::Truncated, SmbBehaviour::StallMidFrame, SmbBehaviour::Silent,
            SmbBehaviour::Oversized, SmbBehaviour::LyingChallenge};
        std::vector<FakeHost> fakes;
        for (std::size_t i = 0; i < behaviours.size(); ++i)
            fakes.push_back({.address = loopback(1, std::uint8_t(10 + i)), .smb = behaviours[i]});
        const FakeSmbHosts hosts(fakes);
        QVERIFY(hosts.valid());
        const SweepOptions options = testOptions(hosts);
        const auto started = Clock::now();
        const auto found = sweep(options, {.first = loopback(1, 10), .last = loopback(1, 14)});
        const auto took = Clock::now() - started;
        QVERIFY2(took < options.connectTimeout + options.exchangeTimeout + 500ms,
                 qPrintable(QString::number(std::chrono::duration<double>(took).count())));
        QCOMPARE(found.size(), behaviours.size());
        for (const auto& [address, host] : found) {
            QVERIFY(host.smbAccepted);
            if (address == loopback(1, 14)) {
                // The challenge parsed; its lying target information gave nothing.
                QVERIFY(host.ntlm);
                QVERIFY(host.ntlm->netbiosComputer.isEmpty());
                QCOMPARE(host.ntlm->version->major, 6);
            } else {
                QVERIFY2(!host.ntlm, qPrintable(QString::number(address & 0xFF)));
            }
        }
        // The sweep closed every connection, the stalled ones included.
        QTRY_COMPARE(hosts.openConnections(), 0u);
    }

    void pacesNewProbes() {
        const FakeSmbHosts hosts({});
        SweepOptions options = testOptions(hosts);
        options.probesPerSecond = 400;
        options.smbPort = 9; // nothing listens: refused at once
        SweepSummary summary;
        const auto started = Clock::now();
        sweep(options, {.first = loopback(2, 1), .last = loopback(2, 200)}, &summary);
        const double took = std::chrono::duration<double>(Clock::now() - started).count();
        QCOMPARE(summary.addressesStarted, 200u);
        // 199 intervals of 2.5 ms, then the last node status time-outs.
        QVERIFY2(took >= 0.49 && took < 2.0, qPrintable(QString::number(took)));
    }

    // At a rate slower than the time-outs, nothing is in flight between
    // two addresses, and the run still goes on to the last.
    void slowRateReachesTheEnd() {
        const FakeSmbHosts hosts({{.address = loopback(5, 3), .smb = SmbBehaviour::Answer}});
        QVERIFY(hosts.valid());
        SweepOptions options = testOptions(hosts);
        options.probesPerSecond = 5;
        options.nodeStatusAttempts = 1;
        options.nodeStatusTimeout = 50ms;
        SweepSummary summary;
        const auto found =
            sweep(options, {.first = loopback(5, 1), .last = loopback(5, 3)}, &summary);
        QCOMPARE(summary.addressesStarted, 3u);
        QVERIFY(found.contains(loopback(5, 3)));
    }

    void boundsOpenConnections() {
        std::vector<FakeHost> fakes;
        for (std::uint8_t i = 1; i <= 24; ++i)
            fakes.push_back({.address = loopback(3, i), .smb = SmbBehaviour::Silent});
        const FakeSmbHosts hosts(fakes);
        QVERIFY(hosts.valid());
        SweepOptions options = testOptions(hosts);
        options.maxOpenConnections = 5;
        options.exchangeTimeout = 100ms;
        SweepSummary summary;
        const auto found =
            sweep(options, {.first = loopback(3, 1), .last = loopback(3, 24)}, &summary);
        QCOMPARE(found.size(), 24u);
        QCOMPARE(summary.peakOpenConnections, 5u);
    }

    // Stop from another thread ends the run at once, wherever it stands.
    void stopsWithin250ms() {
        const FakeSmbHosts hosts({{.address = loopback(4, 1), .smb = SmbBehaviour::Silent}});
        QVERIFY(hosts.valid());
        SweepOptions options = testOptions(hosts);
        options.exchangeTimeout = 60s;
        AddressSweep sweeper(options);
        AddressSequence addresses({{.first = loopback(4, 1), .last = loopback(4, 1) + 65535}});
        std::atomic<bool> returned = false;
        SweepSummary summary;
        std::thread runner([&] {
            summary = sweeper.run(addresses, [](const SweptHost&) {});
            returned = true;
        });
        std::this_thread::sleep_for(300ms);
        QVERIFY(!returned);
        const auto stopped = Clock::now();
        sweeper.stop();
        runner.join();
        const auto took = Clock::now() - stopped;
        QVERIFY2(took < 250ms,
                 qPrintable(QString::number(std::chrono::duration<double>(took).count())));
        QVERIFY(summary.stopped);
        QVERIFY(summary.addressesStarted > 100 && summary.addressesStarted < 2000);
        QTRY_COMPARE(hosts.openConnections(), 0u);
    }
    // The source names a host by its node status, else by its challenge;
    // a host that gave no name is left out.
    void sourceListsNamedHosts() {
        const FakeSmbHosts hosts({
            {.address = loopback(6, 2),
             .nodeStatus = true,
             .name = "NBHOST",
             .group = "WORKGRP",
             .smb = SmbBehaviour::Answer},
            {.address = loopback(6, 3), .smb = SmbBehaviour::AnswerRaw},
            {.address = loopback(6, 4), .smb = SmbBehaviour::CloseAtOnce},
            {.address = loopback(6, 5), .smb = SmbBehaviour::LyingChallenge},
        });
        QVERIFY(hosts.valid());
        AddressRangeSource source(testOptions(hosts));
        source.start({});
        QVERIFY(source.results().empty());
        QVERIFY(hosts.seen().empty()); // no range, nothing sent

        source.configure({.domain = {},
                          .ranges = {{.first = loopback(6, 1), .last = loopback(6, 9)}},
                          .probesPerSecond = 2000});
        QCOMPARE(source.maxHostsPerRound(), 9u);
        source.start({});
        auto found = source.results();
        std::sort(found.begin(), found.end(),
                  [](const auto& a, const auto& b) { return ntohl(a.address) < ntohl(b.address); });
        QCOMPARE(found.size(), 2u);
        const DiscoveredHost& both = found[0];
        QCOMPARE(both.name, std::string("NBHOST"));
        QCOMPARE(both.group, std::string("WORKGRP"));
        QCOMPARE(ntohl(both.address), loopback(6, 2));
        QVERIFY(both.foundBy == FoundBy::AddressRange);
        QCOMPARE(both.reach, HostReach::AnsweredFrom);
        QCOMPARE(both.dnsName, std::string("vm"));
        QCOMPARE(both.osVersion, std::string("6.1.0"));
        const DiscoveredHost& smbOnly = found[1];
        QCOMPARE(smbOnly.name, std::string("LABNAS-NO-NETBI"));
        // A standalone Samba server gives its own name as its NTLM domain.
        QCOMPARE(QString::fromStdString(smbOnly.group), QStringLiteral("LABNAS-NO-NETBI"));
        QCOMPARE(ntohl(smbOnly.address), loopback(6, 3));
    }

    // A swept host's node status is asked once, by the sweep: the scan's
    // look-ups take that answer instead of asking the host again.
    void sweptHostIsNotAskedTwice() {
        const FakeHost answering{.address = loopback(7, 2),
                                 .nodeStatus = true,
                                 .name = "NBHOST",
                                 .group = "WORKGRP",
                                 .unitId = QByteArray::fromHex("024e56000702"),
                                 .smb = SmbBehaviour::Answer};
        const FakeSmbHosts hosts({answering});
        QVERIFY(hosts.valid());
        AddressRangeSource source(testOptions(hosts));
        source.configure({.domain = {},
                          .ranges = {{.first = loopback(7, 1), .last = loopback(7, 3)}},
                          .probesPerSecond = 2000});
        source.start({});
        const std::vector<DiscoveredHost> found = source.results();
        QCOMPARE(found.size(), 1u);
        QCOMPARE(hosts.seen()[loopback(7, 2)].nodeStatusQueries, 1);
        QVERIFY(!source.askedNodeStatus(htonl(loopback(7, 3))));

        // The look-ups of the scan, over the same name service port.
        const NbnsExchange exchange{hosts.nameServicePort(), 150ms, 2, -1};
        IdentityPrefetch prefetch;
        prefetch.start(
            [&] { return found; },
            [](const std::string&, bool) -> std::optional<std::uint32_t> { return std::nullopt; },
            [&](std::uint32_t address) { return queryNodeStatus(address, exchange); },
            [&](std::uint32_t address) { return source.askedNodeStatus(address); });
        const auto status = prefetch.nodeStatus(htonl(loopback(7, 2)));
        QVERIFY(status && *status);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>((*status)->unitId.data()), 6),
                 answering.unitId);
        QVERIFY(prefetch.nameQuery("NBHOST").has_value());
        // Past any retry a second query would have sent.
        std::this_thread::sleep_for(400ms);
        QCOMPARE(hosts.seen()[loopback(7, 2)].nodeStatusQueries, 1);
    }

    void sourceCancelsWithin250ms() {
        const FakeSmbHosts hosts({});
        SweepOptions options = testOptions(hosts);
        options.smbPort = 9;
        AddressRangeSource source(options);
        source.configure({.domain = {},
                          .ranges = {{.first = loopback(7, 0), .last = loopback(7, 0) + 65535}},
                          .probesPerSecond = 1000});
        source.start({});
        std::this_thread::sleep_for(200ms);
        const auto cancelled = Clock::now();
        source.cancel();
        (void)source.results();
        const auto took = Clock::now() - cancelled;
        QVERIFY2(took < 250ms,
                 qPrintable(QString::number(std::chrono::duration<double>(took).count())));
    }
};

QTEST_GUILESS_MAIN(TestAddressSweep)
#include "tst_addresssweep.moc"
