#include "dialog/FolderColumnDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QStringList>
#include <QStyle>
#include <QToolTip>

#include "platform/TextDecoder.h"

namespace tamboro {
namespace {

const QString kEllipsis = QStringLiteral("\u2026");

// The path's components, each with the '/' that ends it ("/" first for an
// absolute path).
QStringList Components(const QString& path)
{
    QStringList out;
    qsizetype start = 0;
    while (start < path.size()) {
        const qsizetype slash = path.indexOf(QLatin1Char('/'), start);
        const qsizetype end = slash < 0 ? path.size() : slash + 1;
        out << path.mid(start, end - start);
        start = end;
    }
    return out;
}

// The pixels between a cell's edge and its text, on each side.
int TextMargin(const QStyle* style, const QWidget* widget)
{
    return style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
}

}  // namespace

QString ElideFolderPath(const QString& path, const QFontMetricsF& metrics, qreal width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const QStringList parts = Components(path);
    const QString& last = parts.back();
    const QString gap = kEllipsis + QLatin1Char('/');
    if (parts.size() < 2 || metrics.horizontalAdvance(gap + last) > width)
        return metrics.elidedText(last, Qt::ElideLeft, width);
    // Components are taken from both ends in turn, the start first, while
    // the text still fits.
    qsizetype head = 0;  // components kept from the start
    qsizetype tail = 1;  // and from the end
    QString start;
    QString end = last;
    bool grew = true;
    while (grew && head + tail < parts.size()) {
        grew = false;
        const QString longerStart = start + parts[head];
        if (metrics.horizontalAdvance(longerStart + gap + end) <= width) {
            start = longerStart;
            ++head;
            grew = true;
        }
        if (head + tail >= parts.size())
            break;
        const QString longerEnd = parts[parts.size() - 1 - tail] + end;
        if (metrics.horizontalAdvance(start + gap + longerEnd) <= width) {
            end = longerEnd;
            ++tail;
            grew = true;
        }
    }
    return start + gap + end;
}

void FolderColumnDelegate::SetRootBytes(const std::string& root)
{
    m_rootBytes = root;
    std::string folder = root;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    m_root = QString::fromStdU16String(DecodePathToUtf16(folder));
}

QString FolderColumnDelegate::FullText(const QString& path) const
{
    if (!m_bRelative || m_root.isEmpty() || !path.startsWith(m_root))
        return path;
    const QString relative = path.mid(m_root.size());
    return relative.isEmpty() ? QStringLiteral("./") : relative;
}

void FolderColumnDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->text = FullText(option->text);
}

QString FolderColumnDelegate::ShownText(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    const QWidget* widget = item.widget;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    // Measured in the font the style paints with, to the fraction of a pixel:
    // a text the style finds wider than its room by any fraction it cuts at
    // the end, the chart's own folder with it.
    return ElideFolderPath(item.text, QFontMetricsF(item.font), textRect.width() - 2 * TextMargin(style, widget));
}

void FolderColumnDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    item.text = ShownText(option, index);
    const QWidget* widget = item.widget;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
}

bool FolderColumnDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                     const QModelIndex& index)
{
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString full = index.data(Qt::DisplayRole).toString();
    if (ShownText(option, index) != full)
        QToolTip::showText(event->globalPos(), full, view->viewport(), option.rect);
    else
        QToolTip::hideText();
    return true;
}

}  // namespace tamboro
