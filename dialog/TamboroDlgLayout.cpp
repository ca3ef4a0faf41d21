// Layout: the list fills the window above a 24-pixel strip that holds the
// path box and the two buttons, at fixed offsets from the bottom right; an
// open find bar and the row-limit note take their heights from the list's
// bottom. The window is made no smaller than keeps the path box, both
// buttons and a few rows of the list usable. The minimised window draws its
// icon.
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>
#include <QWindowStateChangeEvent>

#include "dialog/DialogTemplate.h"
#include "dialog/FindBar.h"
#include "dialog/ResultListView.h"
#include "dialog/TamboroDlg.h"
#include "res/resource.h"

namespace tamboro {
namespace {

// The bottom strip's height and the offsets of its controls from the
// client area's bottom right.
constexpr int kStripHeight = 24;
constexpr int kStripTop = -21;
constexpr int kPathRightMargin = 190;  // the path box ends this far left of the right edge
constexpr int kSearchLeft = -184;
constexpr int kStopLeft = -90;

}  // namespace

QSize CTamboroDlg::MinimumClientSize() const
{
    const QSize least = UnitsToPixels(kMinimumPathAndListUnits, BaseUnitsOf(font()));
    const int findBar = m_findBar != nullptr ? m_findBar->sizeHint().height() : 0;
    const int note = m_rowLimitNote != nullptr ? m_rowLimitNote->sizeHint().height() : 0;
    // Both buttons sit within the strip's right kPathRightMargin pixels.
    return QSize(kPathRightMargin + least.width(), kStripHeight + findBar + note + least.height());
}

int CTamboroDlg::RowLimitNoteHeight() const
{
    return m_rowLimitNote != nullptr && !m_rowLimitNote->isHidden() ? m_rowLimitNote->sizeHint().height() : 0;
}

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
    const int note = RowLimitNoteHeight();
    if (m_list != nullptr)
        SetWindowPos(m_list, rc.left, rc.top, rc.right - rc.left,
                     rc.bottom - rc.top - kStripHeight - FindBarHeight() - note);
    PlaceStretched(rc, IDC_PATH, 0, kStripTop, -kPathRightMargin, 0);
    PlaceAnchored(rc, IDC_SEARCH, kSearchLeft, kStripTop, 0, 0);
    PlaceAnchored(rc, IDC_STOP, kStopLeft, kStripTop, 0, 0);
    PlaceFindBar(rc);
    // The note lies right above the bottom strip, below an open find bar.
    if (note > 0)
        m_rowLimitNote->setGeometry(rc.left, rc.bottom - kStripHeight - note, std::max(rc.right - rc.left, 0), note);
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
