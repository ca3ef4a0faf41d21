// Acting on the listed charts: a double-click opens the row's folder in the
// file manager; the list's context menu opens it, copies its path, copies
// the selected rows (Ctrl+C) or selects them all (Ctrl+A), and chooses
// whether searches list every chart type. The path box completes folder
// names as they are typed.
#include <QAction>
#include <QClipboard>
#include <QCompleter>
#include <QDesktopServices>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <functional>

#include "dialog/FolderUrl.h"
#include "dialog/ResultListView.h"
#include "dialog/TamboroDlg.h"
#include "results/ResultModel.h"
#include "results/RowFilterModel.h"

namespace tamboro {
namespace {

// ~/.config/Tamboro/tamboro.conf (or under $XDG_CONFIG_HOME).
constexpr char kSettingsOrganisation[] = "Tamboro";
constexpr char kSettingsApplication[] = "tamboro";
constexpr char kAllChartTypesKey[] = "search/allChartTypes";
constexpr char kAllChartTypes[] = "bms,bme,bml,pms";

bool ReadAllChartTypesSetting()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kSettingsOrganisation,
                             kSettingsApplication);
    return settings.value(kAllChartTypesKey, false).toBool();
}

void WriteAllChartTypesSetting(bool on)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kSettingsOrganisation, kSettingsApplication);
    settings.setValue(kAllChartTypesKey, on);
}

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

}  // namespace

void CTamboroDlg::CreateListActions()
{
    m_actOpenFolder = new QAction(tr("フォルダを開く"), this);
    connect(m_actOpenFolder, &QAction::triggered, this, [this] {
        if (m_menuIndex.isValid())
            OpenFolderOfRow(m_menuIndex.row());
    });
    m_actCopyPath = new QAction(tr("フォルダのパスをコピー"), this);
    connect(m_actCopyPath, &QAction::triggered, this, [this] {
        if (m_menuIndex.isValid())
            CopyFolderPathOfRow(m_menuIndex.row());
    });

    // Ctrl+C and Ctrl+A while the list has the focus.
    m_actCopyRows = new QAction(tr("選択した行をコピー"), m_list);
    m_actCopyRows->setShortcut(QKeySequence::Copy);
    m_actCopyRows->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_actCopyRows, &QAction::triggered, this, &CTamboroDlg::CopySelectedRows);
    m_list->addAction(m_actCopyRows);
    m_actSelectAll = new QAction(tr("すべて選択"), m_list);
    m_actSelectAll->setShortcut(QKeySequence::SelectAll);
    m_actSelectAll->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_actSelectAll, &QAction::triggered, this, &CTamboroDlg::SelectAllRows);
    m_list->addAction(m_actSelectAll);

    m_actAllChartTypes = new QAction(tr("すべての譜面形式 (bms/bme/bml/pms)"), this);
    m_actAllChartTypes->setCheckable(true);
    m_bAllChartTypes = ReadAllChartTypesSetting();
    m_actAllChartTypes->setChecked(m_bAllChartTypes);
    connect(m_actAllChartTypes, &QAction::toggled, this, &CTamboroDlg::SetAllChartTypes);

    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &CTamboroDlg::OnListContextMenu);
    connect(m_list, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            OpenFolderOfRow(index.row());
    });
}

void CTamboroDlg::OnListContextMenu(const QPoint& pos)
{
    // The row under the pointer, followed while the menu is open (a search
    // may add rows meanwhile).
    m_menuIndex = m_list->indexAt(pos);
    m_actOpenFolder->setEnabled(m_menuIndex.isValid());
    m_actCopyPath->setEnabled(m_menuIndex.isValid());

    QMenu menu(this);
    menu.setObjectName(QStringLiteral("ListMenu"));
    menu.addAction(m_actOpenFolder);
    menu.addAction(m_actCopyPath);
    menu.addSeparator();
    menu.addAction(m_actCopyRows);
    menu.addAction(m_actSelectAll);
    menu.addSeparator();
    menu.addAction(m_actAllChartTypes);
    menu.exec(m_list->viewport()->mapToGlobal(pos));
    m_menuIndex = QPersistentModelIndex();
}

void CTamboroDlg::OpenFolderOfRow(int shownRow)
{
    if (shownRow < 0 || shownRow >= m_filter->rowCount())
        return;
    const ChartRow& row = m_model->RowAt(m_filter->SourcePosition(shownRow));
    QDesktopServices::openUrl(FolderUrl(row.folder));
}

void CTamboroDlg::CopyFolderPathOfRow(int shownRow)
{
    if (shownRow < 0 || shownRow >= m_filter->rowCount())
        return;
    QGuiApplication::clipboard()->setText(m_model->CellText(m_filter->SourcePosition(shownRow), kColumnFolder));
}

void CTamboroDlg::CopySelectedRows()
{
    const QString lines = m_filter->RowLines(m_list->selectionModel()->selectedRows());
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines);
}

void CTamboroDlg::SelectAllRows()
{
    m_list->selectAll();
}

void CTamboroDlg::SetAllChartTypes(bool on)
{
    if (on == m_bAllChartTypes)
        return;
    m_bAllChartTypes = on;
    {
        const QSignalBlocker quiet(m_actAllChartTypes);
        m_actAllChartTypes->setChecked(on);
    }
    WriteAllChartTypesSetting(on);
}

ChartTypes CTamboroDlg::SearchChartTypes() const
{
    if (!m_bAllChartTypes)
        return ChartTypes();
    return *ChartTypes::Parse(kAllChartTypes);
}

void CTamboroDlg::EnablePathCompletion()
{
    // Completes what the user types with the folders on disk; the model
    // reads a folder only once typing reaches it, and the text Search reads
    // is still just the box's text. Enter takes a folder picked in the list
    // of completions; with none picked it searches, as without completion.
    auto* completer = new QCompleter(this);
    auto* folders = new QFileSystemModel(completer);
    folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    folders->setRootPath(QString());
    completer->setModel(folders);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    m_editPath->setCompleter(completer);
    new UnpickedEnterFilter(completer->popup(), [this] {
        if (m_btnSearch->isEnabled())
            m_btnSearch->click();
    });
    // The model loads a folder when it becomes its root: the folder being
    // typed in, before the completer looks into it.
    connect(m_editPath, &QLineEdit::textEdited, folders, [folders](const QString& text) {
        const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
        if (slash < 0)
            return;
        const QString folder = slash == 0 ? QStringLiteral("/") : text.left(slash);
        if (folder != folders->rootPath())
            folders->setRootPath(folder);
    });
}

}  // namespace tamboro
