#include "ResultRow.h"

#include "platform/NetworkPlatform.h"

namespace norvane {

const std::array<const char*, ResourceTypeCount> ResourceTypeNames = {"Computer", "Shared folder",
                                                                      "Shared printer"};

namespace {
const std::array<const char*, ComputerColumnCount> ComputerColumnCaptions = {
    "Name", "IP Address", "Group", "Comment", "MAC Address"};
const std::array<const char*, ShareColumnCount> ShareColumnCaptions = {"Name", "Group", "Comment"};
} // namespace

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

RowImage resourceImage(TResourceType type) {
    switch (type) {
    case rtSharedFolder:
        return imgSharedFolder;
    case rtSharedPrinter:
        return imgSharedPrinter;
    case rtComputer:
        break;
    }
    return imgComputer;
}

std::uint32_t enumerationType(TResourceType type) {
    return type == rtSharedPrinter ? RESOURCETYPE_PRINT : RESOURCETYPE_DISK;
}

QStringList columnCaptions(TResourceType type) {
    QStringList captions;
    if (type == rtComputer) {
        for (const char* caption : ComputerColumnCaptions)
            captions << QString::fromLatin1(caption);
    } else {
        for (const char* caption : ShareColumnCaptions)
            captions << QString::fromLatin1(caption);
    }
    return captions;
}

QString cellText(const ResultRow& row, int column) {
    if (column <= 0)
        return row.caption;
    return column - 1 < row.subItems.size() ? row.subItems.at(column - 1) : QString();
}

QString foundCountText(qsizetype rowCount, TResourceType type) {
    return QString::number(rowCount) + QLatin1Char(' ') + resourceTypeName(type) +
           QStringLiteral("(s) found");
}

QString logOnRefusalText(qsizetype computers) {
    return computers == 1 ? QStringLiteral("1 computer refused the log-on")
                          : QStringLiteral("%1 computers refused the log-on").arg(computers);
}

QString incompleteSourceText(qsizetype sources) {
    return sources == 1 ? QStringLiteral("1 source not read")
                        : QStringLiteral("%1 sources not read").arg(sources);
}

} // namespace norvane
