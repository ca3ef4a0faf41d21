#include "dialog/WindowLayout.h"

#include <QWidget>
#include <algorithm>

#include "dialog/DialogTemplate.h"
#include "dialog/FindBar.h"
#include "dialog/RowLimitNote.h"

namespace tamboro {

WindowLayout::WindowLayout(QWidget& window, const Controls& controls)
    : m_window(window), m_controls(controls), m_tabOrder{controls.path, controls.list, controls.search, controls.stop}
{}

QWidget* WindowLayout::Control(int id) const
{
    switch (id) {
    case IDC_PATH:
        return m_controls.path;
    case IDC_LIST:
        return m_controls.list;
    case IDC_SEARCH:
        return m_controls.search;
    case IDC_STOP:
        return m_controls.stop;
    default:
        return nullptr;
    }
}

QSize WindowLayout::MinimumClientSize() const
{
    const QSize least = UnitsToPixels(kMinimumPathAndListUnits, BaseUnitsOf(m_window.font()));
    const int findBar = m_controls.findBar->sizeHint().height();
    const int note = m_controls.note->sizeHint().height();
    // Both buttons sit within the strip's right kPathRightMargin pixels.
    return QSize(kPathRightMargin + least.width(), kStripHeight + findBar + note + least.height());
}

int WindowLayout::FindBarHeight() const
{
    return m_controls.findBar->isHidden() ? 0 : m_controls.findBar->sizeHint().height();
}

void WindowLayout::Apply()
{
    // A minimised window has no client area.
    Apply(m_window.isMinimized() ? ClientRect{} : ClientRect{0, 0, m_window.width(), m_window.height()});
}

void WindowLayout::Apply(const ClientRect& rc)
{
    for (const Placement& placement : kPlacements)
        Place(rc, placement);
    // The bands between the list and the strip: the note right above the
    // strip, an open find bar above the note.
    const int width = std::max(rc.right - rc.left, 0);
    const int note = m_controls.note->TakenHeight();
    const int findBar = FindBarHeight();
    if (findBar > 0)
        m_controls.findBar->setGeometry(rc.left, rc.bottom - kStripHeight - note - findBar, width, findBar);
    if (note > 0)
        m_controls.note->setGeometry(rc.left, rc.bottom - kStripHeight - note, width, note);
}

void WindowLayout::Place(const ClientRect& rc, const Placement& placement)
{
    QWidget* control = Control(placement.id);
    if (control == nullptr)
        return;
    const auto [id, anchor, dx, dy, dw, dh] = placement;
    switch (anchor) {
    case Anchor::Fill:
        SetWindowPos(control, rc.left + dx, rc.top + dy, rc.right - rc.left + dw,
                     rc.bottom - rc.top + dh - FindBarHeight() - m_controls.note->TakenHeight());
        break;
    case Anchor::Stretched:
        // The control's own client area starts at 0.
        SetWindowPos(control, 0 + dx, rc.bottom + dy, rc.right - rc.left + dw, control->height() + dh);
        break;
    case Anchor::Anchored:
        SetWindowPos(control, rc.right + dx, rc.bottom + dy, control->width() + dw, control->height() + dh);
        control->repaint();
        break;
    }
}

void WindowLayout::SetWindowPos(QWidget* control, int x, int y, int cx, int cy)
{
    // A size below zero shows nothing, as an empty one does.
    control->setGeometry(x, y, std::max(cx, 0), std::max(cy, 0));
    control->raise();
    BringToFrontOfTabOrder(control);
}

void WindowLayout::BringToFrontOfTabOrder(QWidget* control)
{
    // Going to the top of the sibling order also puts a control first in
    // the Tab order.
    if (!m_tabOrder.empty() && m_tabOrder.front() == control)
        return;
    std::erase(m_tabOrder, control);
    m_tabOrder.insert(m_tabOrder.begin(), control);
    for (std::size_t i = 0; i + 1 < m_tabOrder.size(); ++i)
        QWidget::setTabOrder(m_tabOrder[i], m_tabOrder[i + 1]);
}

}  // namespace tamboro
