#include "dialog/ListActions.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMimeData>
#include <QSignalBlocker>
#include <cstring>
#include <set>

#include "dialog/CheckView.h"
#include "dialog/ExportTableDialog.h"
#include "dialog/FolderColumnDelegate.h"
#include "dialog/FolderUrl.h"
#include "dialog/MessageBox.h"
#include "dialog/OpenFolder.h"
#include "dialog/PathText.h"
#include "dialog/ResultListView.h"
#include "dialog/SettingsFile.h"
#include "models/ResultModel.h"
#include "models/RowFilterModel.h"
#include "platform/TextDecoder.h"
#include "search/FolderCharts.h"

namespace tamboro {
namespace {

constexpr char kAllChartTypesKey[] = "search/allChartTypes";
constexpr char kAllChartTypes[] = "bms,bme,bml,pms,bmson";

bool ReadAllChartTypesSetting()
{
    return OpenSettingsFile()->value(kAllChartTypesKey, false).toBool();
}

void WriteAllChartTypesSetting(bool on)
{
    OpenSettingsFile()->setValue(kAllChartTypesKey, on);
}

}  // namespace

ListActions::ListActions(QWidget& window, ResultListView& list, ResultModel& model, RowFilterModel& filter)
    : QObject(&window), m_window(window), m_list(list), m_model(model), m_filter(filter)
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
    m_actReadAgain = new QAction(tr("このフォルダを再読み込み"), this);
    connect(m_actReadAgain, &QAction::triggered, this, [this] {
        if (m_menuIndex.isValid())
            ReadFolderOfRowAgain(m_menuIndex.row());
    });

    // Ctrl+C and Ctrl+A while the list has the focus.
    m_actCopyRows = new QAction(tr("選択した行をコピー"), &m_list);
    m_actCopyRows->setShortcut(QKeySequence::Copy);
    m_actCopyRows->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_actCopyRows, &QAction::triggered, this, &ListActions::CopySelectedRows);
    m_list.addAction(m_actCopyRows);
    m_actSelectAll = new QAction(tr("すべて選択"), &m_list);
    m_actSelectAll->setShortcut(QKeySequence::SelectAll);
    m_actSelectAll->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_actSelectAll, &QAction::triggered, &m_list, &QAbstractItemView::selectAll);
    m_list.addAction(m_actSelectAll);
    m_actExportRows = new QAction(tr("選択した行を難易度表として書き出す…"), this);
    connect(m_actExportRows, &QAction::triggered, this, &ListActions::ExportSelectedRows);

    m_actAllChartTypes = new QAction(tr("すべての譜面形式 (bms/bme/bml/pms/bmson)"), this);
    m_actAllChartTypes->setCheckable(true);
    m_bAllChartTypes = ReadAllChartTypesSetting();
    m_actAllChartTypes->setChecked(m_bAllChartTypes);
    connect(m_actAllChartTypes, &QAction::toggled, this, &ListActions::SetAllChartTypes);

    m_actCheckLibrary = new QAction(tr("ライブラリを検査"), this);
    connect(m_actCheckLibrary, &QAction::triggered, this, &ListActions::CheckLibrary);
    m_actTables = new QAction(tr("難易度表…"), this);
    connect(m_actTables, &QAction::triggered, this, &ListActions::TablesAsked);

    m_list.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&m_list, &QWidget::customContextMenuRequested, this, &ListActions::OnListContextMenu);
    connect(&m_list, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            OpenFolderOfRow(index.row());
    });
}

const std::string& ListActions::SearchedRoot() const
{
    return m_list.FolderDelegate().RootBytes();
}

void ListActions::OnListContextMenu(const QPoint& pos)
{
    // The row under the pointer, followed while the menu is open (a search
    // may add rows meanwhile).
    m_menuIndex = m_list.indexAt(pos);
    m_actOpenFolder->setEnabled(m_menuIndex.isValid());
    m_actCopyPath->setEnabled(m_menuIndex.isValid());
    m_actReadAgain->setEnabled(m_menuIndex.isValid());

    QMenu menu(&m_window);
    menu.setObjectName(QStringLiteral("ListMenu"));
    menu.addAction(m_actOpenFolder);
    menu.addAction(m_actCopyPath);
    menu.addAction(m_actReadAgain);
    menu.addSeparator();
    menu.addAction(m_actCopyRows);
    menu.addAction(m_actSelectAll);
    m_actExportRows->setEnabled(m_list.selectionModel()->hasSelection());
    menu.addAction(m_actExportRows);
    menu.addSeparator();
    menu.addAction(m_actAllChartTypes);
    m_actCheckLibrary->setEnabled(!m_list.FolderDelegate().RootBytes().empty());
    menu.addAction(m_actCheckLibrary);
    menu.addAction(m_actTables);
    menu.exec(m_list.viewport()->mapToGlobal(pos));
    m_menuIndex = QPersistentModelIndex();
}

