#include "StatusPanels.h"

#include "ImageList.h"
#include "layout/ChromeLayout.h"

#include <QIcon>
#include <QPainter>
#include <QProgressBar>
#include <QResizeEvent>
#include <QTextDocument>
#include <QToolTip>
#include <qdrawutil.h>

namespace norvane {

namespace {
constexpr int ImageSize = 16;
constexpr int TextOffset = 21;

QPixmap listImage(int index) {
    return QIcon(QStringLiteral(":/images/list/%1.svg").arg(index)).pixmap(ImageSize, ImageSize);
}
} // namespace

StatusPanels::StatusPanels(QWidget* parent)
    : QWidget(parent), m_progress(new QProgressBar(this)), m_hourglass(listImage(imgHourglass)),
      m_intranet(listImage(imgLocalIntranet)), m_widths{DesignPanel0, DesignPanel1,
                                                        StatusPanel2Width} {
    setObjectName(QStringLiteral("StatusBar"));
    setFixedHeight(DesignHeight);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_progress->setObjectName(QStringLiteral("ProgressBar"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    // A smooth bar rather than the chunked style.
    m_progress->setStyleSheet(
        QStringLiteral("QProgressBar { border: 1px solid palette(mid); background: palette(base); }"
                       "QProgressBar::chunk { background: palette(highlight); }"));
}

void StatusPanels::setPanel0OwnerDrawn(bool ownerDrawn) {
    m_panel0OwnerDrawn = ownerDrawn;
    update();
}

void StatusPanels::setPanel0Text(const QString& text) {
    m_panel0Text = text;
    update();
}

void StatusPanels::setPanel1Note(const QString& text, const QString& toolTip) {
    m_panel1Text = text;
    m_panel1ToolTip = toolTip;
    m_progress->setHidden(!text.isEmpty());
    update();
}

bool StatusPanels::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (!m_panel1ToolTip.isEmpty() && panelRect(1).contains(help->pos()))
            QToolTip::showText(help->globalPos(),
                               Qt::convertFromPlainText(m_panel1ToolTip, Qt::WhiteSpaceNormal),
                               this, panelRect(1));
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

int StatusPanels::panelWidth(int panel) const {
    return m_widths[panel];
}

QRect StatusPanels::panelRect(int panel) const {
    int left = 0;
    for (int i = 0; i < panel; ++i)
        left += m_widths[i];
    return {left, 0, m_widths[panel], height()};
}

QSize StatusPanels::sizeHint() const {
    return {DesignPanel0 + DesignPanel1 + StatusPanel2Width, DesignHeight};
}

void StatusPanels::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const StatusBarLayout layout =
        StatusBarResize(event->size().width(), m_widths[0], m_widths[1], m_widths[2]);
    m_widths[0] = layout.panel0;
    m_widths[1] = layout.panel1;
    m_progress->setGeometry(layout.progressLeft, ProgressBarInset, layout.progressWidth,
                            height() - ProgressBarInset);
}

void StatusPanels::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int panel = 0; panel < 3; ++panel) {
        const QRect frame = panelRect(panel).adjusted(0, 2, -2, 0);
        if (frame.width() <= 0)
            continue;
        qDrawShadePanel(&painter, frame, palette(), true, 1);
        const QRect inner = frame.adjusted(1, 1, -1, -1);
        painter.save();
        painter.setClipRect(inner);
        if (panel == 0 && m_panel0OwnerDrawn)
            drawOwnerPanel(painter, inner, m_hourglass, QStringLiteral("Updating..."));
        else if (panel == 0)
            painter.drawText(inner.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                             m_panel0Text);
        else if (panel == 1)
            painter.drawText(inner.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                             m_panel1Text);
        else if (panel == 2)
            drawOwnerPanel(painter, inner, m_intranet, QStringLiteral("Local intranet"));
        painter.restore();
    }
}

void StatusPanels::drawOwnerPanel(QPainter& painter, const QRect& rect, const QPixmap& image,
                                  const QString& text) const {
    painter.drawPixmap(rect.left() + 1, rect.top(), image);
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect textRect(rect.left() + TextOffset, rect.top() + 1, rect.width() - TextOffset,
                         rect.height() - 1);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
}

} // namespace norvane
