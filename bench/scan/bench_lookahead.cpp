// Look-ahead over a network with latencies: 1000 computers in one
// workgroup, of which 200 have gone (every look-up, and every check before
// a share listing, waits the full name service budget) and 800 answer each
// in 2 ms, each with one shared folder. Prints the time of a whole computer
// scan and a whole folder scan with the look-ahead; with --sequential also
// the times with every look-up on the walk's thread (minutes).

#include "fake/FakePlatform.h"
#include "scan/ScanWorker.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>

using namespace norvane;
using namespace std::chrono_literals;

namespace {

// Three unanswered attempts of 750 ms.
constexpr auto NameServiceBudget = 2250ms;
constexpr auto AnswerTime = 2ms;
constexpr int Computers = 1000;
constexpr int GoneEvery = 5; // one in five has gone

class CountingOutput : public ScanOutput {
public:
    std::size_t rows = 0;
    void appendRow() override { ++rows; }
    void setCaption(const QString&) override {}
    void setImage(int) override {}
    void addSubItem(const QString&) override {}
    void setProgressMax(int) override {}
    void setProgressPosition(int) override {}
    void showError(const QString& text) override {
        std::fprintf(stderr, "unexpected error box: %s\n", qPrintable(text));
    }
};

double scanSeconds(test::FakePlatform& net, int type, std::size_t limit, std::size_t& rows) {
    ScanInputs inputs{"Microsoft Windows Network", type, 0};
    inputs.lookAheadLimit = limit;
    CountingOutput output;
    const auto start = std::chrono::steady_clock::now();
    ScanNetwork(net, inputs, output, [] { return false; });
    rows = output.rows;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char* argv[]) {
    const bool sequential = argc > 1 && std::strcmp(argv[1], "--sequential") == 0;
    test::FakePlatform net;
    net.recordCalls = false;
    net.addDomain("OFFICE");
    std::set<std::string> gone;
    for (int c = 0; c < Computers; ++c) {
        const std::string name = "PC" + std::to_string(c);
        net.addComputer("OFFICE", "\\\\" + name, "Workstation");
        net.addShare("\\\\" + name, "\\\\" + name + "\\docs", RESOURCETYPE_DISK);
        if (c % GoneEvery == GoneEvery - 1) {
            gone.insert(name);          // its name query goes unanswered
            gone.insert("\\\\" + name); // and so does the check before its shares
        } else {
            net.addHost(name, "10.0." + std::to_string(c / 250) + "." + std::to_string(c % 250),
                        {0x02, 0, 0, 0, std::uint8_t(c >> 8), std::uint8_t(c)});
        }
    }
    net.extraDelay = [&gone](const std::string& host) {
        return gone.count(host) != 0 ? std::chrono::milliseconds(NameServiceBudget) : AnswerTime;
    };
    std::printf("%d computers, %d gone, budget %.2f s, %zu look-ups at once\n", Computers,
                Computers / GoneEvery, std::chrono::duration<double>(NameServiceBudget).count(),
                LookAheadLimit);
    for (const auto& [type, kind] :
         {std::pair{rtComputer, "computers"}, std::pair{rtSharedFolder, "folders"}}) {
        std::size_t rows = 0;
        const double ahead = scanSeconds(net, type, LookAheadLimit, rows);
        std::printf("%s, look-ahead: %zu rows in %.2f s\n", kind, rows, ahead);
        if (sequential) {
            const double oneByOne = scanSeconds(net, type, 0, rows);
            std::printf("%s, sequential: %zu rows in %.2f s\n", kind, rows, oneByOne);
        }
    }
    return 0;
}
