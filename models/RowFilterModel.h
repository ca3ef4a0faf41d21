// Find-as-you-type over the result list: a proxy model that shows only the
// rows of a ResultModel in which any column contains the typed text, in the
// order the list stands (sorted or found). With no text it shows every row
// and passes every change of the list on unchanged, so a view can always
// sit on it.
#pragma once

#include <QAbstractProxyModel>
#include <QList>
#include <QPersistentModelIndex>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "models/ResultModel.h"
#include "results/FoldedRows.h"

namespace tamboro {

class RowFilterModel : public QAbstractProxyModel {
    Q_OBJECT
public:
    explicit RowFilterModel(ResultModel* source, QObject* parent = nullptr);
    ~RowFilterModel() override;

    // Shows the rows in which any column contains `text`, compared in folded
    // form (TextFolder: case, width and hiragana/katakana do not matter).
    // Text that folds to nothing shows every row. The change reaches views
    // as one layout change, or none when the same rows stay shown:
    // selection and current index stay on their rows while those are shown.
    void SetFilterText(const QString& text);
    QString FilterText() const { return m_filterText; }
    bool IsFiltering() const { return !m_query.empty(); }

    // Makes the folded text of every row now, e.g. when the find bar opens,
    // so that the first keystroke only searches. From then on, rows are
    // folded as they arrive. SetFilterText calls it when needed.
    void PrepareFolding();
    bool IsFoldingPrepared() const { return m_folding; }

    // The numbers behind "n / m": rows shown and rows listed.
    int ShownCount() const { return rowCount(); }
    int ListedCount() const { return m_source->RowCountTotal(); }

    // The ResultModel position of a shown row.
    int SourcePosition(int row) const { return IsFiltering() ? m_shown[static_cast<std::size_t>(row)] : row; }
    ResultModel* Source() const { return m_source; }

    // The lines tamboro-scan --columns prints (decoded) with `columns` for
    // the rows that `indexes` of this model touch, each row once, in the
    // order shown.
    QString RowLines(const QModelIndexList& indexes,
                     std::vector<ListColumn> columns = {kDefaultColumns.begin(), kDefaultColumns.end()}) const;

    // QAbstractProxyModel
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

signals:
    // Rows shown or rows listed changed.
    void CountsChanged(int shown, int listed);

private:
    void ConnectSource();
    void OnRowsAboutToBeInserted(const QModelIndex& parent, int first, int last);
    void OnRowsInserted(const QModelIndex& parent, int first, int last);
    void OnRowsAboutToBeRemoved(const QModelIndex& parent, int first, int last);
    void OnRowsRemoved(const QModelIndex& parent, int first, int last);
    void OnModelAboutToBeReset();
    void OnModelReset();
    void OnLayoutAboutToBeChanged(const QList<QPersistentModelIndex>& parents,
                                  QAbstractItemModel::LayoutChangeHint hint);
    void OnLayoutChanged(const QList<QPersistentModelIndex>& parents, QAbstractItemModel::LayoutChangeHint hint);
    void OnDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles);

    // Rebuilds the shown rows from m_matches, in the list's current order.
    void RebuildShown();
    // The list positions whose slot `matches` marks, in list order.
    std::vector<int> ShownPositions(const std::vector<uint8_t>& matches) const;
    // Makes `query` the filter, with its matches by slot and shown positions.
    void Install(std::u16string query, std::vector<uint8_t> matches, std::vector<int> shown);
    // Appends the shown rows among the list positions [first, last], which
    // were just appended to the list.
    void AppendShown(int first, int last);
    void EmitCountsIfChanged();

    ResultModel* m_source;
    QString m_filterText;
    std::u16string m_query;  // folded; empty shows every row
    bool m_folding = false;
    FoldedRows m_folded;
    std::vector<uint8_t> m_matches;    // by slot, valid while filtering
    std::vector<int> m_shown;          // by proxy row: list position, while filtering
    std::vector<int> m_rowOfPosition;  // by list position: proxy row or -1, while filtering
    bool m_resetting = false;          // a change forwarded as a model reset is under way
    // Proxy persistent indexes and their source rows, across a layout change.
    QModelIndexList m_layoutFrom;
    QList<QPersistentModelIndex> m_layoutSource;
    int m_lastShown = 0;
    int m_lastListed = 0;
};

}  // namespace tamboro
