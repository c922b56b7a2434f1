#include "ResourceList.h"

namespace norvane {

int findResource(const ResourceList& list, const QString& text) {
    const int rows = list.rowCount();
    for (int row = 0; row < rows; ++row) {
        if (QString::compare(list.caption(row), text, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

} // namespace norvane
