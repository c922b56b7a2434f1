// Cost of the walk itself: 100 workgroups of 100 computers each over the
// scripted platform with zero latency, every computer resolving and
// answering its adapter status query. Prints the time per computer row and
// the peak resident memory, once with the rows kept and once with them
// dropped, so that memory growing with anything but the rows shows.

#include "fake/FakePlatform.h"
#include "scan/ScanWorker.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/resource.h>

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
