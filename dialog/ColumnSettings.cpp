#include "dialog/ColumnSettings.h"

#include <QAction>
#include <QEvent>
#include <QHeaderView>
#include <QMenu>

#include "dialog/FolderColumnDelegate.h"
#include "dialog/ResultListView.h"
#include "dialog/SettingsFile.h"

namespace tamboro {
namespace {

constexpr char kRelativeFoldersKey[] = "list/relativeFolders";
constexpr char kColumnsKey[] = "list/columns";
constexpr int kSaveDelayMs = 500;

}  // namespace

ColumnSettings::ColumnSettings(QWidget& window, ResultListView& list) : QObject(&window), m_window(window), m_list(list)
{
    m_actRelative = new QAction(tr("ルートからの相対パスで表示"), this);
    m_actRelative->setCheckable(true);
    const bool relative = OpenSettingsFile()->value(kRelativeFoldersKey, false).toBool();
    m_actRelative->setChecked(relative);
    m_list.FolderDelegate().SetRelative(relative);
    connect(m_actRelative, &QAction::toggled, this, &ColumnSettings::SetRelativeFolders);

    QHeaderView* header = m_list.header();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QWidget::customContextMenuRequested, this, &ColumnSettings::OnHeaderContextMenu);
    header->viewport()->installEventFilter(this);
    connect(header, &QHeaderView::sectionResized, this, &ColumnSettings::OnSectionResized);
    connect(header, &QHeaderView::sectionMoved, this, [this] { OnSectionResized(-1); });

    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(kSaveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, &ColumnSettings::SaveNow);
}

void ColumnSettings::Restore(const std::array<int, kColumnCount>& initialWidths)
{
    QHeaderView* header = m_list.header();
    const QByteArray state = OpenSettingsFile()->value(kColumnsKey).toByteArray();
    // A state of another column count or Qt's making is refused as a whole.
    if (!state.isEmpty())
        header->restoreState(state);
    // After the restored state, which holds the last column as wide as the
    // window made it: its least width is its initial one.
    m_list.SetOwnWidths(initialWidths);
    m_bRestored = true;
}

void ColumnSettings::SaveNow()
{
    m_saveTimer.stop();
    if (!m_bUnsaved)
        return;
    m_bUnsaved = false;
    OpenSettingsFile()->setValue(kColumnsKey, m_list.header()->saveState());
}

bool ColumnSettings::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
        m_bPointerDown = true;
    else if (event->type() == QEvent::MouseButtonRelease)
        m_bPointerDown = false;
    return QObject::eventFilter(watched, event);
}

void ColumnSettings::OnSectionResized(int logicalIndex)
{
    // The last column follows the window's width by itself, and the
    // program's own resizing is no choice of the player's to remember.
    const QHeaderView* header = m_list.header();
    if (!m_bRestored || !m_bPointerDown || logicalIndex == header->logicalIndex(header->count() - 1))
        return;
    m_bUnsaved = true;
    m_saveTimer.start();
}

void ColumnSettings::SetRelativeFolders(bool on)
{
    m_list.FolderDelegate().SetRelative(on);
    m_list.viewport()->update();
    OpenSettingsFile()->setValue(kRelativeFoldersKey, on);
}

void ColumnSettings::OnHeaderContextMenu(const QPoint& pos)
{
    QMenu menu(&m_window);
    menu.setObjectName(QStringLiteral("HeaderMenu"));
    menu.addAction(m_actRelative);
    menu.exec(m_list.header()->mapToGlobal(pos));
}

}  // namespace tamboro
