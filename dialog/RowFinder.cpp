#include "dialog/RowFinder.h"

#include <QItemSelectionModel>
#include <QKeySequence>
#include <QShortcut>

#include "dialog/FindBar.h"
#include "dialog/ResultListView.h"
#include "models/RowFilterModel.h"

namespace tamboro {

RowFinder::RowFinder(QWidget& window, ResultListView& list, RowFilterModel& filter)
    : QObject(&window), m_window(window), m_list(list), m_filter(filter), m_findBar(new FindBar(&window))
{
    m_findBar->setObjectName(QStringLiteral("FindBar"));
    m_findBar->hide();

    auto* find = new QShortcut(QKeySequence(QKeySequence::Find), &window);
    connect(find, &QShortcut::activated, this, &RowFinder::Toggle);
    connect(m_findBar, &FindBar::TextChanged, this, [this](const QString& text) {
        if (IsOpen())
            m_filter.SetFilterText(text);
    });
    connect(m_findBar, &FindBar::GoToListRequested, this, &RowFinder::GoToFirstShownRow);
    connect(m_findBar, &FindBar::CloseRequested, this, &RowFinder::Close);
    connect(&m_filter, &RowFilterModel::CountsChanged, m_findBar, &FindBar::SetCounts);
}

bool RowFinder::IsOpen() const
{
    return !m_findBar->isHidden();
}

void RowFinder::Toggle()
{
    if (IsOpen())
        Close();
    else
        Open();
}

void RowFinder::Open()
{
    if (!IsOpen()) {
        // Rows not folded yet (none, as the window folds them as they
        // arrive) are folded now, so that keystrokes only compare.
        m_filter.PrepareFolding();
        m_findBar->show();
        emit Toggled();
        // The last query comes back, selected: typing replaces it.
        m_filter.SetFilterText(m_findBar->Text());
        m_findBar->SetCounts(m_filter.ShownCount(), m_filter.ListedCount());
    }
    m_findBar->FocusText();
}

void RowFinder::Close()
{
    if (!IsOpen())
        return;
    const bool hadFocus = m_findBar->isAncestorOf(m_window.focusWidget());
    if (hadFocus)
        m_list.setFocus(Qt::OtherFocusReason);
    m_findBar->hide();
    // Selection and current row stay on their rows; the current row stays
    // in view.
    m_filter.SetFilterText(QString());
    emit Toggled();
    if (m_list.currentIndex().isValid())
        m_list.scrollTo(m_list.currentIndex());
}

void RowFinder::GoToFirstShownRow()
{
    m_list.setFocus(Qt::OtherFocusReason);
    if (m_filter.rowCount() == 0)
        return;
    const QModelIndex first = m_filter.index(0, 0);
    m_list.selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list.scrollTo(first);
}

}  // namespace tamboro
