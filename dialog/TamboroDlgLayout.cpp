// Layout: the list fills the window above a 24-pixel strip that holds the
// path box and the two buttons, at fixed offsets from the bottom right; an
// open find bar takes its height from the list's bottom. The minimised
// window draws its icon.
#include <QEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWindowStateChangeEvent>

#include "dialog/ResultListView.h"
#include "dialog/TamboroDlg.h"
#include "res/resource.h"

namespace tamboro {

CTamboroDlg::ClientRect CTamboroDlg::GetClientRect() const
{
    // A minimised window has no client area.
    if (isMinimized())
        return ClientRect{};
    return ClientRect{0, 0, width(), height()};
}

void CTamboroDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    OnSize(isMinimized() ? SIZE_MINIMIZED : SIZE_RESTORED, event->size().width(), event->size().height());
}

void CTamboroDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool wasMinimized = (change->oldState() & Qt::WindowMinimized) != 0;
    // Minimising gives a zero-sized client area; restoring lays out again.
    if (isMinimized() != wasMinimized)
        OnSize(isMinimized() ? SIZE_MINIMIZED : SIZE_RESTORED, isMinimized() ? 0 : width(),
               isMinimized() ? 0 : height());
}

void CTamboroDlg::OnSize(int nType, int cx, int cy)
{
    (void)nType;
    (void)cx;
    (void)cy;
    const ClientRect rc = GetClientRect();
    if (m_list != nullptr)
        SetWindowPos(m_list, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top - 24 - FindBarHeight());
    PlaceStretched(rc, IDC_PATH, 0, -21, -190, 0);
    PlaceAnchored(rc, IDC_SEARCH, -184, -21, 0, 0);
    PlaceAnchored(rc, IDC_STOP, -90, -21, 0, 0);
    PlaceFindBar(rc);
}

void CTamboroDlg::PlaceStretched(const ClientRect& rc, int nID, int dx, int dy, int dw, int dh)
{
    QWidget* control = GetDlgItem(nID);
    if (control == nullptr)
        return;
    // The control's own client area starts at 0.
    SetWindowPos(control, 0 + dx, rc.bottom + dy, rc.right - rc.left + dw, control->height() + dh);
}

void CTamboroDlg::PlaceAnchored(const ClientRect& rc, int nID, int dx, int dy, int dw, int dh)
{
    QWidget* control = GetDlgItem(nID);
    if (control == nullptr)
        return;
    SetWindowPos(control, rc.right + dx, rc.bottom + dy, control->width() + dw, control->height() + dh);
    control->repaint();
}

void CTamboroDlg::SetWindowPos(QWidget* control, int x, int y, int cx, int cy)
{
    // A size below zero shows nothing, as an empty one does.
    control->setGeometry(x, y, std::max(cx, 0), std::max(cy, 0));
    control->raise();
    BringToFrontOfTabOrder(control);
}

void CTamboroDlg::BringToFrontOfTabOrder(QWidget* control)
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

void CTamboroDlg::paintEvent(QPaintEvent* event)
{
    OnPaint(event);
}

void CTamboroDlg::OnPaint(QPaintEvent* event)
{
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    constexpr int kIconSize = 32;
    const int x = (width() - kIconSize + 1) / 2;
    const int y = (height() - kIconSize + 1) / 2;
    m_hIcon.paint(&painter, QRect(x, y, kIconSize, kIconSize));
}

}  // namespace tamboro
