// Cost of the walk itself: 100 workgroups of 100 computers each over the
// scripted platform with zero latency, every computer resolving and
// answering its adapter status query. Prints the time per computer row, the
// CPU time of every thread of the process per row (less noisy on a busy
// machine), with the look-ahead and with the sequential walk, as medians of
// several runs, and the peak resident memory, once with the rows kept and
// once with them dropped, so that memory growing with anything but the rows
// shows.

#include "fake/FakePlatform.h"
#include "scan/ScanWorker.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace norvane;

namespace {

class CountingOutput : public ScanOutput {
public:
    explicit CountingOutput(bool keepRows) : m_keep(keepRows) {}
    std::size_t rows = 0;
    ResultRows kept;

    void appendRow() override {
        ++rows;
        if (m_keep)
            kept.emplace_back();
    }
    void setCaption(const QString& caption) override {
        if (m_keep)
            kept.back().caption = caption;
    }
    void setImage(int image) override {
        if (m_keep)
            kept.back().image = image;
    }
    void addSubItem(const QString& text) override {
        if (m_keep)
            kept.back().subItems << text;
    }
    void setProgressMax(int) override {}
    void setProgressPosition(int) override {}
    void showError(const QString& text) override {
        std::fprintf(stderr, "unexpected error box: %s\n", qPrintable(text));
    }

private:
    bool m_keep;
};

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double cpuMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

constexpr int Runs = 7;

} // namespace

int main() {
    constexpr int Groups = 100;
    constexpr int PerGroup = 100;
    test::FakePlatform net;
    net.recordCalls = false;
    for (int g = 0; g < Groups; ++g) {
        const std::string group = "WORKGROUP" + std::to_string(g);
        net.addDomain(group);
        for (int c = 0; c < PerGroup; ++c) {
            const std::string name = "PC" + std::to_string(g) + "-" + std::to_string(c);
            net.addComputer(group, "\\\\" + name, "Workstation of office " + std::to_string(g));
            net.addHost(name, "10." + std::to_string(g) + ".0." + std::to_string(c + 1),
                        {0x02, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(g),
                         static_cast<std::uint8_t>(c)});
        }
    }
    const long baseline = peakRssKiB();
    for (const std::size_t limit : {LookAheadLimit, std::size_t(0)}) {
        const ScanInputs inputs{.providerName = "Microsoft Windows Network",
                                .resourceType = rtComputer,
                                .lanaNum = 0,
                                .lookAheadLimit = limit,
                                .sources = {}};
        std::vector<double> wall;
        std::vector<double> cpu;
        for (int run = 0; run < Runs; ++run) {
            CountingOutput output(false);
            const double cpuStart = cpuMicroseconds();
            const auto start = std::chrono::steady_clock::now();
            ScanNetwork(net, inputs, output, [] { return false; });
            const std::chrono::duration<double, std::micro> elapsed =
                std::chrono::steady_clock::now() - start;
            const auto rows = static_cast<double>(output.rows);
            wall.push_back(elapsed.count() / rows);
            cpu.push_back((cpuMicroseconds() - cpuStart) / rows);
        }
        std::printf("%-11s rows dropped, median of %d: %.2f us/computer, CPU %.2f us/computer\n",
                    limit > 0 ? "look-ahead" : "sequential", Runs, median(wall), median(cpu));
    }
    const ScanInputs inputs{"Microsoft Windows Network", rtComputer, 0};
    for (bool keep : {false, true}) {
        CountingOutput output(keep);
        const auto start = std::chrono::steady_clock::now();
        const int code = ScanNetwork(net, inputs, output, [] { return false; });
        const std::chrono::duration<double, std::micro> elapsed =
            std::chrono::steady_clock::now() - start;
        std::printf("%-12s rows=%zu code=%d  %.2f us/computer  peak RSS %ld KiB (+%ld over the "
                    "scripted network)\n",
                    keep ? "rows kept" : "rows dropped", output.rows, code,
                    elapsed.count() / static_cast<double>(output.rows), peakRssKiB(),
                    peakRssKiB() - baseline);
    }
    return 0;
}
