// Rows and the progress title a search handed over but the list and the
// caption do not show yet. A scan hands over finished folders many times a
// second; showing each batch at once would repaint the list and the caption
// every time and make the scan wait for those paints. They are shown at most
// every kShowPeriodMs instead, and at once when the scan ends, a sort begins
// or a new search starts.
#pragma once

#include <QObject>
#include <QTimer>
#include <string>
#include <vector>

#include "search/ScanSink.h"

class QWidget;

namespace tamboro {

class ResultModel;
class RowLimitNote;

class PendingResults : public QObject {
    Q_OBJECT
public:
    static constexpr int kShowPeriodMs = 100;

    // Shows rows in `model`, the title as `window`'s caption, and keeps
    // `note` up to date with the rows listed.
    PendingResults(ResultModel& model, QWidget& window, RowLimitNote& note, QObject* parent = nullptr);

    // Takes the rows of one or more whole folders (moved out of `rows`).
    void AddRows(std::vector<ChartRow>& rows);
    // Takes the progress title as raw bytes.
    void SetTitleBytes(const std::string& title);
    // Shows what is pending now.
    void Show();
    // The search ran out of open files: shows what is pending, and the note
    // says the list is not whole.
    void CutShort();
    // Shows what is pending, then empties the list for a new search.
    void StartOver();

signals:
    // A worker handed over rows (emitted inside its call, while it waits).
    void RowsHandedOver(int count);

private:
    // A folder read again changed the rows listed: the title counts them.
    void OnFolderRowsReplaced(int removed, int added);

    ResultModel& m_model;
    QWidget& m_window;
    RowLimitNote& m_note;
    std::vector<ChartRow> m_rows;
    std::string m_title;
    bool m_bTitlePending = false;
    int m_countChange = 0;  // rows folders read again added since the search started
    QTimer m_showTimer;
};

}  // namespace tamboro
