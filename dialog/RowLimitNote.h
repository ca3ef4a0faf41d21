// The one-line note that the list stopped at the row limit: shown once a
// search lists CBmsSearch::kRowLimit rows, hidden when the next one starts.
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
    // The height it takes from the list's bottom: 0 while hidden.
    int TakenHeight() const;

signals:
    void Toggled();
};

}  // namespace tamboro
