#include "ChromeLayout.h"

#include <algorithm>

namespace norvane {

StatusBarLayout StatusBarResize(int width, int panel0, int panel1, int panel2) {
    if (panel2 + StatusPanel1MinWidth > width) {
        panel0 = 1;
        panel1 = width - panel2;
        if (panel2 >= width)
            panel1 = 0;
    } else {
        panel0 = width - panel1 - panel2;
        if (panel1 <= StatusPanel1MinWidth)
            panel1 = StatusPanel1MinWidth;
    }
    return {panel0, panel1, panel0 + ProgressBarInset, std::max(0, panel1 - ProgressBarInset)};
}

int coolBarHeight(const std::vector<CoolBand>& bands) {
    int total = 0;
    int row = 0;
    bool rowOpen = false;
    for (const CoolBand& band : bands) {
        if (!band.visible)
            continue;
        if (rowOpen && band.breakBefore) {
            total += row;
            row = 0;
        }
        rowOpen = true;
        row = std::max(row, band.height);
    }
    return total + row;
}

bool SplitterCanResize(std::vector<CoolBand>& bands, int newHeight) {
    const bool draggedUp = newHeight < coolBarHeight(bands);
    for (auto band = bands.rbegin(); band != bands.rend(); ++band) {
        if (!band->visible)
            continue;
        const int height = coolBarHeight(bands);
        if (draggedUp) {
            if (band->breakBefore && height - band->height >= newHeight)
                band->breakBefore = false;
        } else if (!band->breakBefore && !band->fixedSize && band->height + height <= newHeight) {
            band->breakBefore = true;
        }
    }
    return true;
}

int ResourceBarResize(int barWidth) {
    return std::max(0, barWidth - ResourceBarButtonWidth - ResourceBoxGap);
}

} // namespace norvane
