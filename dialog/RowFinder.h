// The find bar below the list: Ctrl+F opens it with the focus in its text
// box, typing narrows the list to the matching rows, Enter or Down go to the
// first shown row, and Escape or Ctrl+F again close it and show every row.
// The list always sits on the filter; with the bar closed the filter has no
// text and passes the list through unchanged.
#pragma once

#include <QObject>

class QWidget;

namespace tamboro {

class FindBar;
class ResultListView;
class RowFilterModel;

class RowFinder : public QObject {
    Q_OBJECT
public:
    // Makes the (hidden) find bar in `window`, for `list` showing `filter`.
    RowFinder(QWidget& window, ResultListView& list, RowFilterModel& filter);

    FindBar& Bar() const { return *m_findBar; }

signals:
    // The bar opened or closed: the window lays itself out again.
    void Toggled();

private:
    bool IsOpen() const;
    void Toggle();
    void Open();
    void Close();
    void GoToFirstShownRow();

    QWidget& m_window;
    ResultListView& m_list;
    RowFilterModel& m_filter;
    FindBar* m_findBar;
};

}  // namespace tamboro
