#pragma once

// The layout rules of the window's bars: how the status bar shares its width
// among its panels and the progress bar, how a splitter drag moves cool bar
// bands between rows, and how wide the resource type box is.

#include <vector>

namespace norvane {

constexpr int StatusPanel1MinWidth = 150;
constexpr int StatusPanel2Width = 220;
constexpr int ProgressBarInset = 2;
constexpr int ResourceBarButtonWidth = 43;
constexpr int ResourceBoxGap = 2;

struct StatusBarLayout {
    int panel0 = 0;
    int panel1 = 0;
    int progressLeft = 0;
    int progressWidth = 0;

    bool operator==(const StatusBarLayout&) const = default;
};

// New widths of panels 0 and 1 for a status bar of client width `width`,
// from the current widths; panel 2 keeps its width. Panel 0 takes the spare
// width; panel 1 keeps at least 150 while there is room for it and panel 2;
// on a narrower bar panel 0 collapses to 1 and panel 1 takes what panel 2
// leaves. The progress bar covers panel 1 inside a 2-pixel inset; its
// width never goes below 0.
StatusBarLayout StatusBarResize(int width, int panel0, int panel1, int panel2);

// One band of the cool bar as the splitter sees it.
struct CoolBand {
    int height = 0;
    bool breakBefore = false; // starts a new row
    bool fixedSize = false;
    bool visible = true;
};

// The cool bar sizes itself to its rows: the sum of its rows' heights, a
// row being as high as its highest visible band.
int coolBarHeight(const std::vector<CoolBand>& bands);

// A splitter drag proposing the cool bar height `newHeight`. Visiting the
// visible bands from last to first, with the bar's height taken afresh each
// time: dragged up, a band that starts a row joins the previous row when the
// bar would still be at least `newHeight` high without it; dragged down or
// not moved, a band that continues a row and is not of fixed size starts a
// row of its own when its height added to the bar fits in `newHeight`. The
// drag is always accepted.
bool SplitterCanResize(std::vector<CoolBand>& bands, int newHeight);

// Width of the resource type box: the bar's width less the Go button and a
// gap, never below 0.
int ResourceBarResize(int barWidth);

} // namespace norvane
