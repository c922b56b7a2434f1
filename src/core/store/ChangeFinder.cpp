#include "ChangeFinder.h"

#include <algorithm>

namespace norvane {

namespace {
// The scan to compare the latest (scans[0]) with; scans are newest first.
std::optional<StoredScan> olderScan(const std::vector<StoredScan>& scans,
                                    const ChangeQuery& query) {
    if (scans.size() < 2)
        return std::nullopt;
    if (query.since) {
        const auto before = std::find_if(scans.begin() + 1, scans.end(), [&](const StoredScan& s) {
            return s.header.started < *query.since;
        });
        // Nothing recorded before the date: the state at the first scan.
        return before != scans.end() ? *before : scans.back();
    }
    const auto back = std::clamp<std::size_t>(
        static_cast<std::size_t>(std::max(query.scansBack, 1)), 1, scans.size() - 1);
    return scans[back];
}
} // namespace

bool ChangeFindings::anyChange() const {
    return std::any_of(sections.begin(), sections.end(),
                       [](const ChangeSection& section) { return section.counts().any(); });
}

ChangeFindings findChanges(const ScanStore& store, const ChangeQuery& query) {
    ChangeFindings findings;
    const QStringList sites = query.site ? QStringList{*query.site} : store.sites();
    for (const QString& site : sites) {
        for (TResourceType type : {rtComputer, rtSharedFolder, rtSharedPrinter}) {
            if (query.resourceType && *query.resourceType != type)
                continue;
            const std::vector<StoredScan> scans =
                store.scans(ScanFilter{.site = site, .resourceType = type, .completeOnly = true});
            if (scans.empty())
                continue;
            const std::optional<StoredScan> older = olderScan(scans, query);
            if (!older) {
                findings.uncompared << site + QStringLiteral(": ") + resourceWord(type);
                continue;
            }
            const ScanContents before = store.load(older->id);
            const ScanContents after = store.load(scans.front().id);
            ChangeSection section{.site = site,
                                  .resourceType = type,
                                  .older = *older,
                                  .newer = scans.front(),
                                  .computers = {},
                                  .shares = {}};
            if (type == rtComputer)
                section.computers = compareComputers(before.computers, after.computers, true);
            else
                section.shares = compareShares(before.shares, after.shares, true);
            findings.sections.push_back(std::move(section));
        }
    }
    return findings;
}

} // namespace norvane
