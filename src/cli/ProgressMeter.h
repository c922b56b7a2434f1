#pragma once

// The progress of a command-line scan on standard error, as the window shows
// it: a bar over the workgroups and domains walked so far, and the number of
// rows found. Drawn in place on one line, and only on a terminal.

#include "Console.h"
#include "scan/ResultRow.h"

#include <QElapsedTimer>
#include <QString>

#include <chrono>

namespace norvane {

class ProgressMeter {
public:
    // A scan may add thousands of rows a second; the line is redrawn at most
    // this often.
    static constexpr std::chrono::milliseconds RedrawInterval{100};
    static constexpr int BarWidth = 30;

    ProgressMeter(Console& console, TResourceType type, bool shown);

    void setMaximum(int maximum);
    void setPosition(int position);
    void setRowCount(qsizetype rows);
    // Removes the line, so that a message or the shell prompt starts clean.
    void clear();

    // "[#######.......] group 2 of 4, 12 Computer(s) found": `maximum` and
    // `position` as the walk reports them (the last index and the current
    // one). On a terminal `columns` wide (0: unknown) the line stays within
    // the width less one, so that it never wraps: the bar narrows, then goes,
    // then the text is cut.
    static QString line(int position, int maximum, qsizetype rows, TResourceType type,
                        int columns = 0);

private:
    void redraw();

    Console& m_console;
    const TResourceType m_type;
    const bool m_shown;
    int m_maximum = -1;
    int m_position = 0;
    qsizetype m_rows = 0;
    bool m_drawn = false;
    QElapsedTimer m_sinceRedraw;
};

} // namespace norvane
