#include "ProgressMeter.h"

#include <algorithm>

namespace norvane {

namespace {
// Carriage return and "erase to the end of the line".
constexpr QLatin1StringView StartOfLine("\r\x1b[K");
// "[" and "] " around the bar.
constexpr qsizetype BarFrame = 3;
// A narrower bar tells nothing; the line goes without it.
constexpr int MinimumBarWidth = 5;
} // namespace

ProgressMeter::ProgressMeter(Console& console, TResourceType type, bool shown)
    : m_console(console), m_type(type), m_shown(shown) {}

void ProgressMeter::setMaximum(int maximum) {
    m_maximum = maximum;
    redraw();
}

void ProgressMeter::setPosition(int position) {
    m_position = position;
    redraw();
}

void ProgressMeter::setRowCount(qsizetype rows) {
    m_rows = rows;
    if (!m_sinceRedraw.isValid() || m_sinceRedraw.elapsed() >= RedrawInterval.count())
        redraw();
}

void ProgressMeter::clear() {
    if (m_drawn)
        m_console.writeError(StartOfLine);
    m_drawn = false;
}

QString ProgressMeter::line(int position, int maximum, qsizetype rows, TResourceType type,
                            int columns) {
    // The window's bar: a range of 0..maximum, at least 0..1.
    const int range = maximum > 0 ? maximum : 1;
    const int clamped = std::clamp(position, 0, range);
    QString text;
    if (maximum >= 0)
        text += QStringLiteral("group %1 of %2, ").arg(clamped + 1).arg(maximum + 1);
    text += foundCountText(rows, type);
    // The last column is left free: a terminal that wraps there would move
    // the next redraw to a line of its own.
    const qsizetype room = columns > 0 ? columns - 1 : BarWidth + BarFrame + text.size();
    const int width =
        static_cast<int>(std::min<qsizetype>(BarWidth, room - BarFrame - text.size()));
    if (width < MinimumBarWidth)
        return text.left(std::max<qsizetype>(room, 0));
    const int filled = static_cast<int>(static_cast<qint64>(clamped) * width / range);
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
           QString(width - filled, QLatin1Char('.')) + QStringLiteral("] ") + text;
}

void ProgressMeter::redraw() {
    if (!m_shown)
        return;
    m_console.writeError(StartOfLine +
                         line(m_position, m_maximum, m_rows, m_type, m_console.errorColumns()));
    m_drawn = true;
    m_sinceRedraw.start();
}

} // namespace norvane
