// The digest columns' part of the window: when a digest column (or the
// table column, filled from the digests) is shown after a search that did
// not compute digests, the listed charts are hashed in the background and
// the column fills in as they are, each chart's digests on its own row
// wherever a folder read again meanwhile moved it; a new search ends that
// work within DigestFiller::kStopWaitMs (its rows come with digests while
// such a column is shown).
#pragma once

#include <QObject>
#include <QTimer>

namespace tamboro {

class ColumnSettings;
class DigestFiller;
class ResultModel;
class SearchSession;

class DigestColumns : public QObject {
    Q_OBJECT
public:
    DigestColumns(ResultModel& model, ColumnSettings& columns, SearchSession& session, QObject* parent);
    ~DigestColumns() override;

    // Hashes the listed charts that have no digests yet.
    void FillMissing();
    // Ends the hashing (the rows are about to change).
    void Stop();

private:
    void TakeDigests();

    ResultModel& m_model;
    DigestFiller* m_filler = nullptr;
    QTimer m_takeTimer;
};

}  // namespace tamboro
