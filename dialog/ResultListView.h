// The result list as a report-view list: rows, not cells. Home/End,
// PageUp/PageDown and typing move between rows, typing matches the start of
// the first column, texts that do not fit end in "…" (folders are cut in the
// middle, see FolderColumnDelegate), and a cut cell shows its whole text as
// a tooltip. The last column takes the width the others leave; the player
// may resize and move columns, and a double-click on a divider fits the
// column to its contents.
#pragma once

#include <QTreeView>
#include <array>
#include <vector>

#include "results/ListColumn.h"

namespace tamboro {

class FolderColumnDelegate;

class ResultListView : public QTreeView {
    Q_OBJECT
public:
    explicit ResultListView(QWidget* parent = nullptr);

    // Whether the cell's text is wider than the cell shows it.
    bool IsCellCut(const QModelIndex& index) const;
    // The text a folder cell shows in its current width.
    QString ShownFolderText(const QModelIndex& index) const;
    FolderColumnDelegate& FolderDelegate() const { return *m_folders; }

    // The columns' own widths by column (those shown, but the last, keep
    // the width they have): the last column shown is never narrower than
    // its own, and takes the width the others leave; once another column is
    // last, it has its own width again.
    void SetOwnWidths(const std::array<int, kAllColumnCount>& widths);
    void StretchLastColumn();
    // Shows a hidden column at its own width, the last column stretched
    // again, and scrolls the list sideways as far as needed to show it whole.
    void ShowColumn(int column);
    // The width of a cell showing `count` hexadecimal digits whole.
    int HexDigitsWidth(int count) const;
    // The column shown last (hidden columns passed over); -1 for none.
    int LastShownColumn() const;
    // The columns shown, in the order shown.
    std::vector<ListColumn> ShownColumns() const;
    // Whether a column that needs the digests (MD5, SHA-256, the table
    // column) is shown.
    bool ShowsDigests() const;

    void keyboardSearch(const QString& search) override;

protected:
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnSectionResized(int logicalIndex, int newSize);

    FolderColumnDelegate* m_folders = nullptr;
    std::array<int, kAllColumnCount> m_ownWidths{};
    int m_stretched = -1;        // the column the stretch widened last
    bool m_bStretching = false;  // the resizing is the stretch's own
};

}  // namespace tamboro
