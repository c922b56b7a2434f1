// Records made-up nightly scans into a store, one after another, as a
// scanner on a site would; prints "recorded NIGHT" once each is committed.
// The store's process tests run several at once and kill them mid-write.
//
//   store_writer STORE SITE ROWS [SCANS]   (no SCANS: until killed)

#include "ScanFactory.h"
#include "store/ScanStore.h"
#include "store/StoreError.h"

#include <QCoreApplication>

#include <cstdio>

using namespace norvane;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: store_writer STORE SITE ROWS [SCANS]\n");
        return 2;
    }
    QString error;
    const std::optional<StoreLocation> location = StoreLocation::parse(arguments[1], &error);
    if (!location) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    const int rows = arguments[3].toInt();
    const int scans = arguments.size() > 4 ? arguments[4].toInt() : -1;
    try {
        const auto store = ScanStore::open(*location);
        const int first = static_cast<int>(store
                                               ->scans(ScanFilter{.site = arguments[2],
                                                                  .resourceType = std::nullopt,
                                                                  .completeOnly = false})
                                               .size());
        for (int night = first; scans < 0 || night < first + scans; ++night) {
            store->record(test::madeUpScan(arguments[2], night, rows));
            std::printf("recorded %d\n", night);
            std::fflush(stdout);
        }
    } catch (const StoreError& failure) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.message()));
        return 1;
    }
    return 0;
}
