// The scan store's speed and size: recording a 10,000-row scan, comparing
// two 10,000-row scans (both loaded from the store), and the size of a
// year of nightly 1,000-computer scans in SQLite, with the time opening
// that file takes. SQLite in a temporary folder, or the store given:
//
//   bench_store [STORE_URL]
//
// On a shared 2-core machine, medians of five: SQLite records a 10,000-row
// scan in 41 ms and compares two in 52 ms (18 ms of it loading one); a year
// of nightly 1,000-computer scans takes 61.6 MB and opens (with its
// integrity check) in 145 ms. The test cluster's PostgreSQL (Unix socket,
// fsync off) records in 255-265 ms and compares in 95 ms. With the machine
// loaded tenfold by other builds, SQLite took 99-126 ms and 127-168 ms.
// Opening that year's file and listing its 365 scans, as the window's
// History dialog does off its UI thread: 209 ms on the loaded machine.

#include "ScanFactory.h"
#include "store/ChangeFinder.h"
#include "store/ScanStore.h"
#include "store/StoreError.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace norvane;

namespace {
constexpr int Runs = 5;
constexpr int LargeScanRows = 10000;
constexpr int YearNights = 365;
constexpr int NightlyRows = 1000;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

qint64 storeSize(const QString& path) {
    qint64 size = 0;
    for (const char* suffix : {"", "-wal", "-shm"})
        size += QFileInfo(path + QLatin1String(suffix)).size();
    return size;
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    StoreLocation location;
    location.sqlitePath = folder.filePath(QStringLiteral("bench.sqlite"));
    if (argc > 1) {
        QString error;
        const std::optional<StoreLocation> given =
            StoreLocation::parse(QString::fromLocal8Bit(argv[1]), &error);
        if (!given) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 2;
        }
        location = *given;
    }
    try {
        const auto store = ScanStore::open(location);
        std::vector<double> recordMs;
        for (int run = 0; run < Runs; ++run) {
            const ScanContents scan =
                test::madeUpScan(QStringLiteral("bench-large"), run, LargeScanRows);
            QElapsedTimer timer;
            timer.start();
            store->record(scan);
            recordMs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        std::vector<double> compareMs;
        std::size_t changes = 0;
        for (int run = 0; run < Runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            const ChangeFindings findings =
                findChanges(*store, ChangeQuery{.site = QStringLiteral("bench-large"),
                                                .since = std::nullopt,
                                                .scansBack = 1,
                                                .resourceType = rtComputer});
            compareMs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            changes = findings.sections.at(0).computers.size();
        }
        std::vector<double> loadMs;
        const qint64 latest = store->scans().front().id;
        for (int run = 0; run < Runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            store->load(latest);
            loadMs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        std::printf("record a %d-row scan:            median %.1f ms (limit 300 ms)\n",
                    LargeScanRows, median(recordMs));
        std::printf("compare two %d-row scans:        median %.1f ms (limit 200 ms), %zu changes\n",
                    LargeScanRows, median(compareMs), changes);
        std::printf("  of which loading one scan:      median %.1f ms\n", median(loadMs));
    } catch (const StoreError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    if (location.kind != StoreLocation::Kind::Sqlite)
        return 0;

    StoreLocation year;
    year.sqlitePath = folder.filePath(QStringLiteral("year.sqlite"));
    {
        const auto store = ScanStore::open(year);
        for (int night = 0; night < YearNights; ++night)
            store->record(test::madeUpScan(QStringLiteral("site"), night, NightlyRows));
    }
    QElapsedTimer timer;
    timer.start();
    ScanStore::open(year);
    const double openMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::printf("a year of nightly %d-computer scans: %.1f MB (limit 100 MB), opened in %.0f ms\n",
                NightlyRows, static_cast<double>(storeSize(year.sqlitePath)) / 1e6, openMs);
    // What the window's History dialog waits for (off its UI thread).
    timer.restart();
    const std::size_t listed = ScanStore::open(year)->scans().size();
    std::printf("the History list of that year (open, list %zu scans): %.0f ms\n", listed,
                static_cast<double>(timer.nsecsElapsed()) / 1e6);
    return 0;
}
