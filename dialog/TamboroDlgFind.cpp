// The find bar below the list: Ctrl+F opens it with the focus in its text
// box, typing narrows the list to the matching rows, Enter or Down go to the
// first shown row, and Escape or Ctrl+F again close it and show every row.
// The list always sits on the filter; with the bar closed the filter has no
// text and passes the list through unchanged.
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QShortcut>

#include "dialog/FindBar.h"
#include "dialog/ResultListView.h"
#include "dialog/TamboroDlg.h"
#include "models/RowFilterModel.h"

namespace tamboro {

void CTamboroDlg::CreateFindBar()
{
    m_findBar = new FindBar(this);
    m_findBar->setObjectName(QStringLiteral("FindBar"));
    m_findBar->hide();

    auto* find = new QShortcut(QKeySequence(QKeySequence::Find), this);
    connect(find, &QShortcut::activated, this, &CTamboroDlg::ToggleFindBar);
    connect(m_findBar, &FindBar::TextChanged, this, [this](const QString& text) {
        if (IsFindBarOpen())
            m_filter->SetFilterText(text);
    });
    connect(m_findBar, &FindBar::GoToListRequested, this, &CTamboroDlg::GoToFirstShownRow);
    connect(m_findBar, &FindBar::CloseRequested, this, &CTamboroDlg::CloseFindBar);
    connect(m_filter, &RowFilterModel::CountsChanged, m_findBar, &FindBar::SetCounts);
}

bool CTamboroDlg::IsFindBarOpen() const
{
    return m_findBar != nullptr && !m_findBar->isHidden();
}

void CTamboroDlg::ToggleFindBar()
{
    if (IsFindBarOpen())
        CloseFindBar();
    else
        OpenFindBar();
}

void CTamboroDlg::OpenFindBar()
{
    if (!IsFindBarOpen()) {
        // Rows not folded yet (none, as the window folds them as they
        // arrive) are folded now, so that keystrokes only compare.
        m_filter->PrepareFolding();
        m_findBar->show();
        OnSize(SIZE_RESTORED, width(), height());
        // The last query comes back, selected: typing replaces it.
        m_filter->SetFilterText(m_findBar->Text());
        m_findBar->SetCounts(m_filter->ShownCount(), m_filter->ListedCount());
    }
    m_findBar->FocusText();
}

void CTamboroDlg::CloseFindBar()
{
    if (!IsFindBarOpen())
        return;
    const bool hadFocus = m_findBar->isAncestorOf(focusWidget());
    if (hadFocus)
        m_list->setFocus(Qt::OtherFocusReason);
    m_findBar->hide();
    // Selection and current row stay on their rows; the current row stays
    // in view.
    m_filter->SetFilterText(QString());
    OnSize(SIZE_RESTORED, width(), height());
    if (m_list->currentIndex().isValid())
        m_list->scrollTo(m_list->currentIndex());
}

void CTamboroDlg::GoToFirstShownRow()
{
    m_list->setFocus(Qt::OtherFocusReason);
    if (m_filter->rowCount() == 0)
        return;
    const QModelIndex first = m_filter->index(0, 0);
    m_list->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->scrollTo(first);
}

int CTamboroDlg::FindBarHeight() const
{
    return IsFindBarOpen() ? m_findBar->sizeHint().height() : 0;
}

void CTamboroDlg::PlaceFindBar(const ClientRect& rc)
{
    if (!IsFindBarOpen())
        return;
    // Right below the list, above the row-limit note and the bottom strip.
    const int height = FindBarHeight();
    m_findBar->setGeometry(rc.left, rc.bottom - 24 - RowLimitNoteHeight() - height, std::max(rc.right - rc.left, 0),
                           height);
}

}  // namespace tamboro
