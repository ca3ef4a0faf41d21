// The path box: the bytes its text names (folder names are bytes, shown
// decoded), a leading "~", pasting a path the window or a file manager
// copied, and completing folder names as they are typed.
#include <QAbstractItemView>
#include <QClipboard>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <functional>

#include "dialog/FolderCompletionModel.h"
#include "dialog/FolderUrl.h"
#include "dialog/TamboroDlg.h"
#include "platform/TextDecoder.h"

namespace tamboro {
namespace {

// Enter in the completion list with no folder picked in it: the list
// closes and the key does what Enter in the path box does (press Search).
class UnpickedEnterFilter : public QObject {
public:
    UnpickedEnterFilter(QAbstractItemView* popup, std::function<void()> enter)
        : QObject(popup), m_popup(popup), m_enter(std::move(enter))
    {
        popup->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_popup || event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key != Qt::Key_Return && key != Qt::Key_Enter) || m_popup->currentIndex().isValid())
            return false;
        m_popup->hide();
        m_enter();
        return true;
    }

private:
    QAbstractItemView* m_popup;
    std::function<void()> m_enter;
};

// The path a clipboard's contents name as bytes: its first local file URL,
// or its text in a copied form.
std::optional<std::string> ClipboardPathBytes(const QMimeData* data)
{
    if (data == nullptr)
        return std::nullopt;
    if (data->hasUrls()) {
        const QList<QUrl> urls = data->urls();
        if (!urls.isEmpty() && urls.front().isLocalFile())
            return LocalPathBytesOf(urls.front()).toStdString();
    }
    if (data->hasText())
        return BytesOfCopiedForm(data->text().trimmed());
    return std::nullopt;
}

}  // namespace

std::string CTamboroDlg::PathBytes() const
{
    return PathBytesOf(m_editPath->text());
}

std::string CTamboroDlg::PathBytesOf(const QString& text) const
{
    if (std::optional<std::string> known = m_knownPaths.Resolve(text))
        return *known;
    if (std::optional<std::string> copied = BytesOfCopiedForm(text))
        return *copied;
    return ExpandTilde(text.toStdString());
}

void CTamboroDlg::SetPathFromBytes(const std::string& bytes)
{
    // Shown decoded, one component at a time as the list shows folders; a
    // name in Shift-JIS could not be found again from the shown text alone.
    const QString text = QString::fromStdU16String(DecodePathToUtf16(bytes));
    m_knownPaths.Remember(text, bytes);
    m_editPath->setText(text);
}

void CTamboroDlg::PastePath()
{
    const std::optional<std::string> bytes = ClipboardPathBytes(QGuiApplication::clipboard()->mimeData());
    if (!bytes || bytes->empty()) {
        m_editPath->paste();
        return;
    }
    SetPathFromBytes(*bytes);
}

bool CTamboroDlg::OnPathBoxEvent(QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) {
        PastePath();
        return true;
    }
    if (event->type() != QEvent::ContextMenu)
        return false;
    // The box's own menu, its Paste going through PastePath.
    QMenu* menu = m_editPath->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste")) {
            disconnect(action, &QAction::triggered, m_editPath, nullptr);
            connect(action, &QAction::triggered, this, &CTamboroDlg::PastePath);
        }
    }
    menu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
}

void CTamboroDlg::EnablePathCompletion()
{
    // Completes what the user types with the subfolders of the folder typed
    // so far, read when typing reaches it; the text Search reads is still
    // the box's text, its decoded folder names standing for their bytes.
    // Enter takes a folder picked in the list of completions; with none
    // picked it searches, as without completion.
    auto* completer = new QCompleter(this);
    m_folderCompletion = new FolderCompletionModel(completer);
    completer->setModel(m_folderCompletion);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setCaseSensitivity(Qt::CaseSensitive);
    m_editPath->setCompleter(completer);
    new UnpickedEnterFilter(completer->popup(), [this] {
        if (m_btnSearch->isEnabled())
            m_btnSearch->click();
    });
    // Runs before the completer looks at the new text.
    connect(m_editPath, &QLineEdit::textEdited, this, [this](const QString& text) {
        const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
        if (slash < 0)
            return;
        const QString folder = text.left(slash + 1);
        if (folder == m_folderCompletion->ListedText())
            return;
        m_folderCompletion->ListFolder(folder, PathBytesOf(folder));
        for (const FolderCompletionModel::Folder& offered : m_folderCompletion->Folders())
            m_knownPaths.Remember(offered.text, offered.bytes);
    });
}

}  // namespace tamboro
