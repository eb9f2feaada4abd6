// The view's scale, fit and scroll arithmetic, owned by the GUI thread: the
// picture's scaled size, the visible page, the scroll positions (always
// within 0 .. max(0, scaled - page)), the window area of a framebuffer area,
// and the zoom steps of the toolbar.
#pragma once

#include "rfb/Rect.h"

#include <string>

namespace viewer {

constexpr int kMinZoom = 10;
constexpr int kMaxZoom = 500;

class ViewScale {
public:
    ViewScale() = default;
    ViewScale(bool scaling, bool fitToWindow, double num, double den)
        : m_scaling(scaling), m_fit(fitToWindow), m_num(num), m_den(den)
    {
    }

    // The picture's size: 0 x 0 while there is no framebuffer.
    void setFramebuffer(int width, int height);
    bool hasFramebuffer() const { return m_fbW > 0 && m_fbH > 0; }
    // The viewer window's client size becomes the page; with fit to window
    // on, the scale is fitted to it (kept when the fit comes out 0).
    void setClientSize(int width, int height);

    bool scaling() const { return m_scaling; }
    bool fitToWindow() const { return m_fit; }
    double numerator() const { return m_num; }
    double denominator() const { return m_den; }
    // The scale in percent, rounded down.
    int percent() const;

    // Fit on: the fit scale from now on. Fit off: the scale saved when the
    // fit was turned on.
    void setFitToWindow(bool on);
    // A fixed scale (fit off); false, nothing changed, for a 0 in either.
    bool setScale(double num, double den);
    void trueSize() { setScale(100, 100); }
    // The picture at its own size, not scaled (fit off).
    void setUnscaled();

    int scaledWidth() const;
    int scaledHeight() const;
    int pageWidth() const { return m_pageW; }
    int pageHeight() const { return m_pageH; }
    int hpos() const { return m_hpos; }
    int vpos() const { return m_vpos; }
    int maxHpos() const;
    int maxVpos() const;
    // Moves by (dx, dy) within the range; false when nothing moved. The
    // distances moved are stored in *movedX, *movedY when given.
    bool scrollBy(int dx, int dy, int* movedX = nullptr, int* movedY = nullptr);
    bool scrollTo(int x, int y) { return scrollBy(x - m_hpos, y - m_vpos); }

    // The window area that shows a framebuffer area at the current scale and
    // scroll (one pixel more right and below when scaled).
    rfb::Rect windowRectOf(const rfb::Rect& fbArea) const;
    // The framebuffer pixel under a window point.
    void framebufferPointOf(int wx, int wy, int& fx, int& fy) const;

    // The toolbar's zoom button: ten percent up, turning at 500 and 10.
    int zoomStep();
    // A combo box text ("75 %", "150%", "0"): the percentage 10..500, or -1
    // for empty or unreadable text. Fit items are the caller's.
    static int ParseZoomText(const std::string& text);
    // Applies a percentage from the combo box or the zoom button: limited to
    // 10..500 (a limit turns the zoom direction), scale (p, 100), fit off.
    void applyPercent(int p);
    // The fit percentages of the combo box's fit items for the current page
    // (-1 without a framebuffer). Fit Height takes the height less the
    // vertical scroll bar's width when the fitted width would not fit; Fit
    // Width likewise with the horizontal scroll bar's height.
    int bestFitPercent() const;
    int fitHeightPercent(int vScrollWidth) const;
    int fitWidthPercent(int hScrollHeight) const;

private:
    void clampPositions();
    bool fitNow();

    bool m_scaling = false;
    bool m_fit = true;
    double m_num = 100.0;
    double m_den = 100.0;
    bool m_savedScaling = false;
    double m_savedNum = 100.0;
    double m_savedDen = 100.0;
    bool m_reduce = false;
    int m_fbW = 0;
    int m_fbH = 0;
    int m_pageW = 0;
    int m_pageH = 0;
    int m_hpos = 0;
    int m_vpos = 0;
};

} // namespace viewer
