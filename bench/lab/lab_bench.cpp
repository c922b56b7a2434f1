// Walks the Samba lab for computers with the Linux platform and, in the same
// run, takes the same inventory with Samba's own tools (smbtree -S, then
// nmblookup for each name and nmblookup -A for each address), alternating
// the two so that both see the same network. Prints the wall time per
// computer of each and their ratio. Then walks again with the lab's modern
// hosts (announced by WS-Discovery only) present and stopped, and prints
// what they add to the scan. Last, computer and folder scans before and
// after ten computers the browse master lists have gone (which stay listed
// for the rest of the lab's life). Runs inside the lab's client namespace
// (bench/lab/run.sh); with --sequential every walk looks up one computer
// after the other, as before the look-ahead. With --folders it measures
// share listing alone: folder scans against computer scans of the same
// network in one run, and against `smbclient -L` over the same servers,
// one at a time and 16 at a time. With --servers FIRST COUNT it lists the
// shares of COUNT servers at consecutive addresses from FIRST the way a
// share scan does (checks and anonymous listings ahead, listings taken in
// order), with the look-ahead and without it. With --back-to-back it starts
// computer scans one right after the other, as a user pressing Go again
// would, first without the platform's memory of node status refusals and
// then with it: a host sends few ICMP port unreachable replies, so later
// scans of a quick series may hear no refusal. With --once computers|folders
// it takes one scan on a new platform and prints its time, its rows and its
// error boxes: the first scan after the lab came up, whose servers start
// their RPC services only when first asked.

#include "linux/LinuxPlatform.h"
#include "scan/HostIdentity.h"
#include "scan/LookAhead.h"
#include "scan/ScanWorker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

using namespace norvane;

