#include "ScanModel.h"

namespace norvane {

const std::array<const char*, ResourceTypeCount> ResourceTypeNames = {"Computer", "Shared folder",
                                                                      "Shared printer"};

const std::array<const char*, 5> ColumnCaptions = {"Name", "IP Address", "Group", "Comment",
                                                   "MAC Address"};

TResourceType resourceTypeFromIndex(int index) {
    if (index < rtComputer || index > rtSharedPrinter)
        return rtComputer;
    return static_cast<TResourceType>(index);
}

QString resourceTypeName(TResourceType type) {
    return QString::fromLatin1(ResourceTypeNames[resourceTypeFromIndex(type)]);
}

QString resourceTypePlural(TResourceType type) {
    return resourceTypeName(type) + QLatin1Char('s');
}

QStringList columnCaptions(TResourceType type) {
    if (type == rtComputer)
        return {ColumnCaptions[0], ColumnCaptions[1], ColumnCaptions[2], ColumnCaptions[3],
                ColumnCaptions[4]};
    return {ColumnCaptions[0], ColumnCaptions[2], ColumnCaptions[3]};
}

QString foundCountText(qsizetype rowCount, TResourceType type) {
    return QString::number(rowCount) + QLatin1Char(' ') + resourceTypeName(type) +
           QStringLiteral("(s) found");
}

} // namespace norvane
