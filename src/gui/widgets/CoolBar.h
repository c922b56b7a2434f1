#pragma once

// A bar of bands laid out in rows, each band a grip, an optional text and
// one control. A band either continues the row of the band before it or
// starts a new row; the bar is as high as its rows. Double-clicking a band's
// grip or text toggles it between its widest and its narrowest width.

#include "layout/ChromeLayout.h"

#include <QString>
#include <QWidget>

#include <vector>

namespace norvane {

class CoolBar : public QWidget {
    Q_OBJECT

public:
    struct BandOptions {
        bool breakBefore = false; // starts a new row
        bool fixedSize = false;   // no grip, never resized or moved to a row of its own
        int minHeight = 22;
        int minWidth = 0; // of the control
        int width = 0;    // of the whole band
        QString text;
    };

    explicit CoolBar(QWidget* parent = nullptr);

    int addBand(QWidget* control, const BandOptions& options);
    int bandCount() const { return static_cast<int>(m_bands.size()); }
    int bandIndexOf(const QWidget* control) const;

    void setBandVisible(int band, bool visible);
    bool isBandVisible(int band) const;
    bool bandBreak(int band) const;
    QRect bandRect(int band) const;
    int rowCount() const;

    // The bands as the splitter rule sees them, and its outcome applied back.
    std::vector<CoolBand> coolBands() const;
    void applyBreaks(const std::vector<CoolBand>& bands);

    void toggleBandMaximized(int band);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void layoutChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    struct Band {
        QWidget* control = nullptr;
        BandOptions options;
        bool visible = true;
        int width = 0;
        QRect rect;       // the whole band, after layout
        QRect headerRect; // grip and text
    };

    bool takesPart(const Band& band) const;
    int bandHeight(const Band& band) const;
    int headerWidth(const Band& band) const;
    int minimumBandWidth(const Band& band) const;
    std::vector<std::vector<int>> rows() const;
    void relayout();

    std::vector<Band> m_bands;
    int m_height = 0;
};

// The 3-pixel handle under the cool bar: dragging it asks the splitter rule
// to move bands between rows at every mouse move.
class CoolBarSplitter : public QWidget {
    Q_OBJECT

public:
    static constexpr int Thickness = 3;

    explicit CoolBarSplitter(CoolBar* coolBar, QWidget* parent = nullptr);

    // One step of a drag: the bar proposed at `newHeight` pixels.
    void dragTo(int newHeight);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CoolBar* m_coolBar;
    int m_pressY = 0;
    int m_pressHeight = 0;
    bool m_dragging = false;
};

} // namespace norvane
