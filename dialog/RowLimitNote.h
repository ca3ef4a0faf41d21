// The one-line note below the list: that it stopped at the row limit (shown
// once a search lists CBmsSearch::kRowLimit rows), or that the search ran out
// of open files before the whole tree was listed. Hidden when the next
// search starts.
#pragma once

#include <QLabel>

namespace tamboro {

class RowLimitNote : public QLabel {
    Q_OBJECT
public:
    explicit RowLimitNote(QWidget* parent = nullptr);

    // Shows the note with its counts once `listed` reaches the limit, hides
    // it below. Emits Toggled when it appears or goes.
    void Update(int listed);
    // Whether the search ran out of open files; the note says so, with the
    // count, at the next Update.
    void SetCutShort(bool cutShort) { m_cutShort = cutShort; }
    // The height it takes from the list's bottom: 0 while hidden.
    int TakenHeight() const;

signals:
    void Toggled();

private:
    bool m_cutShort = false;
};

}  // namespace tamboro