void ListActions::OpenFolderOfRow(int shownRow)
{
    if (shownRow < 0 || shownRow >= m_filter.rowCount())
        return;
    OpenFolder(m_window, m_model.RowAt(m_filter.SourcePosition(shownRow)).folder);
}

void ListActions::CopyFolderPathOfRow(int shownRow)
{
    if (shownRow < 0 || shownRow >= m_filter.rowCount())
        return;
    const ChartRow& row = m_model.RowAt(m_filter.SourcePosition(shownRow));
    // The folder's bytes, made absolute: as a file:// URL for file managers
    // and the path box, and as text: the path itself when it is UTF-8, else
    // the shell word ($'\xHH' for the bytes that are not) that a terminal's
    // shell reads back as the very bytes, which the path box understands too.
    const QUrl url = FolderUrl(row.folder);
    const QByteArray bytes = LocalPathBytesOf(url);
    const QString text = QString::fromUtf8(bytes);
    auto* copied = new QMimeData;
    copied->setUrls({url});
    copied->setText(text.toUtf8() == bytes ? text : QString::fromStdString(ShellWord(bytes.toStdString())));
    QGuiApplication::clipboard()->setMimeData(copied);
}

void ListActions::ReadFolderOfRowAgain(int shownRow)
{
    if (shownRow < 0 || shownRow >= m_filter.rowCount())
        return;
    const std::string folder = m_model.RowAt(m_filter.SourcePosition(shownRow)).folder;
    ScanOptions options;
    options.types = SearchChartTypes();
    options.hashes = m_list.ShowsDigests();
    std::vector<ChartRow> rows;
    if (const int error = ReadFolderCharts(folder, options, rows)) {
        ShowMessageBox(&m_window, tr("エラー"),
                       tr("フォルダを読めませんでした。\n%1\n\n%2")
                           .arg(QString::fromStdU16String(DecodePathToUtf16(folder)),
                                QString::fromLocal8Bit(std::strerror(error))));
        return;
    }
    m_model.ReplaceFolderRows(folder, rows);
}

void ListActions::CopySelectedRows()
{
    const QString lines = m_filter.RowLines(m_list.selectionModel()->selectedRows(), m_list.ShownColumns());
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines);
}

void ListActions::SetAllChartTypes(bool on)
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

ChartTypes ListActions::SearchChartTypes() const
{
    if (!m_bAllChartTypes)
        return ChartTypes();
    return *ChartTypes::Parse(kAllChartTypes);
}

void ListActions::CheckLibrary()
{
    const std::string& root = m_list.FolderDelegate().RootBytes();
    if (root.empty())
        return;
    auto* view = new CheckView(&m_window, root, SearchChartTypes());
    connect(view, &CheckView::SelectInList, this, &ListActions::SelectCharts);
    view->show();
    // The keyboard goes to the check's window (Ctrl+C copies its lines).
    view->activateWindow();
}

void ListActions::ExportSelectedRows()
{
    ExportTableDialog::ExportRows(m_window, m_model, m_filter, m_list.selectionModel()->selectedRows());
}

void ListActions::SelectCharts(const std::vector<std::pair<std::string, std::string>>& charts)
{
    const std::set<std::pair<std::string, std::string>> wanted(charts.begin(), charts.end());
    QItemSelection selection;
    int first = -1;
    for (int shown = 0; shown < m_filter.rowCount(); ++shown) {
        const ChartRow& row = m_model.RowAt(m_filter.SourcePosition(shown));
        if (wanted.count({row.folder, row.file}) == 0)
            continue;
        selection.select(m_filter.index(shown, 0), m_filter.index(shown, m_filter.columnCount() - 1));
        if (first < 0)
            first = shown;
    }
    m_list.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (first >= 0)
        m_list.scrollTo(m_filter.index(first, 0));
    m_window.activateWindow();
}

}  // namespace tamboro
