#include "dialog/ColumnSettings.h"

#include <QAction>
#include <QEvent>
#include <QHeaderView>
#include <QMenu>
#include <QSignalBlocker>
#include <QStringList>
#include <algorithm>

#include "dialog/FolderColumnDelegate.h"
#include "dialog/ResultListView.h"
#include "dialog/SettingsFile.h"

namespace tamboro {
namespace {

constexpr char kRelativeFoldersKey[] = "list/relativeFolders";
constexpr char kColumnsKey[] = "list/columns";
// The columns shown, in their order, as tamboro-scan --columns names them.
constexpr char kShownColumnsKey[] = "columns";
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
    connect(header, &QHeaderView::sectionMoved, this, [this] {
        OnSectionResized(-1);
        if (m_bRestored)
            SaveShownColumns();
    });

    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(kSaveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, &ColumnSettings::SaveNow);
}

void ColumnSettings::Restore(const std::array<int, kAllColumnCount>& initialWidths,
                             const std::array<QString, kAllColumnCount>& titles)
{
    m_initialWidths = initialWidths;
    for (const ListColumn column : kColumnsInNameOrder) {
        QAction* action = new QAction(titles[static_cast<std::size_t>(column)], this);
        action->setCheckable(true);
        connect(action, &QAction::toggled, this, [this, column](bool on) { ShowColumn(column, on); });
        m_actColumns[static_cast<std::size_t>(column)] = action;
    }
    QHeaderView* header = m_list.header();
    const QByteArray state = OpenSettingsFile()->value(kColumnsKey).toByteArray();
    // A state of another column count or Qt's making is refused as a whole.
    if (!state.isEmpty())
        header->restoreState(state);
    RestoreShownColumns();
    // After the restored state, which holds the last column as wide as the
    // window made it: its least width is its initial one.
    m_list.SetOwnWidths(initialWidths);
    m_bRestored = true;
}

void ColumnSettings::OfferTableColumn(bool offer)
{
    m_bTableOffered = offer;
    if (offer || !m_bRestored || m_list.header()->isSectionHidden(kColumnTable))
        return;
    // The last column shown stays: the folders take its place.
    if (m_list.ShownColumns().size() == 1)
        ShowColumn(kColumnFolder, true);
    ShowColumn(kColumnTable, false);
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
    if (!m_bRestored || !m_bPointerDown || logicalIndex == m_list.LastShownColumn())
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

void ColumnSettings::RestoreShownColumns()
{
    QHeaderView* header = m_list.header();
    std::string badName;
    const std::optional<std::vector<ListColumn>> listed =
        ParseColumnList(ListValue(*OpenSettingsFile(), kShownColumnsKey).join(QLatin1Char(',')).toStdString(), badName);
    const std::vector<ListColumn> shown =
        listed ? *listed : std::vector<ListColumn>(kDefaultColumns.begin(), kDefaultColumns.end());
    for (int column = 0; column < kAllColumnCount; ++column) {
        const bool listed = std::find(shown.begin(), shown.end(), column) != shown.end();
        header->setSectionHidden(column, !listed || (column == kColumnTable && !m_bTableOffered));
    }
    for (std::size_t place = 0; place < shown.size(); ++place)
        header->moveSection(header->visualIndex(shown[place]), static_cast<int>(place));
    for (const ListColumn column : shown) {
        if (!header->isSectionHidden(column) && header->sectionSize(column) == 0)
            header->resizeSection(column, m_initialWidths[static_cast<std::size_t>(column)]);
    }
    UpdateColumnActions();
}

void ColumnSettings::ShowColumn(ListColumn column, bool show)
{
    QHeaderView* header = m_list.header();
    if (show == !header->isSectionHidden(column))
        return;
    if (show) {
        m_list.ShowColumn(column);
    } else {
        header->setSectionHidden(column, true);
        m_list.StretchLastColumn();
    }
    SaveShownColumns();
    UpdateColumnActions();
    if (show && (column == kColumnMd5 || column == kColumnSha256 || column == kColumnTable))
        emit DigestsShown();
}

void ColumnSettings::SaveShownColumns()
{
    QStringList names;
    for (const ListColumn column : m_list.ShownColumns())
        names << QString::fromLatin1(kColumnSpecs[static_cast<std::size_t>(column)].name);
    OpenSettingsFile()->setValue(kShownColumnsKey, names.join(QLatin1Char(',')));
    m_bUnsaved = true;
    SaveNow();
}

void ColumnSettings::UpdateColumnActions()
{
    const std::vector<ListColumn> shown = m_list.ShownColumns();
    for (int column = 0; column < kAllColumnCount; ++column) {
        QAction* action = m_actColumns[static_cast<std::size_t>(column)];
        if (action == nullptr)
            continue;
        const bool isShown = std::find(shown.begin(), shown.end(), column) != shown.end();
        const QSignalBlocker quiet(action);
        action->setChecked(isShown);
        // The last column shown stays.
        action->setEnabled(!isShown || shown.size() > 1);
    }
}

void ColumnSettings::OnHeaderContextMenu(const QPoint& pos)
{
    QMenu menu(&m_window);
    menu.setObjectName(QStringLiteral("HeaderMenu"));
    menu.addAction(m_actRelative);
    if (m_bRestored) {
        menu.addSeparator();
        for (const ListColumn column : kColumnsInNameOrder) {
            if (column != kColumnTable || m_bTableOffered)
                menu.addAction(m_actColumns[static_cast<std::size_t>(column)]);
        }
    }
    menu.exec(m_list.header()->mapToGlobal(pos));
}

}  // namespace tamboro
