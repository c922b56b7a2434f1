#pragma once

// What a scan lists and the rows it produces.

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

namespace norvane {

enum TResourceType : int { rtComputer = 0, rtSharedFolder = 1, rtSharedPrinter = 2 };

constexpr int ResourceTypeCount = 3;

// Display names, indexed by resource type.
extern const std::array<const char*, ResourceTypeCount> ResourceTypeNames;

// Column captions of every column a list can have.
extern const std::array<const char*, 5> ColumnCaptions;

constexpr int ColumnWidth = 110;

// Row images, indices into the main window's image list.
enum RowImage : int {
    imgNone = -1,
    imgComputer = 0,
    imgSharedFolder = 1,
    imgSharedPrinter = 2,
    imgUnresolvedComputer = 3,
    imgSortUp = 4,
    imgSortDown = 5,
    imgHourglass = 6,
    imgLocalIntranet = 7,
};

inline constexpr const char* NoIpAddress = "?.?.?.?";
inline constexpr const char* NoMacAddress = "?-?-?-?-?-?";

// A stored or selected type outside 0..2 is scanned as computers.
TResourceType resourceTypeFromIndex(int index);

// "Computer", "Shared folder", "Shared printer".
QString resourceTypeName(TResourceType type);
// The resource box text and the report's kind name: the display name and "s".
QString resourceTypePlural(TResourceType type);

// The column captions of a list of the given type, in order.
QStringList columnCaptions(TResourceType type);

// One result row: a caption (the first column), an image and the texts of
// the following columns in order.
struct ResultRow {
    QString caption;
    int image = imgNone;
    QStringList subItems;

    bool operator==(const ResultRow&) const = default;
};

using ResultRows = std::vector<ResultRow>;

// "12 Computer(s) found".
QString foundCountText(qsizetype rowCount, TResourceType type);

} // namespace norvane
