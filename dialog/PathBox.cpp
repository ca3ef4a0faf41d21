#include "dialog/PathBox.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QClipboard>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <functional>
#include <optional>

#include "dialog/FolderCompletionModel.h"
#include "dialog/FolderUrl.h"
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

PathBox::PathBox(QLineEdit& edit, QAbstractButton& search, QObject* parent) : QObject(parent), m_edit(edit)
{
    m_edit.installEventFilter(this);
    EnableCompletion(search);
}

std::string PathBox::PathBytes() const
{
    return PathBytesOf(m_edit.text());
}

std::string PathBox::PathBytesOf(const QString& text) const
{
    if (std::optional<std::string> known = m_knownPaths.Resolve(text))
        return *known;
    if (std::optional<std::string> copied = BytesOfCopiedForm(text))
        return *copied;
    return ExpandTilde(text.toStdString());
}

void PathBox::SetPathFromBytes(const std::string& bytes)
{
    // Shown decoded, one component at a time as the list shows folders; a
    // name in Shift-JIS could not be found again from the shown text alone.
    const QString text = QString::fromStdU16String(DecodePathToUtf16(bytes));
    m_knownPaths.Remember(text, bytes);
    m_edit.setText(text);
}

void PathBox::PastePath()
{
    const std::optional<std::string> bytes = ClipboardPathBytes(QGuiApplication::clipboard()->mimeData());
    if (!bytes || bytes->empty()) {
        m_edit.paste();
        return;
    }
    SetPathFromBytes(*bytes);
}

bool PathBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_edit)
        return false;
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) {
        PastePath();
        return true;
    }
    if (event->type() != QEvent::ContextMenu)
        return false;
    // The box's own menu, its Paste going through PastePath.
    QMenu* menu = m_edit.createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste")) {
            disconnect(action, &QAction::triggered, &m_edit, nullptr);
            connect(action, &QAction::triggered, this, &PathBox::PastePath);
        }
    }
    menu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
}

void PathBox::EnableCompletion(QAbstractButton& search)
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
    m_edit.setCompleter(completer);
    new UnpickedEnterFilter(completer->popup(), [&search] {
        if (search.isEnabled())
            search.click();
    });
    // Runs before the completer looks at the new text.
    connect(&m_edit, &QLineEdit::textEdited, this, [this](const QString& text) {
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