namespace {

constexpr int Rounds = 5;
constexpr int ToolTimeoutMs = 60000;
constexpr int StaleEntries = 10;
std::size_t lookAheadLimit = LookAheadLimit;
// One look-up of a gone computer: three unanswered name queries.
constexpr double NameServiceBudgetMs = 2250;

class CountingOutput : public ScanOutput {
public:
    int rows = 0;
    int unresolved = 0;
    QStringList errors;
    // The address cell of each row of a computer scan.
    QStringList addresses;
    void appendRow() override {
        ++rows;
        m_cell = 0;
    }
    void setCaption(const QString&) override {}
    void setImage(int image) override { unresolved += image == imgUnresolvedComputer; }
    void addSubItem(const QString& text) override {
        if (m_cell++ == 0)
            addresses << text;
    }
    void setProgressMax(int) override {}
    void setProgressPosition(int) override {}
    void showError(const QString& text) override { errors << text; }

private:
    int m_cell = 0;
};

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(ToolTimeoutMs);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

struct Timed {
    double ms = 0;
    int computers = 0;
};

LinuxPlatformSettings settingsFor(const QString& config,
                                  NameServiceRefusals* refusals = &NameServiceRefusals::shared()) {
    LinuxPlatformSettings settings;
    settings.smbConfigFile = config.toStdString();
    settings.nameServiceRefusals = refusals;
    return settings;
}

// A walk on `kept`, a platform that outlives it as the window's does (its
// listing processes stay), else on a platform of its own with `refusals`.
Timed walk(const QString& config, int resourceType = rtComputer, QStringList* addresses = nullptr,
           LinuxPlatform* kept = nullptr,
           NameServiceRefusals* refusals = &NameServiceRefusals::shared()) {
    QElapsedTimer timer;
    timer.start();
    std::optional<LinuxPlatform> own;
    if (kept == nullptr)
        own.emplace(settingsFor(config, refusals));
    LinuxPlatform& platform = kept != nullptr ? *kept : *own;
    ScanInputs inputs;
    inputs.providerName = LanManProviderName;
    inputs.resourceType = resourceType;
    inputs.lookAheadLimit = lookAheadLimit;
    EnumLana(platform, inputs.lanaNum);
    CountingOutput output;
    ScanNetwork(platform, inputs, output, [] { return false; });
    if (!output.errors.isEmpty())
        std::fprintf(stderr, "walk error: %s\n", qPrintable(output.errors.join("; ")));
    if (addresses != nullptr)
        *addresses = output.addresses.filter(QRegularExpression(R"(^\d+\.\d+\.\d+\.\d+$)"));
    return {double(timer.nsecsElapsed()) / 1e6, output.rows};
}

Timed sambaTools(const QString& config) {
    QElapsedTimer timer;
    timer.start();
    const QString tree = run("smbtree", {"-S", "-U", "guest%", "-s", config});
    static const QRegularExpression serverLine(R"(^\s*\\\\(\S+))",
                                               QRegularExpression::MultilineOption);
    QStringList names;
    for (auto it = serverLine.globalMatch(tree); it.hasNext();)
        names << it.next().captured(1);
    static const QRegularExpression addressLine(R"(^(\d+\.\d+\.\d+\.\d+) )",
                                                QRegularExpression::MultilineOption);
    for (const QString& name : names) {
        const QString found = run("nmblookup", {"-s", config, name});
        const auto match = addressLine.match(found);
        if (match.hasMatch())
            run("nmblookup", {"-s", config, "-A", match.captured(1)});
    }
    return {double(timer.nsecsElapsed()) / 1e6, int(names.size())};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The lab's modern hosts by index, as lab.sh wrote them.
QStringList modernHosts(const QString& labDir) {
    QFile file(labDir + "/modern");
    QStringList indexes;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                indexes << QString::fromLatin1(line.split('|').front());
    return indexes;
}

// Median walk time with the modern hosts running, then with them stopped.
void modernHostsCost(const QString& labDir, const QString& config) {
    const QStringList modern = modernHosts(labDir);
    if (modern.isEmpty())
        return;
    std::vector<double> with;
    std::vector<double> without;
    int computersWith = 0;
    int computersWithout = 0;
    for (int round = 0; round < Rounds; ++round) {
        const Timed timed = walk(config);
        with.push_back(timed.ms);
        computersWith = timed.computers;
    }
    for (const QString& host : modern)
        QProcess::execute(NORVANE_LAB_SCRIPT, {"stop-host", host});
    for (int round = 0; round < Rounds; ++round) {
        const Timed timed = walk(config);
        without.push_back(timed.ms);
        computersWithout = timed.computers;
    }
    for (const QString& host : modern)
        QProcess::execute(NORVANE_LAB_SCRIPT, {"start-host", host});
    std::printf("computer scan with %d modern hosts: %.1f ms for %d computers (median of %d)\n",
                int(modern.size()), median(with), computersWith, Rounds);
    std::printf("computer scan without them: %.1f ms for %d computers (median of %d)\n",
                median(without), computersWithout, Rounds);
    std::printf("modern hosts add %.1f ms\n", median(with) - median(without));
}

// Median computer and folder scan times, then the same after StaleEntries
// computers have gone while the browse master still lists them.
void staleEntriesCost(const QString& config) {
    const std::pair<int, const char*> kinds[] = {{rtComputer, "computer"},
                                                 {rtSharedFolder, "folder"}};
    std::vector<double> before[2];
    std::vector<double> after[2];
    int rowsBefore[2] = {};
    int rowsAfter[2] = {};
    for (int round = 0; round < Rounds; ++round) {
        for (int k = 0; k < 2; ++k) {
            const Timed timed = walk(config, kinds[k].first);
            before[k].push_back(timed.ms);
            rowsBefore[k] = timed.computers;
        }
    }
    if (QProcess::execute(NORVANE_LAB_SCRIPT, {"ghosts", QString::number(StaleEntries)}) != 0) {
        std::fprintf(stderr, "the stale browse entries could not be made\n");
        return;
    }
    for (int round = 0; round < Rounds; ++round) {
        for (int k = 0; k < 2; ++k) {
            const Timed timed = walk(config, kinds[k].first);
            after[k].push_back(timed.ms);
            rowsAfter[k] = timed.computers;
        }
    }
    for (int k = 0; k < 2; ++k) {
        const double cost = median(after[k]) - median(before[k]);
        std::printf("%s scan: %.1f ms for %d rows; with %d stale entries %.1f ms for %d rows: "
                    "+%.1f ms (%.2f name service budgets; median of %d)\n",
                    kinds[k].second, median(before[k]), rowsBefore[k], StaleEntries,
                    median(after[k]), rowsAfter[k], cost, cost / NameServiceBudgetMs, Rounds);
    }
}

// `smbclient -L` anonymously over every address, `parallel` at a time;
// the wall time and how many of them listed.
Timed sambaListings(const QString& config, const QStringList& addresses, int parallel) {
    QElapsedTimer timer;
    timer.start();
    int listed = 0;
    for (qsizetype first = 0; first < addresses.size(); first += parallel) {
        std::vector<std::unique_ptr<QProcess>> running;
        for (qsizetype i = first; i < std::min(addresses.size(), first + parallel); ++i) {
            running.push_back(std::make_unique<QProcess>());
            running.back()->start("smbclient", {"-L", addresses[i], "-N", "-s", config});
        }
        for (const auto& process : running) {
            process->waitForFinished(ToolTimeoutMs);
            listed += process->exitCode() == 0;
        }
    }
    return {double(timer.nsecsElapsed()) / 1e6, listed};
}

// Folder scans against computer scans, paired round by round, and against
// Samba's share listing of the servers the computer scan resolved.
int folderScanCost(const QString& config) {
    std::vector<double> computerScan, folderScan, ratio, keptScan, keptRatio, oneByOne, sixteen;
    int computers = 0, folders = 0, listedOne = 0, listedSixteen = 0;
    QStringList addresses;
    LinuxPlatform kept(settingsFor(config));
    for (int round = 0; round < Rounds; ++round) {
        const Timed computer = walk(config, rtComputer, &addresses);
        const Timed folder = walk(config, rtSharedFolder);
        const Timed again = walk(config, rtSharedFolder, nullptr, &kept);
        keptScan.push_back(again.ms);
        keptRatio.push_back(again.ms / computer.ms);
        const Timed one = sambaListings(config, addresses, 1);
        const Timed parallel = sambaListings(config, addresses, 16);
        computerScan.push_back(computer.ms);
        folderScan.push_back(folder.ms);
        ratio.push_back(folder.ms / computer.ms);
        oneByOne.push_back(one.ms);
        sixteen.push_back(parallel.ms);
        computers = computer.computers;
        folders = folder.computers;
        listedOne = one.computers;
        listedSixteen = parallel.computers;
        std::printf("round %d: computer scan %.1f ms, folder scan %.1f ms (%.2f), on a kept "
                    "platform %.1f ms (%.2f), smbclient -L %.1f ms one at a time, %.1f ms 16 at a "
                    "time\n",
                    round, computer.ms, folder.ms, folder.ms / computer.ms, again.ms,
                    again.ms / computer.ms, one.ms, parallel.ms);
    }
    std::printf("computer scan: %.1f ms for %d computers (median of %d)\n", median(computerScan),
                computers, Rounds);
    std::printf("folder scan: %.1f ms for %d folders (median of %d)\n", median(folderScan), folders,
                Rounds);
    std::printf("ratio folder scan / computer scan: %.2f (median of paired runs)\n", median(ratio));
    std::printf("folder scan on a kept platform: %.1f ms, ratio %.2f (median of paired runs)\n",
                median(keptScan), median(keptRatio));
    std::printf("smbclient -L over %d addresses: %.1f ms one at a time (%d listed), %.1f ms 16 at "
                "a time (%d listed)\n",
                int(addresses.size()), median(oneByOne), listedOne, median(sixteen), listedSixteen);
    return 0;
}

// Lists the shares of every server as a share scan does: each checked
// ahead on the look-up pool, then listed in order. The wall time and how
// many servers listed.
// `listAhead`: the listings run ahead too, side by side, else in order.
Timed listServers(const QString& config, const QStringList& servers, std::size_t limit,
                  bool listAhead) {
    QElapsedTimer timer;
    timer.start();
    LinuxPlatform platform(settingsFor(config));
    std::vector<NetResource> computers(static_cast<std::size_t>(servers.size()));
    for (std::size_t i = 0; i < computers.size(); ++i)
        computers[i].remoteName = "\\\\" + servers[qsizetype(i)].toStdString();
    StopRequest stop;
    const auto pool = limit > 0 ? std::make_unique<LookupPool>(limit) : nullptr;
    LookAhead<bool> checks(
        pool.get(), computers.size(),
        [&](std::size_t i) {
            if (listAhead)
                platform.listAhead(computers[i],
                                   [] { return std::optional(std::optional<Credentials>()); });
            else
                platform.prepareListing(computers[i]);
            return true;
        },
        stop, platform);
    int listed = 0;
    std::vector<NetResource> batch;
    for (std::size_t i = 0; i < computers.size(); ++i) {
        checks.take(i);
        EnumHandle handle = 0;
        if (platform.openEnum(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, RESOURCEUSAGE_CONNECTABLE,
                              &computers[i], &handle) != win::NoError)
            continue;
        DWORD count = EnumAllEntries;
        DWORD size = static_cast<DWORD>(EnumBufferSize);
        listed += platform.enumResource(handle, &count, &batch, &size) == win::NoError;
        platform.closeEnum(handle);
    }
    return {double(timer.nsecsElapsed()) / 1e6, listed};
}

int manyServersCost(const QString& config, const QString& first, int count) {
    const std::uint32_t start = ntohl(NetworkPlatform::inetAddr(first.toLatin1().constData()));
    QStringList servers;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t address = htonl(start + std::uint32_t(i));
        servers << QString::fromStdString(NetworkPlatform::inetNtoa(address));
    }
    std::vector<double> ahead, checksAhead, inOrder;
    int listedAhead = 0, listedChecksAhead = 0, listedInOrder = 0;
    for (int round = 0; round < Rounds; ++round) {
        const Timed withLookAhead = listServers(config, servers, LookAheadLimit, true);
        const Timed onlyChecks = listServers(config, servers, LookAheadLimit, false);
        const Timed sequential = listServers(config, servers, 0, false);
        ahead.push_back(withLookAhead.ms);
        checksAhead.push_back(onlyChecks.ms);
        inOrder.push_back(sequential.ms);
        listedAhead = withLookAhead.computers;
        listedChecksAhead = onlyChecks.computers;
        listedInOrder = sequential.computers;
        std::printf("round %d: %d servers listed in %.1f ms side by side, %d in %.1f ms with "
                    "only the checks ahead, %d in %.1f ms one at a time\n",
                    round, withLookAhead.computers, withLookAhead.ms, onlyChecks.computers,
                    onlyChecks.ms, sequential.computers, sequential.ms);
    }
    std::printf("%d servers: %.1f ms side by side (%d listed), %.1f ms with only the checks "
                "ahead (%d listed), %.1f ms one at a time (%d listed; median of %d)\n",
                count, median(ahead), listedAhead, median(checksAhead), listedChecksAhead,
                median(inOrder), listedInOrder, Rounds);
    return 0;
}

int oneScan(const QString& config, int resourceType) {
    // The walk names its error boxes on standard error.
    const Timed timed = walk(config, resourceType);
    std::printf("%s scan: %.1f ms, %d rows\n", resourceType == rtComputer ? "computer" : "folder",
                timed.ms, timed.computers);
    return 0;
}

// Long enough for a Linux host to send a burst of refusals again.
constexpr std::chrono::seconds RefusalBudgetRefill{8};
constexpr int BackToBackScans = 5;

int backToBackCost(const QString& config) {
    for (const bool remembered : {false, true}) {
        std::this_thread::sleep_for(RefusalBudgetRefill);
        std::vector<double> later;
        std::printf("%s the refusals' memory:", remembered ? "with" : "without");
        for (int scan = 0; scan < BackToBackScans; ++scan) {
            const Timed timed = walk(config, rtComputer, nullptr, nullptr,
                                     remembered ? &NameServiceRefusals::shared() : nullptr);
            std::printf(" %.0f", timed.ms);
            if (scan > 0)
                later.push_back(timed.ms);
        }
        std::printf(" ms; scans after the first: %.0f ms (median)\n", median(later));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--sequential")))
        lookAheadLimit = 0;
    const QString labDir = qEnvironmentVariable("NORVANE_LAB_DIR", "/tmp/norvane-lab");
    const QString config = labDir + "/client/smb.conf";
    if (const qsizetype at = app.arguments().indexOf(QStringLiteral("--once"));
        at >= 0 && at + 1 < app.arguments().size())
        return oneScan(config, app.arguments()[at + 1] == QStringLiteral("folders") ? rtSharedFolder
                                                                                    : rtComputer);
    if (app.arguments().contains(QStringLiteral("--folders")))
        return folderScanCost(config);
    if (app.arguments().contains(QStringLiteral("--back-to-back")))
        return backToBackCost(config);
    if (const qsizetype at = app.arguments().indexOf(QStringLiteral("--servers"));
        at >= 0 && at + 2 < app.arguments().size())
        return manyServersCost(config, app.arguments()[at + 1], app.arguments()[at + 2].toInt());
    std::vector<double> platformPerComputer;
    std::vector<double> toolsPerComputer;
    int computers = 0;
    for (int round = 0; round < Rounds; ++round) {
        const Timed ours = walk(config);
        const Timed theirs = sambaTools(config);
        if (ours.computers == 0 || theirs.computers == 0) {
            std::fprintf(stderr, "round %d: no computers found (ours %d, tools %d)\n", round,
                         ours.computers, theirs.computers);
            return 1;
        }
        computers = ours.computers;
        platformPerComputer.push_back(ours.ms / ours.computers);
        toolsPerComputer.push_back(theirs.ms / theirs.computers);
        std::printf("round %d: walk %.1f ms for %d computers, samba tools %.1f ms for %d\n", round,
                    ours.ms, ours.computers, theirs.ms, theirs.computers);
    }
    const double ours = median(platformPerComputer);
    const double theirs = median(toolsPerComputer);
    std::printf("computers: %d\n", computers);
    std::printf("walk with the Linux platform: %.1f ms per computer (median of %d)\n", ours,
                Rounds);
    std::printf("smbtree -S + nmblookup + nmblookup -A: %.1f ms per computer (median of %d)\n",
                theirs, Rounds);
    std::printf("ratio walk / samba tools: %.2f\n", ours / theirs);
    modernHostsCost(labDir, config);
    staleEntriesCost(config);
    return 0;
}
