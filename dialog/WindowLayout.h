// The window's layout: the list fills the window above a 24-pixel strip that
// holds the path box and the two buttons at fixed offsets from the bottom
// right; an open find bar and the row-limit note take their heights from the
// list's bottom, the note right above the strip, the bar above the note. The
// window is made no smaller than keeps the path box, both buttons and a few
// rows of the list usable.
//
// Every placement brings its control to the top of the sibling order, which
// also puts it first in the Tab order: after the first layout, Tab goes
// Stop, Search, path box, list.
#pragma once

#include <QSize>
#include <array>
#include <vector>

#include "res/resource.h"

class QLabel;
class QWidget;

namespace tamboro {

class FindBar;
class RowLimitNote;

class WindowLayout {
public:
    // A client rectangle in pixels; right and bottom are exclusive.
    struct ClientRect {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
    };
    // How a control's offsets are read: Fill from the client area's top
    // left (its height less the strip and the open bands), Stretched from
    // the bottom left with the client width, Anchored from the bottom right
    // with the control's own width.
    enum class Anchor { Fill, Stretched, Anchored };
    struct Placement {
        int id;  // IDC_...
        Anchor anchor;
        int dx;
        int dy;
        int dw;
        int dh;
    };

    static constexpr int kStripHeight = 24;
    static constexpr int kPathRightMargin = 190;  // the path box ends this far left of the right edge
    // The template's offsets, in the order the controls are placed.
    static constexpr std::array<Placement, 4> kPlacements = {{
        {IDC_LIST, Anchor::Fill, 0, 0, 0, -kStripHeight},
        {IDC_PATH, Anchor::Stretched, 0, -21, -kPathRightMargin, 0},
        {IDC_SEARCH, Anchor::Anchored, -184, -21, 0, 0},
        {IDC_STOP, Anchor::Anchored, -90, -21, 0, 0},
    }};

    struct Controls {
        QWidget* path;
        QWidget* list;
        QWidget* search;
        QWidget* stop;
        FindBar* findBar;
        RowLimitNote* note;
    };
    // `window` is the one laid out; the controls are its children, given in
    // the template's tab order.
    WindowLayout(QWidget& window, const Controls& controls);

    // Lays the controls out in the window's client area (none while
    // minimised).
    void Apply();
    void Apply(const ClientRect& rc);
    // The smallest client area the window can be given.
    QSize MinimumClientSize() const;

private:
    friend class CTamboroDlgTesting;

    // Places one control by its offsets; an id with no control places
    // nothing.
    void Place(const ClientRect& rc, const Placement& placement);
    // The control with the given id, or null.
    QWidget* Control(int id) const;
    // The heights the open find bar and the shown note take from the list.
    int FindBarHeight() const;
    void SetWindowPos(QWidget* control, int x, int y, int cx, int cy);
    void BringToFrontOfTabOrder(QWidget* control);

    QWidget& m_window;
    Controls m_controls;
    std::vector<QWidget*> m_tabOrder;  // front first
};

}  // namespace tamboro
