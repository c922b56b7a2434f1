#include "ComputerRecord.h"

namespace norvane {

QStringList foundByNames(FoundBySet sources) {
    static constexpr std::pair<FoundBy, const char*> Names[] = {
        {FoundBy::BrowseList, "browse list"},
        {FoundBy::WsDiscovery, "WS-Discovery"},
        {FoundBy::DnsSd, "DNS-SD"},
        {FoundBy::Directory, "directory"},
        {FoundBy::AddressRange, "address range"},
    };
    QStringList names;
    for (const auto& [source, name] : Names) {
        if (sources.contains(source))
            names << QString::fromLatin1(name);
    }
    return names;
}

QString operatingSystemText(const ComputerRecord& computer) {
    return (computer.operatingSystem + QLatin1Char(' ') + computer.osVersion).trimmed();
}

} // namespace norvane
