// The list's columns as the player leaves them: the header's context menu
// (folders relative to the searched root or whole, and which columns are
// shown), the columns shown and their order (`columns=`, the comma list
// tamboro-scan --columns takes) and their widths, all remembered in the
// settings file. With nothing remembered the list shows its four initial
// columns and whole paths.
#pragma once

#include <QObject>
#include <QTimer>
#include <array>

#include "results/ListColumn.h"

class QAction;
class QPoint;

namespace tamboro {

class ResultListView;

class ColumnSettings : public QObject {
    Q_OBJECT
public:
    // Reads the relative-folders switch at once; the columns wait for Restore.
    ColumnSettings(QWidget& window, ResultListView& list);

    // Puts back the widths and order the player left, over the initial ones
    // the columns have by then (`initialWidths`, which stay each column's
    // least); from then on the player's changes are saved.
    // `titles` label the columns in the header's menu.
    void Restore(const std::array<int, kAllColumnCount>& initialWidths,
                 const std::array<QString, kAllColumnCount>& titles);
    // Writes a change of widths or order not written yet (the window ends).
    void SaveNow();
    // Whether the header's menu offers the table column (the window has
    // difficulty tables). Not offered, the column is hidden.
    void OfferTableColumn(bool offer);

signals:
    // A digest column (or the table column, which needs the digests) was
    // shown: rows listed without digests need them.
    void DigestsShown();

private:
    friend class CTamboroDlgTesting;

    // Shows or hides one column and remembers the columns shown.
    void ShowColumn(ListColumn column, bool show);
    // Puts back the columns named in the settings file, in their order.
    void RestoreShownColumns();
    void SaveShownColumns();
    void UpdateColumnActions();

    void SetRelativeFolders(bool on);
    void OnHeaderContextMenu(const QPoint& pos);
    void OnSectionResized(int logicalIndex);
    // Follows the mouse over the header: only what the player does there
    // (dragging a divider or a column, double-clicking a divider) is saved.
    bool eventFilter(QObject* watched, QEvent* event) override;

    QWidget& m_window;
    ResultListView& m_list;
    QAction* m_actRelative = nullptr;
    std::array<QAction*, kAllColumnCount> m_actColumns{};
    std::array<int, kAllColumnCount> m_initialWidths{};
    bool m_bRestored = false;
    bool m_bTableOffered = false;
    bool m_bUnsaved = false;
    bool m_bPointerDown = false;  // a button is held on the header
    QTimer m_saveTimer;           // a drag's many resizes make one write
};

}  // namespace tamboro
