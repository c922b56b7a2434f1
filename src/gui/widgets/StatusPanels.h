#pragma once

// The window's status bar: three panels side by side and the progress bar
// laid over panel 1. Panel 0 shows the hourglass and "Updating..." while a
// scan runs and the result text afterwards; panel 1 may show a note on the
// result (which then takes the progress bar's place) with a tool tip of its
// own; panel 2 always shows the local intranet symbol and "Local intranet". The panels share the
// width by the status bar resize rule.

#include <QPixmap>
#include <QWidget>

class QProgressBar;

namespace norvane {

class StatusPanels : public QWidget {
    Q_OBJECT

public:
    static constexpr int DesignHeight = 20;
    static constexpr int DesignPanel0 = 200;
    static constexpr int DesignPanel1 = 150;

    explicit StatusPanels(QWidget* parent = nullptr);

    QProgressBar* progressBar() const { return m_progress; }

    // Owner-drawn: the hourglass and "Updating..."; otherwise the plain text.
    void setPanel0OwnerDrawn(bool ownerDrawn);
    bool panel0OwnerDrawn() const { return m_panel0OwnerDrawn; }
    void setPanel0Text(const QString& text);
    QString panel0Text() const { return m_panel0Text; }
    // An empty text gives panel 1 back to the progress bar.
    void setPanel1Note(const QString& text, const QString& toolTip);
    QString panel1Text() const { return m_panel1Text; }
    QString panel1ToolTip() const { return m_panel1ToolTip; }

    int panelWidth(int panel) const;
    QRect panelRect(int panel) const;

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void drawOwnerPanel(QPainter& painter, const QRect& rect, const QPixmap& image,
                        const QString& text) const;

    QProgressBar* m_progress;
    QPixmap m_hourglass;
    QPixmap m_intranet;
    int m_widths[3];
    bool m_panel0OwnerDrawn = false;
    QString m_panel0Text;
    QString m_panel1Text;
    QString m_panel1ToolTip;
};

} // namespace norvane
