// Sweeps address ranges and prints each host found and the run's figures:
// time, addresses started, hosts found, peaks of connections and addresses
// in flight, and the process's peak memory. On loopback it can start fake
// SMB hosts of its own at the range's first addresses.
//   bench_sweep [--rate N] [--connections N] [--fake-hosts N] RANGE...
// In the lab: ip netns exec <prefix>-client bench_sweep 10.213.77.0/24

#include "FakeSmbHosts.h"
#include "linux/sweep/AddressSweep.h"

#include <arpa/inet.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace norvane;

int main(int argc, char** argv) {
    SweepOptions options;
    std::vector<AddressRange> ranges;
    int fakeHosts = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rate" && i + 1 < argc) {
            options.probesPerSecond = std::stoi(argv[++i]);
        } else if (arg == "--connections" && i + 1 < argc) {
            options.maxOpenConnections = std::stoul(argv[++i]);
        } else if (arg == "--fake-hosts" && i + 1 < argc) {
            fakeHosts = std::stoi(argv[++i]);
        } else {
            const auto parsed = parseAddressRange(QString::fromLocal8Bit(argv[i]));
            if (!parsed.range) {
                std::fprintf(stderr, "%s\n", qPrintable(parsed.error));
                return 2;
            }
            ranges.push_back(*parsed.range);
        }
    }
    if (ranges.empty()) {
        std::fprintf(stderr, "usage: bench_sweep [--rate N] [--connections N] [--fake-hosts N] "
                             "RANGE...\n");
        return 2;
    }
    std::unique_ptr<test::FakeSmbHosts> fakes;
    if (fakeHosts > 0) {
        std::vector<test::FakeHost> hosts;
        for (int i = 0; i < fakeHosts; ++i)
            hosts.push_back({.address = ranges.front().first + std::uint32_t(i),
                             .nodeStatus = i % 2 == 0,
                             .name = "FAKE" + QByteArray::number(i),
                             .group = "FAKEGROUP",
                             .smb = test::SmbBehaviour::Answer});
        fakes = std::make_unique<test::FakeSmbHosts>(hosts);
        options.nameServicePort = fakes->nameServicePort();
        options.smbPort = fakes->smbPort();
    }
    AddressSequence addresses(ranges);
    AddressSweep sweep(options);
    const auto started = std::chrono::steady_clock::now();
    const auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    const SweepSummary summary = sweep.run(addresses, [&](const SweptHost& host) {
        std::printf("%7.3f s  %-15s nb %-15s %-15s ntlm %-15s %-15s dns %s/%s os %s\n", seconds(),
                    qPrintable(hostOrderAddressText(ntohl(host.address))),
                    host.netbios ? host.netbios->name.c_str() : "-",
                    host.netbios ? host.netbios->group.c_str() : "-",
                    host.ntlm ? qPrintable(host.ntlm->netbiosComputer) : "-",
                    host.ntlm ? qPrintable(host.ntlm->netbiosDomain) : "-",
                    host.ntlm ? qPrintable(host.ntlm->dnsComputer) : "-",
                    host.ntlm ? qPrintable(host.ntlm->dnsDomain) : "-",
                    host.ntlm && host.ntlm->version
                        ? qPrintable(QStringLiteral("%1.%2.%3")
                                         .arg(host.ntlm->version->major)
                                         .arg(host.ntlm->version->minor)
                                         .arg(host.ntlm->version->build))
                        : "-");
    });
    const double took = seconds();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%llu addresses in %.3f s (%.0f/s), %llu hosts, peak %zu connections, peak %zu "
                "addresses in flight, peak RSS %ld KiB\n",
                static_cast<unsigned long long>(summary.addressesStarted), took,
                double(summary.addressesStarted) / took,
                static_cast<unsigned long long>(summary.hostsFound), summary.peakOpenConnections,
                summary.peakAddressesInFlight, usage.ru_maxrss);
    return 0;
}
