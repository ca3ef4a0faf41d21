// Layout on resize (WindowLayout places the controls) and the minimised
// window, which draws its icon.
#include <QEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWindowStateChangeEvent>

#include "dialog/TamboroDlg.h"
#include "dialog/WindowLayout.h"

namespace tamboro {

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
    // The layout reads the client area itself (none while minimised).
    (void)nType;
    (void)cx;
    (void)cy;
    // Resizes before the controls exist place nothing.
    if (m_layout != nullptr)
        m_layout->Apply();
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
    OnQueryDragIcon().paint(&painter, QRect(x, y, kIconSize, kIconSize));
}

}  // namespace tamboro
