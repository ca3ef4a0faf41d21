// Draws the folder column: a path too long for its cell is cut in the
// middle, keeping its start and its last folders (the part that tells rows
// apart), and may be shown relative to the searched root. The model's text
// stays the full path, so sorting, copying and finding are unchanged.
#pragma once

#include <QString>
#include <QStyledItemDelegate>
#include <string>

class QFontMetricsF;

namespace tamboro {

// `path` as it fits in `width` pixels: whole when it fits; else its first
// and last components around "…/", as many of each as fit (the last one
// always); and when not even the last component fits, that component's end.
QString ElideFolderPath(const QString& path, const QFontMetricsF& metrics, qreal width);

class FolderColumnDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Shows paths relative to the searched root, or whole.
    void SetRelative(bool relative) { m_bRelative = relative; }
    bool IsRelative() const { return m_bRelative; }
    // The root folder of the rows shown, as the search was given it.
    void SetRootBytes(const std::string& root);
    // As given; empty before the first search.
    const std::string& RootBytes() const { return m_rootBytes; }

    // The text a cell shows, whole (relative or not) and as drawn in `option`'s rect.
    QString FullText(const QString& path) const;
    QString ShownText(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // A cell not shown whole has the full path as its tooltip (in a view
    // that asks its delegates).
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    bool m_bRelative = false;
    QString m_root;  // decoded, ending in '/'; empty before the first search
    std::string m_rootBytes;
};

}  // namespace tamboro
