#include "dialog/RowLimitNote.h"

#include <QLocale>

#include "worker/BmsSearch.h"

namespace tamboro {

RowLimitNote::RowLimitNote(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("RowLimitNote"));
    setContentsMargins(4, 2, 4, 2);
    hide();
}

void RowLimitNote::Update(int listed)
{
    const bool reached = listed >= CBmsSearch::kRowLimit;
    if (m_cutShort) {
        const QLocale numbers(QLocale::Japanese, QLocale::Japan);
        setText(tr("開いているファイルが足りず、検索は途中で終わりました (%1 件)。ulimit -n "
                   "を上げてもう一度検索してください。")
                    .arg(numbers.toString(listed)));
    } else if (reached) {
        // The folder that reached the limit is listed whole, so more rows
        // than the limit can stand in the list.
        const QLocale numbers(QLocale::Japanese, QLocale::Japan);
        setText(tr("一覧は %1 件で打ち切りました (上限 %2 件)。すべての譜面は tamboro-scan で一覧できます。")
                    .arg(numbers.toString(listed), numbers.toString(CBmsSearch::kRowLimit)));
    }
    const bool shown = reached || m_cutShort;
    if (shown == !isHidden())
        return;
    setVisible(shown);
    emit Toggled();
}

int RowLimitNote::TakenHeight() const
{
    return isHidden() ? 0 : sizeHint().height();
}

}  // namespace tamboro
