#pragma once

// What a scan lists and the rows it produces.

#include "records/ComputerRecord.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace norvane {

enum TResourceType : int { rtComputer = 0, rtSharedFolder = 1, rtSharedPrinter = 2 };

constexpr int ResourceTypeCount = 3;

// Display names, indexed by resource type.
extern const std::array<const char*, ResourceTypeCount> ResourceTypeNames;

// The columns of a computer list and of a share list, in order.
enum class ComputerColumn : int { Name, Ip, Group, Comment, Mac };
enum class ShareColumn : int { Name, Group, Comment };
constexpr int ComputerColumnCount = 5;
constexpr int ShareColumnCount = 3;

constexpr int ColumnWidth = 110;

// Row images: the first images of the main window's image list, whose
// order the window's own images follow.
enum RowImage : int {
    imgNone = -1,
    imgComputer = 0,
    imgSharedFolder = 1,
    imgSharedPrinter = 2,
    imgUnresolvedComputer = 3,
};

inline constexpr const char* NoIpAddress = "?.?.?.?";
inline constexpr const char* NoMacAddress = "?-?-?-?-?-?";

// A stored or selected type outside 0..2 is scanned as computers.
TResourceType resourceTypeFromIndex(int index);

// "Computer", "Shared folder", "Shared printer".
QString resourceTypeName(TResourceType type);
// The resource box text and the report's kind name: the display name and "s".
QString resourceTypePlural(TResourceType type);

// The image of a row listing a resource of the given type.
RowImage resourceImage(TResourceType type);
// The enumeration type that lists a computer's resources of the given type
// (shared folders: disk, shared printers: print).
std::uint32_t enumerationType(TResourceType type);

// The column captions of a list of the given type, in order.
QStringList columnCaptions(TResourceType type);

// One result row: a caption (the first column), an image and the texts of
// the following columns in order, and the record it shows (a computer's or
// a share's), where the walk gave one. Rows are equal when they show the
// same: the record holds more than the list shows.
struct ResultRow {
    ResultRow() = default;
    ResultRow(QString rowCaption, int rowImage = imgNone, QStringList rowSubItems = {})
        : caption(std::move(rowCaption)), image(rowImage), subItems(std::move(rowSubItems)) {}

    QString caption;
    int image = imgNone;
    QStringList subItems;
    std::shared_ptr<const ComputerRecord> computer;
    std::shared_ptr<const ShareRecord> share;

    bool operator==(const ResultRow& other) const {
        return caption == other.caption && image == other.image && subItems == other.subItems;
    }
};

using ResultRows = std::vector<ResultRow>;

// The text of a row in a column of its list: the caption in the first
// column, then the sub-items; a missing sub-item is empty.
QString cellText(const ResultRow& row, int column);
inline QString cellText(const ResultRow& row, ComputerColumn column) {
    return cellText(row, static_cast<int>(column));
}

// "12 Computer(s) found".
QString foundCountText(qsizetype rowCount, TResourceType type);

// "1 computer refused the log-on", "3 computers refused the log-on".
QString logOnRefusalText(qsizetype computers);
// The status note of a scan whose sources left computers out ("1 source
// not read").
QString incompleteSourceText(qsizetype sources);

} // namespace norvane
