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
// after the other, as before the look-ahead.

#include "linux/LinuxPlatform.h"
#include "scan/HostIdentity.h"
#include "scan/ScanWorker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
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
    void appendRow() override { ++rows; }
    void setCaption(const QString&) override {}
    void setImage(int image) override { unresolved += image == imgUnresolvedComputer; }
    void addSubItem(const QString&) override {}
    void setProgressMax(int) override {}
    void setProgressPosition(int) override {}
    void showError(const QString& text) override { errors << text; }
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

Timed walk(const QString& config, int resourceType = rtComputer) {
    LinuxPlatformSettings settings;
    settings.smbConfigFile = config.toStdString();
    QElapsedTimer timer;
    timer.start();
    LinuxPlatform platform(settings);
    ScanInputs inputs;
    inputs.providerName = LanManProviderName;
    inputs.resourceType = resourceType;
    inputs.lookAheadLimit = lookAheadLimit;
    EnumLana(platform, inputs.lanaNum);
    CountingOutput output;
    ScanNetwork(platform, inputs, output, [] { return false; });
    if (!output.errors.isEmpty())
        std::fprintf(stderr, "walk error: %s\n", qPrintable(output.errors.join("; ")));
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--sequential")))
        lookAheadLimit = 0;
    const QString labDir = qEnvironmentVariable("NORVANE_LAB_DIR", "/tmp/norvane-lab");
    const QString config = labDir + "/client/smb.conf";
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
