// Folder drop: the first dropped item's local path goes into the path box.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <cstring>

#include "dialog/MessageBox.h"
#include "dialog/PathBox.h"
#include "dialog/TamboroDlg.h"

namespace tamboro {

void CTamboroDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalPathBytes(event->mimeData()).empty())
        event->acceptProposedAction();
}

void CTamboroDlg::dragMoveEvent(QDragMoveEvent* event)
{
    if (!LocalPathBytes(event->mimeData()).empty())
        event->acceptProposedAction();
}

void CTamboroDlg::dropEvent(QDropEvent* event)
{
    if (LocalPathBytes(event->mimeData()).empty())
        return;
    event->acceptProposedAction();
    OnDropFiles(event->mimeData());
}

bool CTamboroDlg::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
        dragEnterEvent(static_cast<QDragEnterEvent*>(event));
        return true;
    case QEvent::DragMove:
        dragMoveEvent(static_cast<QDragMoveEvent*>(event));
        return true;
    case QEvent::Drop:
        dropEvent(static_cast<QDropEvent*>(event));
        return true;
    case QEvent::DragLeave:
        return true;
    default:
        return QDialog::eventFilter(watched, event);
    }
}

void CTamboroDlg::OnDropFiles(const QMimeData* drop)
{
    setAcceptDrops(false);
    const std::vector<std::string> items = LocalPathBytes(drop);
    if (items.empty()) {
        setAcceptDrops(true);
        return;
    }
    // Only the first item is used; a file's path goes in as a folder's does.
    const std::string& path = items.front();
    const std::size_t wanted = path.size() + 1;
    std::size_t obtained = 0;
    std::unique_ptr<char[]> buffer = m_dropAllocator(wanted, obtained);
    if (buffer == nullptr)
        obtained = 0;
    if (obtained < wanted) {
        buffer.reset();
        ShowMessageBox(this, tr("エラー"),
                       tr("メモリ不足です。\n%1 < %2").arg(static_cast<long>(obtained)).arg(static_cast<long>(wanted)));
        // Later drops are welcome again: a short block now says nothing
        // about the next drop.
        setAcceptDrops(true);
        return;
    }
    std::memcpy(buffer.get(), path.data(), path.size());
    buffer[path.size()] = '\0';
    m_pathBox->SetPathFromBytes(std::string(buffer.get(), path.size()));
    buffer.reset();
    setAcceptDrops(true);
}

}  // namespace tamboro
