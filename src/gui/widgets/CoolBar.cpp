#include "CoolBar.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <numeric>

namespace norvane {

namespace {
constexpr int GripWidth = 8;
constexpr int TextPadding = 6;
constexpr int RowPadding = 2;  // one pixel above and below a band's control
constexpr int RightMargin = 2; // between a control and the next band
constexpr int DefaultMinWidth = 24;
} // namespace

CoolBar::CoolBar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

int CoolBar::addBand(QWidget* control, const BandOptions& options) {
    Band band;
    band.control = control;
    band.options = options;
    band.width = options.width;
    control->setParent(this);
    control->installEventFilter(this);
    m_bands.push_back(band);
    relayout();
    return bandCount() - 1;
}

int CoolBar::bandIndexOf(const QWidget* control) const {
    for (int i = 0; i < bandCount(); ++i) {
        if (m_bands[static_cast<std::size_t>(i)].control == control)
            return i;
    }
    return -1;
}

void CoolBar::setBandVisible(int index, bool visible) {
    Band& band = m_bands.at(static_cast<std::size_t>(index));
    if (band.visible == visible)
        return;
    band.visible = visible;
    // The band shows and hides its control with it.
    band.control->setVisible(visible);
    relayout();
}

bool CoolBar::isBandVisible(int band) const {
    return m_bands.at(static_cast<std::size_t>(band)).visible;
}

bool CoolBar::bandBreak(int band) const {
    return m_bands.at(static_cast<std::size_t>(band)).options.breakBefore;
}

QRect CoolBar::bandRect(int band) const {
    return m_bands.at(static_cast<std::size_t>(band)).rect;
}

int CoolBar::rowCount() const {
    return static_cast<int>(rows().size());
}

std::vector<CoolBand> CoolBar::coolBands() const {
    std::vector<CoolBand> bands;
    for (const Band& band : m_bands)
        bands.push_back(
            {bandHeight(band), band.options.breakBefore, band.options.fixedSize, takesPart(band)});
    return bands;
}

void CoolBar::applyBreaks(const std::vector<CoolBand>& bands) {
    bool changed = false;
    for (std::size_t i = 0; i < m_bands.size() && i < bands.size(); ++i) {
        changed = changed || m_bands[i].options.breakBefore != bands[i].breakBefore;
        m_bands[i].options.breakBefore = bands[i].breakBefore;
    }
    if (changed)
        relayout();
}

void CoolBar::toggleBandMaximized(int index) {
    const auto allRows = rows();
    for (const auto& row : allRows) {
        auto at = std::find(row.begin(), row.end(), index);
        if (at == row.end())
            continue;
        Band& band = m_bands[static_cast<std::size_t>(index)];
        if (band.options.fixedSize)
            return;
        int othersMinimum = 0;
        for (int other : row) {
            if (other != index)
                othersMinimum += minimumBandWidth(m_bands[static_cast<std::size_t>(other)]);
        }
        const int widest = std::max(minimumBandWidth(band), width() - othersMinimum);
        if (band.rect.width() < widest) {
            band.width = widest;
            for (int other : row) {
                if (other != index)
                    m_bands[static_cast<std::size_t>(other)].width =
                        minimumBandWidth(m_bands[static_cast<std::size_t>(other)]);
            }
        } else {
            band.width = minimumBandWidth(band);
            // The last band of a row always reaches the right edge, so its
            // neighbour takes the space it gives up.
            if (at + 1 == row.end() && at != row.begin())
                m_bands[static_cast<std::size_t>(*(at - 1))].width = width();
        }
        relayout();
        return;
    }
}

QSize CoolBar::sizeHint() const {
    int widest = 0;
    int height = 0;
    for (const auto& row : rows()) {
        int rowWidth = 0;
        int rowHeight = 0;
        for (int index : row) {
            const Band& band = m_bands[static_cast<std::size_t>(index)];
            rowWidth += std::max(band.options.width, minimumBandWidth(band));
            rowHeight = std::max(rowHeight, bandHeight(band));
        }
        widest = std::max(widest, rowWidth);
        height += rowHeight;
    }
    return {widest, height};
}

QSize CoolBar::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

bool CoolBar::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) &&
        bandIndexOf(qobject_cast<QWidget*>(watched)) >= 0)
        relayout();
    return QWidget::eventFilter(watched, event);
}

void CoolBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void CoolBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& colours = palette();
    for (const Band& band : m_bands) {
        if (!takesPart(band))
            continue;
        if (band.rect.top() > 0) {
            painter.setPen(colours.color(QPalette::Dark));
            painter.drawLine(band.rect.left(), band.rect.top(), band.rect.right(), band.rect.top());
        }
        if (band.options.fixedSize)
            continue;
        // An etched grip: a light and a dark line.
        const int top = band.rect.top() + 3;
        const int bottom = band.rect.bottom() - 2;
        const int x = band.rect.left() + 2;
        painter.setPen(colours.color(QPalette::Light));
        painter.drawLine(x, top, x, bottom);
        painter.setPen(colours.color(QPalette::Dark));
        painter.drawLine(x + 1, top, x + 1, bottom);
        if (!band.options.text.isEmpty()) {
            painter.setPen(colours.color(QPalette::WindowText));
            const QRect textRect = band.headerRect.adjusted(GripWidth, 0, 0, 0);
            painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, band.options.text);
        }
    }
}

void CoolBar::mouseDoubleClickEvent(QMouseEvent* event) {
    for (int i = 0; i < bandCount(); ++i) {
        const Band& band = m_bands[static_cast<std::size_t>(i)];
        if (takesPart(band) && band.headerRect.contains(event->position().toPoint())) {
            toggleBandMaximized(i);
            return;
        }
    }
    QWidget::mouseDoubleClickEvent(event);
}

bool CoolBar::takesPart(const Band& band) const {
    return band.visible && band.control != nullptr && !band.control->isHidden();
}

int CoolBar::bandHeight(const Band& band) const {
    return std::max(band.options.minHeight, band.control->sizeHint().height()) + RowPadding;
}

int CoolBar::headerWidth(const Band& band) const {
    if (band.options.fixedSize)
        return 0;
    if (band.options.text.isEmpty())
        return GripWidth;
    return GripWidth + fontMetrics().horizontalAdvance(band.options.text) + TextPadding;
}

int CoolBar::minimumBandWidth(const Band& band) const {
    if (band.options.fixedSize)
        return band.options.minWidth;
    return headerWidth(band) + std::max(band.options.minWidth, DefaultMinWidth) + RightMargin;
}

std::vector<std::vector<int>> CoolBar::rows() const {
    std::vector<std::vector<int>> result;
    for (int i = 0; i < bandCount(); ++i) {
        const Band& band = m_bands[static_cast<std::size_t>(i)];
        if (!takesPart(band))
            continue;
        if (result.empty() || band.options.breakBefore)
            result.emplace_back();
        result.back().push_back(i);
    }
    return result;
}

void CoolBar::relayout() {
    int y = 0;
    for (const auto& row : rows()) {
        int rowHeight = 0;
        for (int index : row)
            rowHeight = std::max(rowHeight, bandHeight(m_bands[static_cast<std::size_t>(index)]));
        int x = 0;
        for (std::size_t k = 0; k < row.size(); ++k) {
            Band& band = m_bands[static_cast<std::size_t>(row[k])];
            int restMinimum = 0;
            for (std::size_t j = k + 1; j < row.size(); ++j)
                restMinimum += minimumBandWidth(m_bands[static_cast<std::size_t>(row[j])]);
            const int minimum = minimumBandWidth(band);
            int bandWidth;
            if (band.options.fixedSize)
                bandWidth = minimum;
            else if (k + 1 == row.size())
                bandWidth = std::max(minimum, width() - x);
            else
                bandWidth = std::max(
                    minimum, std::min(std::max(band.width, minimum), width() - x - restMinimum));
            const int header = headerWidth(band);
            band.rect = QRect(x, y, bandWidth, rowHeight);
            band.headerRect = QRect(x, y, header, rowHeight);
            const int controlRight = band.options.fixedSize ? 0 : RightMargin;
            band.control->setGeometry(x + header, y + RowPadding / 2,
                                      std::max(0, bandWidth - header - controlRight),
                                      rowHeight - RowPadding);
            x += bandWidth;
        }
        y += rowHeight;
    }
    if (y != height()) {
        setFixedHeight(y);
        updateGeometry();
    }
    update();
    emit layoutChanged();
}

CoolBarSplitter::CoolBarSplitter(CoolBar* coolBar, QWidget* parent)
    : QWidget(parent), m_coolBar(coolBar) {
    setFixedHeight(Thickness);
    setCursor(Qt::SizeVerCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void CoolBarSplitter::dragTo(int newHeight) {
    std::vector<CoolBand> bands = m_coolBar->coolBands();
    SplitterCanResize(bands, newHeight);
    m_coolBar->applyBreaks(bands);
}

void CoolBarSplitter::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragging = true;
    m_pressY = qRound(event->globalPosition().y());
    m_pressHeight = m_coolBar->height();
}

void CoolBarSplitter::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging)
        return QWidget::mouseMoveEvent(event);
    dragTo(m_pressHeight + qRound(event->globalPosition().y()) - m_pressY);
}

void CoolBarSplitter::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

} // namespace norvane
