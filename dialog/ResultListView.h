// The result list as a report-view list: rows, not cells. Home/End,
// PageUp/PageDown and typing move between rows, typing matches the start of
// the first column, texts that do not fit end in "…", and a cut cell shows
// its whole text as a tooltip.
#pragma once

#include <QTreeView>

namespace tamboro {

class ResultListView : public QTreeView {
    Q_OBJECT
public:
    explicit ResultListView(QWidget* parent = nullptr);

    // Whether the cell's text is wider than the cell shows it.
    bool IsCellCut(const QModelIndex& index) const;

    void keyboardSearch(const QString& search) override;

protected:
    bool viewportEvent(QEvent* event) override;
};

}  // namespace tamboro
