// The problems of a library check as a table: kind, folder, file, detail
// and the file found, decoded as tamboro-scan --check prints them, the kind
// named in Japanese (the lines copied keep the command's words). Sorting
// is by the text of a column, kinds in their report order; equal rows stay
// in the order found.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <vector>

#include "check/CheckProblem.h"

namespace tamboro {

class CheckProblemModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kKind, kFolder, kFile, kDetail, kFound, kColumns };

    explicit CheckProblemModel(QObject* parent = nullptr);

    // Adds problems at the end (one insertion).
    void Append(std::vector<CheckProblem> problems);
    void Clear();

    const CheckProblem& ProblemAt(int row) const { return m_problems[static_cast<std::size_t>(row)].problem; }
    // The lines tamboro-scan --check prints for the given rows, in that order.
    QString Lines(const std::vector<int>& rows) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    struct Entry {
        CheckProblem problem;
        std::array<QString, kColumns> texts;
        std::size_t found;  // the order it came in
    };
    std::vector<Entry> m_problems;
};

}  // namespace tamboro
