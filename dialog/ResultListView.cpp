#include "dialog/ResultListView.h"

#include <QFontMetricsF>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>
#include <QToolTip>
#include <algorithm>

#include "dialog/FolderColumnDelegate.h"
#include "results/ListColumn.h"

namespace tamboro {
namespace {

// Draws header labels that do not fit ending in "…" (the header's own
// textElideMode is not applied to its labels by every Qt version).
class ElidingHeaderStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
        if (element != CE_HeaderLabel || header == nullptr) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionHeader elided(*header);
        elided.text = header->fontMetrics.elidedText(header->text, Qt::ElideRight, header->rect.width());
        QProxyStyle::drawControl(element, &elided, painter, widget);
    }
};

}  // namespace

ResultListView::ResultListView(QWidget* parent) : QTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);  // no per-row measuring: 65,536 rows scroll as a few
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);  // Tab moves on to the next control
    setSortingEnabled(false);    // the window sorts, not the view
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    m_folders = new FolderColumnDelegate(this);
    setItemDelegateForColumn(kColumnFolder, m_folders);

    QHeaderView* columns = header();
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setHighlightSections(false);
    columns->setSectionsClickable(true);
    columns->setSectionsMovable(true);
    // Not the header's own stretch, which keeps the widest width the last
    // column ever had as its least one (see StretchLastColumn).
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setTextElideMode(Qt::ElideRight);
    connect(columns, &QHeaderView::sectionResized, this,
            [this](int logicalIndex, int, int newSize) { OnSectionResized(logicalIndex, newSize); });
    connect(columns, &QHeaderView::sectionMoved, this, &ResultListView::StretchLastColumn);
    auto* labels = new ElidingHeaderStyle;
    labels->setParent(columns);
    columns->setStyle(labels);
}

bool ResultListView::IsCellCut(const QModelIndex& index) const
{
    if (!index.isValid())
        return false;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    // The delegate's size hint holds the text and its margins, as it paints.
    return itemDelegateForIndex(index)->sizeHint(option, index).width() > option.rect.width();
}

void ResultListView::SetOwnWidths(const std::array<int, kAllColumnCount>& widths)
{
    m_ownWidths = widths;
    const int last = LastShownColumn();
    for (int column = 0; column < kAllColumnCount; ++column) {
        if (column != last && !header()->isSectionHidden(column))
            m_ownWidths[static_cast<std::size_t>(column)] = header()->sectionSize(column);
    }
    m_stretched = last;
    StretchLastColumn();
}

void ResultListView::StretchLastColumn()
{
    QHeaderView* columns = header();
    const int last = LastShownColumn();
    if (last < 0 || last >= kAllColumnCount)
        return;
    m_bStretching = true;
    // The column widened before is no longer last (one was shown after it,
    // or moved): it would push the last one past the right edge.
    if (m_stretched >= 0 && m_stretched != last && !columns->isSectionHidden(m_stretched))
        columns->resizeSection(m_stretched, m_ownWidths[static_cast<std::size_t>(m_stretched)]);
    m_stretched = last;
    int others = 0;
    for (int visual = 0; visual < columns->count(); ++visual) {
        const int column = columns->logicalIndex(visual);
        if (column != last && !columns->isSectionHidden(column))
            others += columns->sectionSize(column);
    }
    const int width = std::max(m_ownWidths[static_cast<std::size_t>(last)], viewport()->width() - others);
    if (width != columns->sectionSize(last))
        columns->resizeSection(last, width);
    m_bStretching = false;
}

void ResultListView::ShowColumn(int column)
{
    QHeaderView* columns = header();
    if (column < 0 || column >= kAllColumnCount)
        return;
    columns->setSectionHidden(column, false);
    // Hidden, it kept the width it had, stretched maybe.
    m_bStretching = true;
    columns->resizeSection(column, m_ownWidths[static_cast<std::size_t>(column)]);
    m_bStretching = false;
    StretchLastColumn();
    const int right = columns->sectionPosition(column) + columns->sectionSize(column);
    const int left = std::min(columns->sectionPosition(column), right - viewport()->width());
    if (columns->sectionViewportPosition(column) < 0 || right - columns->offset() > viewport()->width()) {
        updateGeometries();  // the scroll bar's range, which would follow later
        horizontalScrollBar()->setValue(std::max(0, left));
    }
}

int ResultListView::HexDigitsWidth(int count) const
{
    const QFontMetricsF metrics(font());
    QChar widest = QLatin1Char('0');
    for (const QChar digit : QStringLiteral("0123456789abcdef")) {
        if (metrics.horizontalAdvance(digit) > metrics.horizontalAdvance(widest))
            widest = digit;
    }
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.text = QString(count, widest);
    return style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).width();
}

int ResultListView::LastShownColumn() const
{
    const QHeaderView* columns = header();
    for (int visual = columns->count() - 1; visual >= 0; --visual) {
        const int column = columns->logicalIndex(visual);
        if (!columns->isSectionHidden(column))
            return column;
    }
    return -1;
}

std::vector<ListColumn> ResultListView::ShownColumns() const
{
    std::vector<ListColumn> shown;
    const QHeaderView* columns = header();
    for (int visual = 0; visual < columns->count(); ++visual) {
        const int column = columns->logicalIndex(visual);
        if (!columns->isSectionHidden(column))
            shown.push_back(static_cast<ListColumn>(column));
    }
    return shown;
}

bool ResultListView::ShowsDigests() const
{
    return !header()->isSectionHidden(kColumnMd5) || !header()->isSectionHidden(kColumnSha256) ||
           !header()->isSectionHidden(kColumnTable);
}

void ResultListView::OnSectionResized(int logicalIndex, int newSize)
{
    // Hiding a column first makes it 0 wide, then hides it: stretched in
    // between, it would keep its width inside the header, whose length then
    // stays that much wider than the columns shown (a scroll bar for
    // nothing). Whoever hides a column stretches the last one after.
    if (m_bStretching || newSize == 0)
        return;
    // A width given to a column (by the player, or restored) is its own from
    // then on.
    if (logicalIndex >= 0 && logicalIndex < kAllColumnCount && newSize > 0)
        m_ownWidths[static_cast<std::size_t>(logicalIndex)] = newSize;
    StretchLastColumn();
}

void ResultListView::resizeEvent(QResizeEvent* event)
{
    QTreeView::resizeEvent(event);
    StretchLastColumn();
}

QString ResultListView::ShownFolderText(const QModelIndex& index) const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return m_folders->ShownText(option, index);
}

void ResultListView::keyboardSearch(const QString& search)
{
    // The search starts from the current cell's column; a list matches
    // typed text against its first column whichever cell was clicked.
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.column() != 0)
        selectionModel()->setCurrentIndex(current.siblingAtColumn(0), QItemSelectionModel::NoUpdate);
    QTreeView::keyboardSearch(search);
}

bool ResultListView::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QTreeView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    // A folder shown cut or relative to the root has its full path there.
    const bool folderNotWhole = index.column() == kColumnFolder && ShownFolderText(index) != index.data().toString();
    if (IsCellCut(index) || folderNotWhole)
        QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(), viewport(), visualRect(index));
    else
        QToolTip::hideText();
    return true;
}

}  // namespace tamboro
