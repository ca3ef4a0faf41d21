// Folder drop: the first dropped item's local path goes into the path box.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <cstring>
#include <new>

#include "dialog/MessageBox.h"
#include "dialog/TamboroDlg.h"

namespace tamboro {
namespace {

// The local paths of a drop, in the order the file manager lists them, as
// the bytes of the file names (a URL percent-encodes them; names that are
// not UTF-8 come through unchanged).
std::vector<std::string> LocalPathBytes(const QMimeData* drop)
{
    std::vector<std::string> paths;
    if (drop == nullptr || !drop->hasUrls())
        return paths;
    for (const QUrl& url : drop->urls()) {
        if (!url.isLocalFile())
            continue;
        const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (!bytes.isEmpty())
            paths.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    return paths;
}

std::unique_ptr<char[]> AllocateZeroed(std::size_t wanted, std::size_t& obtained)
{
    std::unique_ptr<char[]> block(new (std::nothrow) char[wanted]());
    obtained = block ? wanted : 0;
    return block;
}

}  // namespace

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
    if (watched == m_editPath && OnPathBoxEvent(event))
        return true;
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
    const std::size_t wanted = items.front().size() + 1;
    std::size_t obtained = 0;
    std::unique_ptr<char[]> buffer =
        m_dropAllocator ? m_dropAllocator(wanted, obtained) : AllocateZeroed(wanted, obtained);
    if (buffer == nullptr)
        obtained = 0;
    if (obtained < wanted) {
        const QString text =
            QString::asprintf("メモリ不足です。\n%ld < %ld", static_cast<long>(obtained), static_cast<long>(wanted));
        buffer.reset();
        ShowMessageBox(this, QStringLiteral("エラー"), text);
        // Later drops are welcome again: a short block now says nothing
        // about the next drop.
        setAcceptDrops(true);
        return;
    }
    std::memcpy(buffer.get(), items.front().data(), wanted - 1);
    buffer[wanted - 1] = '\0';
    SetPathFromBytes(std::string(buffer.get(), wanted - 1));
    buffer.reset();
    setAcceptDrops(true);
}

}  // namespace tamboro
